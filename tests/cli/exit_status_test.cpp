// Every command's failure cases: the exit status (1: the job could not run
// or a step failed; 2: bad usage), what it says, and that it wrote nothing.
#include "cli_fixture.h"

namespace quorvane {
namespace {

using testing::writeFile;

struct FailureCase {
    const char* name;
    std::string args;  // "$HOME" stands for the test's home folder
    int status;
    std::string said;    // in standard error or output
    std::string absent;  // a path below $HOME that must not exist afterwards
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class ExitStatus : public testing::CliTest, public ::testing::WithParamInterface<FailureCase> {
protected:
    void SetUp() override {
        useRomsFolder();
        writeFile(
            home.file("synth.dat"),
            "clrmamepro (\n\tname SynthSys\n\tversion 1\n)\ngame (\n\tname g\n\trom ( name a size 1 crc 1 )\n)\n");
        std::string out;
        ASSERT_EQ(run("import " + home.file("synth.dat") + " 2>&1", out), 0) << out;
    }
};

TEST_P(ExitStatus, FailuresSayWhyAndWriteNothing) {
    const FailureCase& c = GetParam();
    runSteps({{.args = c.args + " </dev/null 2>&1",
               .status = c.status,
               .has = {c.said},
               .absent = c.absent.empty() ? std::vector<std::string>{} : std::vector{"$HOME/" + c.absent}}});
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ExitStatus,
    ::testing::Values(
        FailureCase{"ScanWrongCase", "scan synthsys", 2,
                    "There is no system \"synthsys\" in this category. Did you mean SynthSys?"},
        FailureCase{"FixUnknown", "fix Nope", 2, "There is no system \"Nope\" in this category.\n"},
        FailureCase{"RebuildAbsentFolder", "rebuild $HOME/absent", 1, "Folder $HOME/absent does not exist.\n"},
        FailureCase{"RebuildBadDupes", "rebuild --dupes sometimes", 2, "sometimes"},
        FailureCase{"ExportUnknown", "export --out $HOME/out.txt --system-template x Nope", 2,
                    "There is no system \"Nope\"", "out.txt"},
        FailureCase{"FormatUnknown", "formats show nope", 2, "No format named \"nope\""},
        FailureCase{"CleanWithoutTerminal", "clean", 1, "Nothing was changed."},
        FailureCase{"SettingBadFlag", "settings set useMD5 2", 2, "useMD5 takes 0 or 1, not \"2\"."},
        FailureCase{"SettingUnknown", "settings set colour blue", 2, "There is no setting \"colour\"."},
        FailureCase{"SettingRelativeFolder", "settings set tosecdir roms", 2, "a folder path must be absolute"},
        FailureCase{"SettingFileAsFolder", "settings set basedir $HOME/synth.dat", 2,
                    "basedir: $HOME/synth.dat is not a folder."},
        FailureCase{"SettingDerived", "settings set databasesDir /x", 2, "cannot be set"},
        FailureCase{"SystemMergeMode", "settings set --system SynthSys merge-mode nonmerged", 2,
                    "merge-mode takes split, merged, non-merged or full-non-merged, not \"nonmerged\"."},
        FailureCase{"SystemKeyUnknown", "settings get --system SynthSys headers", 2,
                    "There is no per-system setting \"headers\". The per-system settings are: output, merge-mode."},
        FailureCase{"SystemUnknownOnSet", "settings set --system synthsys output 7z", 2,
                    "There is no system \"synthsys\" in this category. Did you mean SynthSys?"},
        FailureCase{"SystemUnknownOnGet", "settings get --system Nope output", 2,
                    "There is no system \"Nope\" in this category."},
        FailureCase{"SystemEmptyName", "settings get --system '' output", 2, "There is no system \"\""}),
    [](const ::testing::TestParamInfo<FailureCase>& p) { return std::string(p.param.name); });

TEST_F(ExitStatus, SettingsSetWritesOnlyItsKeyAndGetReadsItBack) {
    runSteps({{.args = "--category Arcade settings set useSHA1 1"},
              {.args = "settings get useSHA1", .out = "1\n"},
              {.args = "settings set headers remove"},
              {.args = "settings get headers", .out = "remove\n"},
              // The --category choice was for that run only: the default stays.
              {.args = "settings get currentdb", .out = "roms\n"},
              {.args = "settings set tosecdir '$BASEDIR$/Tosec/$SYSTEM$' 2>&1",
               .out = "The folder $HOME/roms/Tosec/ does not exist yet.\n"},
              {.args = "settings get tosecdir", .out = "$BASEDIR$/Tosec/$SYSTEM$\n"},
              {.args = "settings get nope 2>/dev/null", .status = 2}});
}

// A system's own values are printed after the global values and read back
// by get; "default" puts them back on the global ones, also for a system the
// catalogue no longer has.
TEST_F(ExitStatus, SystemValuesAreSetPrintedAndPutBack) {
    runSteps({{.args = "settings set output 7z"},
              {.args = "settings set merge-mode merged"},
              {.args = "settings set --system SynthSys output torrentzip"},
              {.args = "settings set --system SynthSys merge-mode full-non-merged"},
              {.args = "settings get output", .out = "7z\n"},
              {.args = "settings get --system SynthSys output", .out = "torrentzip\n"},
              {.args = "settings get --system SynthSys merge-mode", .out = "full-non-merged\n"},
              {.args = "settings",
               .has = {"\noutput = 7z\nmerge-mode = merged\n",
                       "\nsettingsFile = $HOME/quorvane.INI\noutput[SynthSys] = torrentzip\n"
                       "merge-mode[SynthSys] = full-non-merged\n"}},
              {.args = "delete-system SynthSys"},
              {.args = "settings get --system SynthSys output 2>/dev/null", .status = 2},
              {.args = "settings set --system SynthSys output default"},
              {.args = "settings set --system SynthSys merge-mode default"},
              {.args = "settings", .lacks = {"output[", "merge-mode["}},
              {.args = "settings get merge-mode", .out = "merged\n"}});
}

class SettingsCommand : public testing::CliTest {};

TEST_F(SettingsCommand, HomeFromEnvironmentCategoryAndUsageErrors) {
    writeSettings("basedir=/emu");
    std::string out;
    ASSERT_EQ(
        testing::runCapture("QUORVANE_HOME=" + home.path() + " " + QUORVANE_EXE + " --category good settings", out), 0);
    for (const char* line :
         {"gooddir = /emu/romsets/Good\n", "currentdb = romsGood\n", "categoryDir = /emu/romsets/Good\n"})
        EXPECT_THAT(out, testing::HasSubstr(line));
    runSteps({{.args = "--category nope settings 2>/dev/null", .status = 2},
              {.args = "--no-such-flag 2>/dev/null", .status = 2},
              {.args = "--version", .has = {"Quorvane "}}});
}

}  // namespace
}  // namespace quorvane
