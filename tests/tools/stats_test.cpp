#include <gtest/gtest.h>

#include <mutex>

#include "catalogue/catalogue.h"
#include "core/worker_job.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "tools/stats_job.h"

namespace quorvane {
namespace {

using testing::RecordingHost;
using testing::TempDir;

struct Filled {
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> calls;
};

std::vector<std::pair<int, std::string>> runStats(std::shared_ptr<Catalogue> db) {
    RecordingHost host;
    auto filled = std::make_shared<Filled>();
    JobRunner runner;
    EXPECT_TRUE(runner.start(std::make_unique<StatsJob>(db, host, [filled](int number, const std::string& text) {
        std::lock_guard lock(filled->mutex);
        filled->calls.emplace_back(number, text);
    })));
    runner.wait();
    EXPECT_TRUE(host.messages().empty());
    return filled->calls;
}

TEST(Statistics, EmptyDatabaseBlanksThenFillsZerosInNumberOrder) {
    TempDir dir;
    const auto calls = runStats(std::make_shared<Catalogue>(dir.file("roms")));
    ASSERT_EQ(calls.size(), 28u);
    for (int n = 1; n <= 14; ++n) {
        EXPECT_EQ(calls[static_cast<size_t>(n - 1)], std::make_pair(n, std::string()));
        EXPECT_EQ(calls[static_cast<size_t>(13 + n)], std::make_pair(n, std::string("0")));
    }
}

TEST(Statistics, OnePassFiguresTreatUnknownSizesAsUnknown) {
    TempDir dir;
    auto db = std::make_shared<Catalogue>(dir.file("roms"));
    Catalogue& d = *db;
    ASSERT_TRUE(
        d.addRom({.system = "A", .game = "g1", .crc = "00000001", .romName = "r1", .size = "100", .version = "1"}));
    ASSERT_TRUE(
        d.addRom({.system = "A", .game = "g1", .crc = "00000002", .romName = "r2", .size = "50", .version = "1"}));
    // A size of 0 is stored as "-".
    ASSERT_TRUE(
        d.addRom({.system = "A", .game = "g2", .crc = "00000003", .romName = "r3", .size = "0", .version = "1"}));
    ASSERT_TRUE(
        d.addRom({.system = "B", .game = "h1", .crc = "00000004", .romName = "r4", .size = "7", .version = "1"}));
    ASSERT_TRUE(
        d.addRom({.system = "C", .game = "k", .crc = "00000005", .romName = "r5", .version = "1"}));  // no size at all
    d.setHave("00000001", "100", "r1", "g1", "A");
    d.setHave("00000003", "-", "r3", "g2", "A");
    d.setHave("00000004", "7", "r4", "h1", "B");

    const auto calls = runStats(db);
    ASSERT_EQ(calls.size(), 28u);
    std::vector<std::string> values;
    for (size_t i = 14; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].first, static_cast<int>(i) - 13);
        values.push_back(calls[i].second);
    }
    const std::vector<std::string> expected = {
        "5",    // 1 rom rows
        "3",    // 2 systems
        "4",    // 3 games
        "150",  // 4 biggest set by bytes (A)
        "3",    // 5 biggest set by ROMs (A)
        "1",    // 6 smallest set by ROMs
        "7",    // 7 smallest set by bytes: B, not C whose size is unknown
        "2",    // 8 incomplete sets (A, C)
        "3",    // 9 available ROMs
        "157",  // 10 bytes of every known size
        "107",  // 11 bytes of the available ROMs
        "2",    // 12 missing ROMs
        "100",  // 13 biggest ROM
        "7",    // 14 smallest ROM: unknown sizes are not zero
    };
    EXPECT_EQ(values, expected);
}

}  // namespace
}  // namespace quorvane
