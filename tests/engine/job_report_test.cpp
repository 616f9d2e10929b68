// The counts and actions scan, fix and rebuild hand over in their report,
// checked against a collection whose damage is known.
#include <algorithm>

#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/fix_job.h"
#include "engine/rebuild_job.h"
#include "engine/scan_job.h"

namespace quorvane::testing {
namespace {

// Every count of a system, in one line, so a failure shows them all.
std::string countsOf(const SystemReport& s) {
    const StatusCounts& c = s.status;
    return "games " + std::to_string(c.gamesComplete) + "/" + std::to_string(c.gamesIncomplete) + "/" +
           std::to_string(c.gamesMissing) + " roms " + std::to_string(c.romsHave) + "/" +
           std::to_string(c.romsMissing) + "/" + std::to_string(c.romsElsewhere) + " unreadable " +
           std::to_string(s.archivesUnreadable) + " fix " + std::to_string(s.fix.movedIntoSets) + "/" +
           std::to_string(s.fix.renamed) + "/" + std::to_string(s.fix.movedToBackup) + " failed " +
           std::to_string(s.stepsFailed);
}

std::vector<std::string> actionsOf(const SystemReport& s) {
    std::vector<std::string> out;
    for (const FileAction& a : s.actions) out.push_back(std::string(fileActionName(a.kind)) + " " + a.name);
    std::sort(out.begin(), out.end());
    return out;
}

// System Sys: A whole, B absent, C half there, D's ROM in a stray archive,
// E's archive named in the wrong letter case, an archive that is no zip and
// a file nobody wants. System Other: O whole.
class JobReportTest : public EngineTest {
protected:
    void SetUp() override {
        addRoms({"Sys/A/a1.bin", "Sys/A/a2.bin", "Sys/B/b1.bin", "Sys/C/c1.bin", "Sys/C/c2.bin", "Sys/D/d1.bin",
                 "Sys/E/e1.bin", "Other/O/o1.bin"});
        makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}}},
                  {f() + "/C.zip", {{"c1.bin", "content c1"}}},
                  {f() + "/stray.zip", {{"d1.bin", "content d1"}}},
                  {f() + "/e.zip", {{"e1.bin", "content e1"}}},
                  {systemFolder("Other") + "/O.zip", {{"o1.bin", "content o1"}}}});
        writeFile(f() + "/bad.zip", "PK\x03\x04 no archive");
        writeFile(f() + "/note.txt", "not a rom");
    }
    const JobReport& report() const {
        static const JobReport none;
        return host.report() ? *host.report() : none;
    }
};

struct ReportCase {
    const char* name;
    bool fix;
    bool backupBlocked;  // the backup folder's parent is a regular file
    std::string counts;
    std::vector<std::string> actions;
};

void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.name; }

