#include <gtest/gtest.h>

#include <algorithm>

#include "import_fixture.h"

namespace quorvane {
namespace {

using testing::ImportCase;
using testing::ImportFixture;
using testing::V;

std::string paren(const std::string& system, const std::string& version, const std::string& rom) {
    return "clrmamepro (\n\tname " + system + "\n" + (version.empty() ? "" : "\tversion " + version + "\n") +
           "\tauthor A\n)\ngame (\n\tname g\n\trom ( name " + rom + " size 1 crc 1 )\n)\n";
}

const std::string kOne = "info: Import completed: 1 file imported, 0 failed.";
const std::string kAsk = "askYesIgnore: Romset ";
const std::string kV1 = paren("Sys", "1", "old.bin"), kV2 = paren("Sys", "2", "new.bin");
const std::string kZero = paren("Zero", "0", "a.bin");
const std::string kSectioned = "[EMULATOR]\nrefname=S\n[GAMES]\n\xAC" "g\xAC\xAC\xAC\xAC" "r\xAC" "1\xAC" "1\xAC\n";

// Each entry without a name ends one run of the job.
const ImportCase kCases[] = {
    // A sectioned file without a version asks with "None".
    {"No keeps the old system",
     {{"v1.dat", kV1}, {"s.dat", kSectioned}, {}, {"v2.dat", kV2}, {"s.dat", kSectioned}},
     {"[S|None|None]", "g/r:1:00000001", "[Sys|1|A]", "g/old.bin:1:00000001"},
     {"info: Import completed: 2 files imported, 0 failed.",
      kAsk + "Sys already exists [version: 1]. Do you want to replace it with version 2?",
      kAsk + "S already exists [version: None]. Do you want to replace it with version None?",
      "info: Import completed: 0 files imported, 2 not replaced, 0 failed."},
     {false, false}},
    // The same file twice: the same version on both sides. A stored version
    // 0 reads like no system, yet it is replaced, not doubled.
    {"Yes replaces it",
     {{"v1.dat", kV1}, {"z.dat", kZero}, {}, {"v2.dat", kV2}, {"z.dat", kZero}, {}, {"v2.dat", kV2}},
     {"[Sys|2|A]", "g/new.bin:1:00000001", "[Zero|0|A]", "g/a.bin:1:00000001"},
     {"info: Import completed: 2 files imported, 0 failed.",
      kAsk + "Sys already exists [version: 1]. Do you want to replace it with version 2?",
      kAsk + "Zero already exists [version: 0]. Do you want to replace it with version 0?",
      "info: Import completed: 2 files imported, 0 failed.",
      kAsk + "Sys already exists [version: 2]. Do you want to replace it with version 2?", kOne},
     {true, true, true}},
    // One question per existing system, one completion per run; a DAT
    // without a version shows an empty one.
    {"several files",
     {{"a.dat", paren("A", "1", "a.bin")}, {"b.dat", paren("B", "1", "b.bin")}, {},
      {"a2.dat", paren("A", "", "a2.bin")}, {"c.dat", paren("C", "1", "c.bin")}, {"b.dat", paren("B", "1", "b.bin")}},
     {"[A||A]", "g/a2.bin:1:00000001", "[B|1|A]", "g/b.bin:1:00000001", "[C|1|A]", "g/c.bin:1:00000001"},
     {"info: Import completed: 2 files imported, 0 failed.",
      kAsk + "A already exists [version: 1]. Do you want to replace it with version ?",
      kAsk + "B already exists [version: 1]. Do you want to replace it with version 1?",
      "info: Import completed: 2 files imported, 1 not replaced, 0 failed."},
     {true, false}},
};

TEST(ImportJob, Cases) {
    for (const ImportCase& c : kCases) testing::runCase(c);
}

// Whatever the reader: the title names the file, "Initializing..." comes
// first, each of the two passes (the file's bytes, then its sets) ends on its
// last position at a bounded rate, and the progress closes before the
// completion is shown.
TEST(ImportJob, ProgressOfEachReaderRunsBothPassesToTheirEnds) {
    std::string big = "clrmamepro (\n\tname P\n)\ngame (\n\tname g\n";
    for (int i = 0; i < 40000; ++i) big += "\tcomment x\n";
    const std::pair<std::string, int> files[] = {
        {big + "\trom ( name a size 1 crc 1 )\n)\n", 1},
        {"<?xml version='1.0'?>\n<datafile><header><name>X</name></header>\n<game name='a'><rom name='a.bin' size='1' "
         "crc='1'/></game>\n<game name='b'><rom name='b.bin' size='1' crc='2'/></game>\n</datafile>\n",
         2},
    };
    for (const auto& [content, sets] : files) {
        SCOPED_TRACE(sets);
        ImportFixture f;
        const std::string path = f.dat("file.dat", content);
        EXPECT_EQ(f.import({path}).refresh, JobResult::Refresh::SystemsAndGames);
        const auto events = f.host.events();
        ASSERT_GE(events.size(), 3u);
        EXPECT_EQ(events[0], "startProgress: Importing datfile " + path + " / 1");
        EXPECT_EQ(events[1], "progress: Initializing... @ 0");
        const auto at = [&](const std::string& event) { return std::find(events.begin(), events.end(), event); };
        EXPECT_LT(at("closeProgress: "), at(kOne));
        const std::string bytes = std::to_string(content.size());
        EXPECT_EQ(f.host.eventsOf("progressMax"), (V{bytes, std::to_string(sets)}));
        const auto progress = f.host.eventsOf("progress");
        EXPECT_NE(std::find(progress.begin(), progress.end(), path + " @ " + bytes), progress.end());
        EXPECT_EQ(progress.back(), path + " @ " + std::to_string(sets));
        // One update per 4096 lines at most, not one per line.
        EXPECT_GE(progress.size(), sets == 1 ? 10u : 2u);
        EXPECT_LT(progress.size(), 400u);
    }
    // Each file of a run starts its own progress (the first one already
    // when the job is prepared).
    ImportFixture f;
    const V paths = {f.dat("p.dat", files[0].first), f.dat("x.xml", files[1].first)};
    f.import(paths);
    V starts = f.host.eventsOf("startProgress");
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    EXPECT_EQ(starts, (V{"Importing datfile " + paths[0] + " / 1", "Importing datfile " + paths[1] + " / 1"}));
}

// A category whose folder is a regular file cannot be opened; a scratch
// database that cannot be created stops the file before any change.
TEST(ImportJob, DatabasesThatCannotBeOpenedLoseNothing) {
    ImportFixture f;
    const std::string v1 = f.dat("v1.dat", kV1);
    f.import({v1});
    testing::writeFile(f.dir.file("blocker"), "x");
    const auto good = f.db;
    f.db = std::make_shared<Catalogue>(f.dir.file("blocker") + "/roms");
    f.import({v1});
    f.db = good;
    f.settings.databasesDir = f.dir.file("blocker") + "/";
    f.host.answers = {true};
    f.import({f.dat("v2.dat", kV2)});
    EXPECT_EQ(testing::digest(f.rows()), (V{"[Sys|1|A]", "g/old.bin:1:00000001"}));
    const std::string failed = "info: Import completed: 0 files imported, 1 failed.";
    const std::string cannot = ": the record file cannot be opened or created. Nothing of @/";
    EXPECT_EQ(f.said(), (V{kOne, "Cannot open database @/blocker/roms" + cannot + "v1.dat was imported.", failed,
                           kAsk + "Sys already exists [version: 1]. Do you want to replace it with version 2?",
                           "Cannot open database @/blocker/TempDB" + cannot + "v2.dat was imported.", failed,
                           "failedSteps: 2"}));
}

// The new rows must be on the disk before the rows they replace go: a
// scratch file that cannot be written (a file size limit stands in for a
// full disk) stops the file with the old system whole.
TEST(ImportJob, AScratchFileThatCannotBeWrittenLeavesTheOldSystem) {
    ImportFixture f;
    f.import({f.dat("v1.dat", kV1)});
    std::string v2 = "clrmamepro (\n\tname Sys\n\tversion 2\n\tauthor A\n)\ngame (\n\tname g\n";
    for (int i = 0; i < 2000; ++i) v2 += "\trom ( name r" + std::to_string(i) + ".bin size 1 crc " + std::to_string(i) + " )\n";
    const std::string path = f.dat("v2.dat", v2 + ")\n");
    f.host.answers = {true};
    testing::withFileSizeLimit(16 * 1024, [&] { f.import({path}); });
    EXPECT_EQ(testing::digest(f.rows()), (V{"[Sys|1|A]", "g/old.bin:1:00000001"}));
    const V said = f.said();
    ASSERT_EQ(said.size(), 5u);
    EXPECT_EQ(said[2], "Cannot write @/databases/TempDB.rcf (File too large). The import of @/v2.dat stopped.");
    EXPECT_EQ(said[3], "info: Import completed: 0 files imported, 1 failed.");
}

}  // namespace
}  // namespace quorvane
