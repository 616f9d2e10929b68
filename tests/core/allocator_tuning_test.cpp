#include "core/allocator_tuning.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(AllocatorTuning, TheSettingsGoAfterTheUsersOwnAndNeverOverAChoiceOfTheirs) {
    const std::string tuned = "glibc.malloc.hugetlb=1:glibc.malloc.top_pad=16777216";
    EXPECT_EQ(tunedAllocatorSettings(nullptr), tuned);
    EXPECT_EQ(tunedAllocatorSettings(""), tuned);
    EXPECT_EQ(tunedAllocatorSettings("glibc.malloc.check=0"), "glibc.malloc.check=0:" + tuned);
    EXPECT_EQ(tunedAllocatorSettings("glibc.malloc.hugetlb=0"), std::nullopt);
    EXPECT_EQ(tunedAllocatorSettings("glibc.malloc.arena_max=2:glibc.malloc.top_pad=0"), std::nullopt);
}

}  // namespace
}  // namespace quorvane