class ScanFixReport : public JobReportTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(ScanFixReport, CountsWhatTheJobFoundAndDid) {
    const ReportCase& c = GetParam();
    if (c.backupBlocked) {
        writeFile(dir.file("blocker"), "a file");
        settings.backupDir = dir.file("blocker/Backup/");
    }
    if (c.fix) ASSERT_TRUE(run(std::make_unique<FixJob>(db, host, settings, "Sys")));
    else ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Sys")));
    ASSERT_TRUE(host.report());
    EXPECT_EQ(report().command, c.fix ? JobReport::Command::Fix : JobReport::Command::Scan);
    ASSERT_EQ(report().systems.size(), 1u);
    const SystemReport& s = report().systems[0];
    EXPECT_EQ(s.system, "Sys");
    EXPECT_EQ(s.folder, f());
    EXPECT_EQ(countsOf(s), c.counts);
    EXPECT_EQ(countsOf(report().total), c.counts);
    EXPECT_EQ(actionsOf(s), c.actions);
    EXPECT_EQ(s.stepsFailed, host.failedSteps());
    if (c.fix) {
        EXPECT_EQ(report().backupFolder.rfind(settings.backupDir, 0), 0u) << report().backupFolder;
    }
    // Each action's paths are where the files are now.
    for (const FileAction& a : s.actions) {
        SCOPED_TRACE(a.name);
        switch (a.kind) {
            case FileAction::Kind::MovedToBackup:
                EXPECT_EQ(a.to.rfind(report().backupFolder + "/", 0), 0u) << a.to;
                EXPECT_TRUE(isRegularFile(a.to));
                break;
            case FileAction::Kind::MovedIntoSet:
                EXPECT_EQ(a.from, f() + "/stray.zip");
                EXPECT_EQ(a.to, f() + "/D.zip");
                EXPECT_EQ(a.game + "/" + a.rom, "D/d1.bin");
                EXPECT_EQ(zipContents(a.to), "d1.bin=content d1");
                break;
            case FileAction::Kind::Renamed:
                EXPECT_EQ(a.from, f() + "/e.zip");
                EXPECT_EQ(a.to, f() + "/E.zip");
                EXPECT_TRUE(isRegularFile(a.to));
                break;
            case FileAction::Kind::Failed:
                EXPECT_FALSE(a.error.empty());
                EXPECT_TRUE(pathExists(a.from)) << "a failed move leaves the file where it was";
                break;
            case FileAction::Kind::Added: ADD_FAILURE() << "a fix adds nothing"; break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, ScanFixReport,
    ::testing::Values(
        ReportCase{"Scan", false, false, "games 1/3/1 roms 3/2/2 unreadable 1 fix 0/0/0 failed 0", {}},
        ReportCase{"Fix",
                   true,
                   false,
                   "games 3/1/1 roms 5/2/0 unreadable 1 fix 1/1/3 failed 0",
                   {"moved into set d1.bin", "moved to backup bad.zip", "moved to backup d1.bin",
                    "moved to backup note.txt", "renamed e.zip"}},
        ReportCase{"FixWithoutABackupFolder",
                   true,
                   true,
                   "games 3/1/1 roms 5/2/0 unreadable 1 fix 1/1/0 failed 3",
                   {"failed bad.zip", "failed d1.bin", "failed note.txt", "moved into set d1.bin", "renamed e.zip"}}),
    [](const ::testing::TestParamInfo<ReportCase>& p) { return std::string(p.param.name); });

TEST_F(JobReportTest, AListOfSystemsHasOneReportEachAndTheirTotal) {
    ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, std::vector<std::string>{"Sys", "Other"})));
    ASSERT_TRUE(host.report());
    ASSERT_EQ(report().systems.size(), 2u);
    EXPECT_EQ(report().systems[1].system, "Other");
    EXPECT_EQ(countsOf(report().systems[1]), "games 1/0/0 roms 1/0/0 unreadable 0 fix 0/0/0 failed 0");
    EXPECT_EQ(countsOf(report().total), "games 2/3/1 roms 4/2/2 unreadable 1 fix 0/0/0 failed 0");
    EXPECT_FALSE(report().cancelled);
}

TEST_F(JobReportTest, RebuildCountsGamesCompletedRomsAddedAndSourcesUsed) {
    const std::string src = dir.file("src");
    writeFile(src + "/one.bin", "content b1");
    writeFile(src + "/junk.txt", "nobody wants this");
    writeFile(src + "/broken.zip", "PK\x03\x04 no archive");
    makeZips({{src + "/pack.zip", {{"c2.bin", "content c2"}, {"x.bin", "nothing"}}},
              {src + "/again.zip", {{"a1.bin", "content a1"}}}});
    ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Sys")));
    ASSERT_TRUE(run(std::make_unique<RebuildJob>(db, host, settings, src)));
    ASSERT_TRUE(host.report());
    const JobReport& r = report();
    EXPECT_EQ(r.command, JobReport::Command::Rebuild);
    EXPECT_EQ(r.sourceFolder, src);
    // b1 completes B and c2 completes C; a1 is had already and is not built
    // again; broken.zip is the failed step.
    const RebuildCounts& n = r.rebuild;
    EXPECT_EQ(std::to_string(n.romsAdded) + " " + std::to_string(n.gamesCompleted) + " " + std::to_string(n.sourcesUsed) +
                  " " + std::to_string(n.sourcesUnused) + " " + std::to_string(n.stepsFailed),
              "2 2 2 3 1");
    std::vector<std::string> unused = r.unusedSources;
    std::sort(unused.begin(), unused.end());
    EXPECT_EQ(unused, (std::vector<std::string>{src + "/again.zip", src + "/broken.zip", src + "/junk.txt"}));
    std::vector<std::string> games;
    for (const RebuiltGame& g : r.rebuiltGames) games.push_back(g.system + "/" + g.game.name + " " + g.game.statusString);
    std::sort(games.begin(), games.end());
    EXPECT_EQ(games, (std::vector<std::string>{"Sys/B Y", "Sys/C YY"}));
    std::vector<std::string> added;
    for (const FileAction& a : r.rebuildActions) {
        EXPECT_EQ(a.kind, FileAction::Kind::Added);
        added.push_back(a.name + " " + a.from + " -> " + a.to + " as " + a.rom);
    }
    std::sort(added.begin(), added.end());
    EXPECT_EQ(added, (std::vector<std::string>{"c2.bin " + src + "/pack.zip -> " + f() + "/C.zip as c2.bin",
                                               "one.bin " + src + "/one.bin -> " + f() + "/B.zip as b1.bin"}));
}

}  // namespace
}  // namespace quorvane::testing
