#include "core/allocator_tuning.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(AllocatorTuning, TheSettingsGoAfterTheUsersOwnAndNeverOverAChoiceOfTheirs) {
    const std::string tuned = "glibc.malloc.hugetlb=1:glibc.malloc.top_pad=16777216";
    EXPECT_EQ(tunedAllocatorSettings(nullptr, kLargeHeapStep), tuned);
    EXPECT_EQ(tunedAllocatorSettings("", kLargeHeapStep), tuned);
    EXPECT_EQ(tunedAllocatorSettings("glibc.malloc.check=0", kSmallHeapStep),
              "glibc.malloc.check=0:glibc.malloc.hugetlb=1:glibc.malloc.top_pad=4194304");
    EXPECT_EQ(tunedAllocatorSettings("glibc.malloc.hugetlb=0", kLargeHeapStep), std::nullopt);
    EXPECT_EQ(tunedAllocatorSettings("glibc.malloc.arena_max=2:glibc.malloc.top_pad=0", kLargeHeapStep), std::nullopt);
}

TEST(AllocatorTuning, AStepSetInPlaceNeverGoesOverTheUsersOwn) {
    EXPECT_EQ(heapStepInPlace(nullptr, kSmallHeapStep), kSmallHeapStep);
    EXPECT_EQ(heapStepInPlace("glibc.malloc.hugetlb=1:glibc.malloc.check=0", kSmallHeapStep), kSmallHeapStep);
    EXPECT_EQ(heapStepInPlace("glibc.malloc.check=0:glibc.malloc.top_pad=0", kSmallHeapStep), std::nullopt);
}

}  // namespace
}  // namespace quorvane
