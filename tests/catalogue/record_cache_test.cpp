#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <string>

#include "catalogue/record_cache.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

// Random writes, appends and reads of a file through the cache, against what
// the file itself holds: reads spanning pages, a page read while it was the
// short last one and then grown, reads past the end, more pages than the
// cache has slots, so that slots are taken over, and walks in file order,
// which read several pages at once (up to the last slot, or the end).
TEST(RecordCache, ReadsWhatTheFileHoldsWhateverWasWrittenSince) {
    testing::TempDir dir;
    const std::string path = dir.file("records");
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    RecordCache cache;
    std::mt19937 rng(11);
    std::string model;
    const size_t span = RecordCache::kPageSize * (RecordCache::kPages + 40);
    auto write = [&](size_t offset, size_t size) {
        std::string bytes(size, '\0');
        for (char& c : bytes) c = static_cast<char>('a' + rng() % 26);
        ASSERT_EQ(::pwrite(fd, bytes.data(), size, static_cast<off_t>(offset)), static_cast<ssize_t>(size));
        cache.wrote(bytes.data(), size, offset);
        if (model.size() < offset + size) model.resize(offset + size, '\0');
        model.replace(offset, size, bytes);
    };
    write(0, 1000);
    std::string out;
    auto check = [&](size_t offset, size_t size) {
        out.assign(size, '?');
        const ssize_t n = cache.read(fd, out.data(), size, offset);
        const std::string expected = offset < model.size() ? model.substr(offset, size) : "";
        ASSERT_EQ(n, static_cast<ssize_t>(expected.size())) << "at " << offset;
        ASSERT_EQ(out.substr(0, expected.size()), expected) << "at " << offset;
    };
    for (int step = 0; step < 20000; ++step) {
        const unsigned what = rng() % 10;
        if (what == 0 && model.size() < span) {
            write(model.size(), 1 + rng() % 9000);  // the file grows
        } else if (what == 1) {
            write(rng() % model.size(), 1 + rng() % 600);
        } else if (what == 3) {
            // Rows read one after another, as a pass over a system reads them.
            size_t offset = rng() % model.size();
            for (int row = 0; row < 60 && offset < model.size(); ++row) {
                const size_t size = 1 + rng() % 400;
                ASSERT_NO_FATAL_FAILURE(check(offset, size)) << "walk at step " << step;
                offset += size;
            }
        } else {
            const size_t offset = what == 2 ? model.size() - rng() % 300 : rng() % (model.size() + 10);
            ASSERT_NO_FATAL_FAILURE(check(offset, 1 + rng() % 5000)) << "step " << step;
        }
    }
    EXPECT_GT(model.size(), RecordCache::kPageSize * RecordCache::kPages);
    // Changed behind the cache's back: only clear makes it read again.
    ASSERT_EQ(::pwrite(fd, "XYZ", 3, 10), 3);
    cache.clear();
    out.assign(3, '?');
    ASSERT_EQ(cache.read(fd, out.data(), 3, 10), 3);
    EXPECT_EQ(out, "XYZ");
    ::close(fd);
}

}  // namespace
}  // namespace quorvane
