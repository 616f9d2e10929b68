#include <gtest/gtest.h>

#include <vector>

#include "keyfile/byte_coding.h"

namespace quorvane {
namespace {

std::vector<uint8_t> encode(uint32_t v) {
    uint8_t buf[kMaxVarintSize];
    const int n = putVarint(buf, v);
    EXPECT_EQ(n, varintSize(v));
    return {buf, buf + n};
}

TEST(ByteCoding, VarintBytesAtEveryWidthBoundary) {
    using B = std::vector<uint8_t>;
    EXPECT_EQ(encode(0), B({0x00}));
    EXPECT_EQ(encode(127), B({0x7F}));
    EXPECT_EQ(encode(128), B({0x80, 0x80}));
    EXPECT_EQ(encode(16383), B({0xBF, 0xFF}));
    EXPECT_EQ(encode(16384), B({0xC0, 0x40, 0x00}));
    EXPECT_EQ(encode((1u << 21) - 1), B({0xDF, 0xFF, 0xFF}));
    EXPECT_EQ(encode(1u << 21), B({0xE0, 0x20, 0x00, 0x00}));
    EXPECT_EQ(encode((1u << 28) - 1), B({0xEF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(encode(1u << 28), B({0xF0, 0x10, 0x00, 0x00, 0x00}));
    EXPECT_EQ(encode(0xFFFFFFFFu), B({0xF0, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(ByteCoding, VarintRoundTripsAndNeverReadsPastTheLimit) {
    for (uint32_t v : {0u, 1u, 127u, 128u, 1000u, 16383u, 16384u, 2097151u, 2097152u, 268435455u, 268435456u,
                       0xFFFFFFFFu}) {
        const auto bytes = encode(v);
        uint32_t got = 0;
        EXPECT_EQ(getVarint(bytes.data(), bytes.data() + bytes.size(), &got), static_cast<int>(bytes.size()));
        EXPECT_EQ(got, v);
        // Any shorter limit is refused, the bytes being cut off.
        for (size_t cut = 0; cut < bytes.size(); ++cut)
            EXPECT_EQ(getVarint(bytes.data(), bytes.data() + cut, &got), 0) << v << " cut at " << cut;
    }
}

TEST(ByteCoding, BigEndianFields) {
    uint8_t b[4];
    putU32(b, 0x01020304);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[3], 4);
    EXPECT_EQ(getU32(b), 0x01020304u);
    putU16(b, 0xABCD);
    EXPECT_EQ(b[0], 0xAB);
    EXPECT_EQ(getU16(b), 0xABCD);
}

}  // namespace
}  // namespace quorvane
