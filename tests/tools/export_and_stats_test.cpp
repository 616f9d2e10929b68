#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "core/file_util.h"
#include "core/worker_job.h"
#include "support/catalogue_rows.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "tools/export_job.h"
#include "tools/export_template.h"
#include "tools/stats_job.h"

namespace quorvane {
namespace {

using testing::readFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::writeFile;

class FileExport : public ::testing::Test {
protected:
    TempDir dir;
    std::shared_ptr<Catalogue> db = std::make_shared<Catalogue>(dir.file("roms"));
    RecordingHost host;

    void SetUp() override {
        using enum RomStatus;
        testing::addRows(*db, {testing::romRow("Sys", "b", "00000001", "b1", "1", Have),
                               testing::romRow("Sys", "a", "00000002", "a1", "1", Have),
                               testing::romRow("Sys", "a", "00000003", "a2", "1"),
                               testing::romRow("Sys", "c", "00000004", "c1", "1", Present)});
    }

    void run(ExportRequest request) {
        ExportJob job(db, host, std::move(request));
        job.clock = [] { return std::string("T"); };
        ASSERT_TRUE(job.prepare());
        job.execute();
    }
};

// Mode 0 lists what is missing ("a" has one N; "c" is only present
// elsewhere, so it is in neither mode), mode 1 what is had, even without a
// game template; the file is written anew.
TEST_F(FileExport, EachModeListsItsGamesAndRoms) {
    const std::string out = dir.file("out.txt");
    writeFile(out, "old content that must go\r\n");
    run({out, {"Sys"}, "", "", templateText({"$SYSTEM$/$GAMENAME$/$ROMNAME$"}), 1});
    EXPECT_EQ(readFile(out), "Sys/a/a1\r\nSys/b/b1\r\n");
    run({out, {"Sys", "Nope"}, "[$SYSTEM$]\r\n", "$GAMENAME$ / $gamename$\r\n", "$ROMNAME$\r\n", 0});
    EXPECT_EQ(readFile(out), "[Sys]\r\na / a\r\na2\r\n[Nope]\r\n");
    EXPECT_EQ(host.messages().back(), "T Finished writing file " + out);
}

// No systems: an empty file. A target that cannot be created: one message
// only. An unreadable catalogue stops the export before a file is written.
TEST_F(FileExport, NoSystemsGivesAnEmptyFileAndFailuresOneMessage) {
    run({dir.file("empty.txt"), {}, "", "", "$ROMNAME$", 0});
    EXPECT_EQ(readFile(dir.file("empty.txt")), "");
    writeFile(dir.file("plain"), "x");
    run({dir.file("plain") + "/out.txt", {"Sys"}, "", "", "$ROMNAME$", 0});
    EXPECT_EQ(host.messages(),
              (std::vector<std::string>{"T Starting...", "T Finished writing file " + dir.file("empty.txt"),
                                        "Unable to create file"}));
    RecordingHost third;
    ExportJob broken(std::make_shared<Catalogue>(dir.file("plain") + "/roms"), third,
                     {dir.file("never.txt"), {"Sys"}, "", "", "$ROMNAME$", 0});
    broken.execute();
    ASSERT_EQ(third.messages().size(), 2u);
    EXPECT_NE(third.messages()[1].find("Cannot open database"), std::string::npos);
    EXPECT_FALSE(pathExists(dir.file("never.txt")));
    EXPECT_FALSE(hasAnyTemplate({"x", {"Sys"}, "", "", "", 0}));
}

std::vector<std::pair<int, std::string>> runStats(std::shared_ptr<Catalogue> db) {
    RecordingHost host;
    std::vector<std::pair<int, std::string>> calls;  // read only after the runner has ended
    JobRunner runner;
    EXPECT_TRUE(runner.start(std::make_unique<StatsJob>(
        db, host, [&calls](int number, const std::string& text) { calls.emplace_back(number, text); })));
    runner.wait();
    EXPECT_TRUE(host.messages().empty());
    return calls;
}

// The figures are blanked in number order, then filled in number order.
TEST(Statistics, EveryFigureIsBlankedThenFilledInNumberOrder) {
    using enum RomStatus;
    // A size of 0 is stored as "-"; C's ROM has no size at all.
    const std::vector<RomRow> filled = {
        testing::romRow("A", "g1", "00000001", "r1", "100", Have), testing::romRow("A", "g1", "00000002", "r2", "50"),
        testing::romRow("A", "g2", "00000003", "r3", "0", Have),
        testing::romRow("B", "h1", "00000004", "r4", "7", Have), testing::romRow("C", "k", "00000005", "r5", "")};
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
        for (int n = 1; n <= 28; ++n) expected.emplace_back((n - 1) % 14 + 1, n <= 14 ? "" : values[size_t(n - 15)]);
        EXPECT_EQ(runStats(db), expected);
    }
}

}  // namespace
}  // namespace quorvane
