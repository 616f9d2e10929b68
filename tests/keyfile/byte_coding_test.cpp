#include <gtest/gtest.h>

#include <vector>

#include "keyfile/byte_coding.h"

namespace quorvane {
namespace {

using Bytes = std::vector<uint8_t>;

// Each width's first and last value: the bytes, the way back, and a refusal
// of every shorter limit (the bytes being cut off).
TEST(ByteCoding, VarintAtEveryWidthBoundaryAndNeverPastTheLimit) {
    const std::pair<uint32_t, Bytes> cases[] = {
        {0, {0x00}},
        {127, {0x7F}},
        {128, {0x80, 0x80}},
        {16383, {0xBF, 0xFF}},
        {16384, {0xC0, 0x40, 0x00}},
        {(1u << 21) - 1, {0xDF, 0xFF, 0xFF}},
        {1u << 21, {0xE0, 0x20, 0x00, 0x00}},
        {(1u << 28) - 1, {0xEF, 0xFF, 0xFF, 0xFF}},
        {1u << 28, {0xF0, 0x10, 0x00, 0x00, 0x00}},
        {0xFFFFFFFFu, {0xF0, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const auto& [v, bytes] : cases) {
        SCOPED_TRACE(v);
        uint8_t buf[kMaxVarintSize];
        const int n = putVarint(buf, v);
        EXPECT_EQ(n, varintSize(v));
        EXPECT_EQ(Bytes(buf, buf + n), bytes);
        uint32_t got = 0;
        EXPECT_EQ(getVarint(bytes.data(), bytes.data() + bytes.size(), &got), static_cast<int>(bytes.size()));
        EXPECT_EQ(got, v);
        for (size_t cut = 0; cut < bytes.size(); ++cut)
            EXPECT_EQ(getVarint(bytes.data(), bytes.data() + cut, &got), 0) << cut;
    }
}

TEST(ByteCoding, BigEndianFields) {
    uint8_t b[4];
    putU32(b, 0x01020304);
    EXPECT_EQ(Bytes(b, b + 4), Bytes({1, 2, 3, 4}));
    EXPECT_EQ(getU32(b), 0x01020304u);
    putU16(b, 0xABCD);
    EXPECT_EQ(b[0], 0xAB);
    EXPECT_EQ(getU16(b), 0xABCD);
}

}  // namespace
}  // namespace quorvane
