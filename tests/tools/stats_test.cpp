#include <gtest/gtest.h>

#include <mutex>

#include "catalogue/catalogue.h"
#include "core/worker_job.h"
#include "support/catalogue_rows.h"
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

// The figures are blanked in number order, then filled in number order.
TEST(Statistics, EveryFigureIsBlankedThenFilledInNumberOrder) {
    const std::vector<RomRow> filled = {
        {.status = RomStatus::Have, .system = "A", .game = "g1", .crc = "00000001", .romName = "r1", .size = "100"},
        {.system = "A", .game = "g1", .crc = "00000002", .romName = "r2", .size = "50"},
        // A size of 0 is stored as "-"; C's ROM has no size at all.
        {.status = RomStatus::Have, .system = "A", .game = "g2", .crc = "00000003", .romName = "r3", .size = "0"},
        {.status = RomStatus::Have, .system = "B", .game = "h1", .crc = "00000004", .romName = "r4", .size = "7"},
        {.system = "C", .game = "k", .crc = "00000005", .romName = "r5"}};
    const std::vector<std::pair<std::vector<RomRow>, std::vector<std::string>>> cases = {
        {{}, std::vector<std::string>(14, "0")},
        // ROM rows, systems, games, biggest set by bytes (A) and by ROMs (A),
        // smallest set by ROMs, and by bytes (B, not C whose size is
        // unknown), incomplete sets (A, C), available ROMs, bytes of every
        // known size, of the available ROMs, missing ROMs, biggest ROM,
        // smallest ROM (unknown sizes are not zero).
        {filled, {"5", "3", "4", "150", "3", "1", "7", "2", "3", "157", "107", "2", "100", "7"}}};
    for (const auto& [rows, values] : cases) {
        SCOPED_TRACE(rows.size());
        TempDir dir;
        auto db = std::make_shared<Catalogue>(dir.file("roms"));
        testing::addRows(*db, rows);
        std::vector<std::pair<int, std::string>> expected;
        for (int n = 1; n <= 14; ++n) expected.emplace_back(n, "");
        for (int n = 1; n <= 14; ++n) expected.emplace_back(n, values[static_cast<size_t>(n - 1)]);
        EXPECT_EQ(runStats(db), expected);
    }
}

}  // namespace
}  // namespace quorvane
