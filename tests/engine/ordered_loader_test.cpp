#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/ordered_loader.h"

namespace quorvane {
namespace {

TEST(OrderedLoader, HandsItemsBackInOrderWithBoundedLookAhead) {
    constexpr size_t kCount = 200, kWindow = 6;
    std::atomic<size_t> consumed{0};
    std::atomic<size_t> maxAhead{0};
    OrderedLoader loader(
        kCount,
        [&](size_t i, LoadedItem& out) {
            const size_t ahead = i - consumed.load();
            size_t seen = maxAhead.load();
            while (ahead > seen && !maxAhead.compare_exchange_weak(seen, ahead)) {
            }
            // Uneven work so that later items often finish first.
            if (i % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
            out.status = static_cast<ZipStatus>(static_cast<int>(i) * 3);
        },
        4, kWindow);
    LoadedItem item;
    size_t expected = 0;
    while (loader.next(item)) {
        ASSERT_EQ(item.index, expected);
        ASSERT_EQ(item.status, static_cast<ZipStatus>(static_cast<int>(expected) * 3));
        consumed = ++expected;
    }
    EXPECT_EQ(expected, kCount);
    EXPECT_LE(maxAhead.load(), kWindow);
}

TEST(OrderedLoader, StopsWorkersWhenDroppedEarly) {
    std::atomic<int> loaded{0};
    {
        OrderedLoader loader(100000, [&](size_t, LoadedItem&) { ++loaded; }, 3, 4);
        LoadedItem item;
        ASSERT_TRUE(loader.next(item));
    }
    EXPECT_LT(loaded.load(), 100);
}

}  // namespace
}  // namespace quorvane
