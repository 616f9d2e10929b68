// The counts and actions a fix hands over in its report, checked against a
// collection whose damage is known (the command line's summaries check the
// other jobs' counts end to end).
#include <algorithm>

#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/fix_job.h"

namespace quorvane::testing {
namespace {

// Every count of a system, in one line, so a failure shows them all.
std::string countsOf(const SystemReport& s) {
    const StatusCounts& c = s.status;
    std::string out;
    for (const int n : {c.gamesComplete, c.gamesIncomplete, c.gamesMissing, c.romsHave, c.romsMissing,
                        c.romsElsewhere, s.archivesUnreadable, s.fix.movedIntoSets, s.fix.renamed,
                        s.fix.movedToBackup, s.stepsFailed})
        out += std::to_string(n) + " ";
    return out;
}

// System Sys: A whole, B absent, C half there, D's ROM in a stray archive,
// E's archive named in the wrong letter case, an archive that is no zip and
// a file nobody wants; with and without a backup folder that can be made.
class JobReportTest : public EngineTest, public ::testing::WithParamInterface<bool> {};

TEST_P(JobReportTest, AFixCountsWhatItFoundAndDidAndWhereEachFileIsNow) {
    const bool blocked = GetParam();
    const std::pair<std::string, std::vector<std::string>> expected[] = {
        {"3 1 1 5 2 0 1 1 1 3 0 ", {"moved into set d1.bin", "moved to backup bad.zip", "moved to backup d1.bin",
                                    "moved to backup note.txt", "renamed e.zip"}},
        {"3 1 1 5 2 0 1 1 1 0 3 ",
         {"failed bad.zip", "failed d1.bin", "failed note.txt", "moved into set d1.bin", "renamed e.zip"}}};
    addRoms({"Sys/A/a1.bin", "Sys/A/a2.bin", "Sys/B/b1.bin", "Sys/C/c1.bin", "Sys/C/c2.bin", "Sys/D/d1.bin",
             "Sys/E/e1.bin"});
    makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}}},
              {f() + "/C.zip", {{"c1.bin", "content c1"}}}, {f() + "/stray.zip", {{"d1.bin", "content d1"}}},
              {f() + "/e.zip", {{"e1.bin", "content e1"}}}});
    writeFile(f() + "/bad.zip", "PK\x03\x04 no archive");
    writeFile(f() + "/note.txt", "not a rom");
    if (blocked) {
        writeFile(dir.file("blocker"), "a file");
        settings.backupDir = dir.file("blocker/Backup/");
    }
    ASSERT_TRUE(run(std::make_unique<FixJob>(db, host, settings, "Sys")));
    ASSERT_TRUE(host.report());
    const JobReport& report = *host.report();
    EXPECT_EQ(report.command, JobReport::Command::Fix);
    ASSERT_EQ(report.systems.size(), 1u);
    const SystemReport& s = report.systems[0];
    EXPECT_EQ(s.system + " " + s.folder, "Sys " + f());
    EXPECT_EQ(countsOf(s), expected[blocked].first);
    EXPECT_EQ(countsOf(report.total), expected[blocked].first);
    EXPECT_EQ(s.stepsFailed, host.failedSteps());
    EXPECT_EQ(report.backupFolder.rfind(settings.backupDir, 0), 0u) << report.backupFolder;
    std::vector<std::string> actions;
    for (const FileAction& a : s.actions) {
        using Kind = FileAction::Kind;
        actions.push_back(std::string(fileActionName(a.kind)) + " " + a.name);
        SCOPED_TRACE(actions.back());
        // Each action's paths are where the files are now.
        EXPECT_TRUE(isRegularFile(a.kind == Kind::Failed ? a.from : a.to)) << "a failed move leaves the file";
        EXPECT_NE(a.kind, Kind::Added) << "a fix adds nothing";
        EXPECT_EQ(a.error.empty(), a.kind != Kind::Failed);
        if (a.kind == Kind::MovedToBackup) {
            EXPECT_EQ(a.to.rfind(report.backupFolder + "/", 0), 0u) << a.to;
        } else if (a.kind == Kind::MovedIntoSet) {
            EXPECT_EQ(a.from + " " + a.game + "/" + a.rom, f() + "/stray.zip D/d1.bin");
            EXPECT_EQ(zipContents(a.to), "d1.bin=content d1");
        } else if (a.kind == Kind::Renamed) {
            EXPECT_EQ(a.from + " " + a.to, f() + "/e.zip " + f() + "/E.zip");
        }
    }
    std::sort(actions.begin(), actions.end());
    EXPECT_EQ(actions, expected[blocked].second);
}

INSTANTIATE_TEST_SUITE_P(BackupFolder, JobReportTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Blocked" : "Usable"; });

}  // namespace
}  // namespace quorvane::testing
