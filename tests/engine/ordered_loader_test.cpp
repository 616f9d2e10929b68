// The loader hands every item back once, in order, whatever order its
// workers finish in, and stops cleanly when dropped part way.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "engine/ordered_loader.h"

namespace quorvane::testing {
namespace {

// Items that finish out of order: every third one is slow.
void loadSlowly(size_t index, LoadedItem& out) {
    if (index % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
    out.listing = std::to_string(index);
}

TEST(OrderedLoaderTest, HandsOutEveryItemInOrderForAnyWindowAndThreadCount) {
    for (size_t count : {size_t{0}, size_t{1}, size_t{7}, size_t{40}}) {
        for (unsigned threads : {1u, 2u, 4u, OrderedLoader::kOnCallingThread}) {
            for (size_t window : {size_t{0}, size_t{1}, size_t{2}, size_t{5}}) {
                SCOPED_TRACE(std::to_string(count) + " items, " + std::to_string(threads) + " threads, window " +
                             std::to_string(window));
                OrderedLoader loader(count, loadSlowly, threads, window);
                LoadedItem item;
                size_t handed = 0;
                while (loader.next(item)) {
                    ASSERT_EQ(item.index, handed);
                    ASSERT_EQ(item.listing, std::to_string(handed));
                    ++handed;
                }
                EXPECT_EQ(handed, count);
                EXPECT_FALSE(loader.next(item));
            }
        }
    }
}

TEST(OrderedLoaderTest, DroppedPartWayItStopsWithoutLoadingEverything) {
    std::atomic<size_t> loaded{0};
    {
        OrderedLoader loader(
            10000, [&](size_t index, LoadedItem& out) { loadSlowly(index, out), ++loaded; }, 2, 8);
        LoadedItem item;
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(loader.next(item));
    }
    EXPECT_GE(loaded.load(), 3u);
    EXPECT_LE(loaded.load(), 3u + 8u + 2u);  // the window and what each worker had started
}

}  // namespace
}  // namespace quorvane::testing
