// The loader hands every item back once, in order, whatever order its
// workers finish in, and stops cleanly when dropped part way.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "engine/folder_stamps.h"
#include "engine/ordered_loader.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

// Items that finish out of order: every third one is slow.
void loadSlowly(size_t index, LoadedItem& out) {
    if (index % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
    out.listing = std::to_string(index);
}

// A slow consumer finds runs of items loaded while it was away; a fast one
// waits for them.
TEST(OrderedLoaderTest, HandsOutEveryItemInOrderForAnyWindowAndThreadCount) {
    for (size_t count : {size_t{0}, size_t{1}, size_t{7}, size_t{40}}) {
        for (unsigned threads : {1u, 2u, 4u, OrderedLoader::kOnCallingThread}) {
            for (size_t window : {size_t{0}, size_t{1}, size_t{2}, size_t{5}}) {
                for (bool slowConsumer : {false, true}) {
                    SCOPED_TRACE(std::to_string(count) + " items, " + std::to_string(threads) + " threads, window " +
                                 std::to_string(window) + (slowConsumer ? ", slow consumer" : ""));
                    OrderedLoader loader(count, loadSlowly, threads, window);
                    LoadedItem item;
                    size_t handed = 0;
                    while (loader.next(item)) {
                        ASSERT_EQ(item.index, handed);
                        ASSERT_EQ(item.listing, std::to_string(handed));
                        if (slowConsumer && handed % 4 == 0)
                            std::this_thread::sleep_for(std::chrono::microseconds(500));
                        ++handed;
                    }
                    EXPECT_EQ(handed, count);
                    EXPECT_FALSE(loader.next(item));
                }
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

// However the stat calls are shared, each name gets its own file's stamp,
// and a name that is gone an invalid one; a stop leaves the rest untaken.
TEST(FolderStampsTest, EveryHelperCountGivesEachNameItsOwnStamp) {
    TempDir dir;
    std::vector<std::string> names;
    const size_t count = 1000;
    for (size_t i = 0; i < count; ++i) {
        names.push_back("f" + std::to_string(i));
        if (i != 501) writeFile(dir.file(names.back()), std::string(i % 7, 'x'));
    }
    const int folder = ::open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    for (const unsigned helpers : {0u, 1u, 4u}) {
        SCOPED_TRACE(std::to_string(helpers) + " helpers");
        FolderStamps stamps(dir.path(), names);
        std::vector<std::thread> threads;
        for (unsigned h = 0; h < helpers; ++h) threads.emplace_back([&stamps] { stamps.take(); });
        size_t asked = 0;
        const std::vector<FileStamp>& all = stamps.all([&](size_t at) {
            EXPECT_LE(at, count);
            ++asked;
            return true;
        });
        ASSERT_EQ(all.size(), count);
        EXPECT_GE(asked, 1u);
        for (size_t k = 0; k < count; ++k) {
            const FileStamp expected = stampAt(folder, names[k]);
            ASSERT_EQ(expected.valid, k != 501);
            ASSERT_EQ(all[k], expected) << names[k];
            if (expected.valid) {
                ASSERT_EQ(all[k].size, static_cast<long long>(k % 7));
            }
        }
        for (std::thread& t : threads) t.join();
    }
    // Given what to expect, a file unlike it stops the taking; an unchanged
    // folder is taken whole.
    std::vector<FileStamp> expected;
    for (const std::string& name : names) expected.push_back(stampAt(folder, name));
    FolderStamps unchanged(dir.path(), names, expected);
    EXPECT_FALSE(unchanged.differs());
    EXPECT_EQ(unchanged.all(), expected);
    EXPECT_FALSE(unchanged.differs());
    expected[3].size += 1;
    FolderStamps changed(dir.path(), names, expected);
    const std::vector<FileStamp>& partly = changed.all();
    EXPECT_TRUE(changed.differs());
    EXPECT_FALSE(partly.back().valid);

    // Stopped before the first few names: none is taken, and helpers that
    // come later take none either.
    FolderStamps stopped(dir.path(), names);
    const std::vector<FileStamp>& none = stopped.all([](size_t) { return false; });
    std::thread late([&stopped] { stopped.take(); });
    late.join();
    for (const FileStamp& stamp : none) ASSERT_FALSE(stamp.valid);
    ::close(folder);
}

}  // namespace
}  // namespace quorvane::testing
