#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/huge_pages.h"

namespace quorvane {
namespace {

TEST(HugePages, BlocksAreAlignedZeroedAndWholeToTheirLastByte) {
    for (size_t bytes : {kHugePageSize, kHugePageSize * 3 + 1}) {
        auto* block = static_cast<unsigned char*>(mapHugePages(bytes));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % kHugePageSize, 0u);
        EXPECT_EQ(block[0], 0);
        EXPECT_EQ(block[bytes - 1], 0);
        block[0] = 1;
        block[bytes - 1] = 2;
        EXPECT_EQ(block[0] + block[bytes - 1], 3);
        unmapHugePages(block, bytes);
    }
}

// A vector grows from operator new's blocks into mapped ones and back.
TEST(HugePages, AVectorKeepsItsElementsAcrossBothKindsOfBlock) {
    std::vector<std::uint64_t, HugePageAllocator<std::uint64_t>> values;
    const size_t count = kHugePageSize / sizeof(std::uint64_t) * 2;
    for (size_t i = 0; i < count; ++i) values.push_back(i * 7);
    for (size_t i = 0; i < count; i += 4099) ASSERT_EQ(values[i], i * 7);
    values.resize(10);
    values.shrink_to_fit();
    EXPECT_EQ(values[9], 63u);
}

}  // namespace
}  // namespace quorvane
