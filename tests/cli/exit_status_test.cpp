// Every command's failure cases: the exit status (1: the job could not run
// or a step failed; 2: bad usage), what it says, and that it wrote nothing.
#include "cli_fixture.h"

namespace quorvane {
namespace {

using testing::writeFile;

struct FailureCase {
    const char* name;
    std::string args;    // "$HOME" stands for the test's home folder
    int status;
    std::string said;    // in standard error or output
    std::string absent;  // a path below $HOME that must not exist afterwards
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class ExitStatus : public testing::CliTest, public ::testing::WithParamInterface<FailureCase> {
protected:
    void SetUp() override {
        useRomsFolder();
        writeFile(home.file("synth.dat"),
                  "clrmamepro (\n\tname SynthSys\n\tversion 1\n)\ngame (\n\tname g\n\trom ( name a size 1 crc 1 )\n)\n");
        std::string out;
        ASSERT_EQ(run("import " + home.file("synth.dat") + " 2>&1", out), 0) << out;
        writeFile(home.file("garbage.dat"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
        std::string nested = "clrmamepro (\n\tname Nest\n\tversion 1\n)\n";
        for (int i = 0; i < 200000; ++i) nested += "game (\n";
        writeFile(home.file("nested.dat"), nested);
        writeFile(home.file("no-dats/readme.txt"), "not a DAT");
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
        FailureCase{"ImportMissingFile", "import /nonexistent.dat", 1,
                    "Cannot open /nonexistent.dat (file not found)\n--\nImport completed: 0 files imported, 1 failed."},
        FailureCase{"ImportNotADat", "import /etc/passwd", 1, "/etc/passwd is not a DAT file; nothing imported."},
        FailureCase{"ImportFolderWithoutDats", "import $HOME/no-dats", 1,
                    "No DAT file (*.dat, *.xml) in $HOME/no-dats; nothing imported."},
        FailureCase{"ImportGarbage", "import $HOME/garbage.dat", 1, "is not a DAT file; nothing imported."},
        FailureCase{"ImportUnclosedBlocks", "import $HOME/nested.dat", 1,
                    "No ROMs found in $HOME/nested.dat; nothing imported."},
        FailureCase{"ImportSomeFailed", "import $HOME/synth.dat --yes /nonexistent.dat", 1,
                    "Import completed: 1 file imported, 1 failed."},
        FailureCase{"RebuildMissingSource", "rebuild --files /nonexistent.bin", 1,
                    "Error in zip /nonexistent.bin: -200 (file not found)"},
        FailureCase{"ScanMissingFolder", "scan SynthSys", 1, "The folder of SynthSys does not exist", "roms/SynthSys"},
        FailureCase{"ScanWrongCase", "scan synthsys", 2,
                    "There is no system \"synthsys\" in this category. Did you mean SynthSys?"},
        FailureCase{"FixUnknown", "fix Nope", 2, "There is no system \"Nope\" in this category.\n"},
        FailureCase{"GamesWrongCase", "games synthsys", 2, "Did you mean SynthSys?"},
        FailureCase{"RomsWrongCase", "roms synthsys g", 2, "Did you mean SynthSys?"},
        FailureCase{"DeleteSystemUnknown", "delete-system SynthSy", 2, "Did you mean SynthSys?"},
        FailureCase{"MissHaveUnknown", "misshave Nope", 2, "There is no system \"Nope\"", "roms/Nopehave.txt"},
        FailureCase{"ExportUnknown", "export --out $HOME/out.txt --system-template x Nope", 2,
                    "There is no system \"Nope\"", "out.txt"},
        FailureCase{"FormatUnknown", "formats show nope", 2, "No format named \"nope\""},
        FailureCase{"CleanWithoutTerminal", "clean", 1, "Nothing was changed."},
        FailureCase{"DeleteDbWithoutTerminal", "delete-db", 1, "Nothing was changed."},
        FailureCase{"SettingBadFlag", "settings set useMD5 2", 2, "useMD5 takes 0 or 1, not \"2\"."},
        FailureCase{"SettingUnknown", "settings set colour blue", 2, "There is no setting \"colour\"."},
        FailureCase{"SettingRelativeFolder", "settings set tosecdir roms", 2, "a folder path must be absolute"},
        FailureCase{"SettingFileAsFolder", "settings set basedir $HOME/synth.dat", 2,
                    "basedir: $HOME/synth.dat is not a folder."},
        FailureCase{"SettingDerived", "settings set databasesDir /x", 2, "cannot be set"}),
    [](const ::testing::TestParamInfo<FailureCase>& p) { return std::string(p.param.name); });

TEST_F(ExitStatus, SettingsSetWritesOnlyItsKeyAndGetReadsItBack) {
    runSteps({{.args = "--category Arcade settings set useSHA1 1"},
              {.args = "settings get useSHA1", .out = "1\n"},
              // The --category choice was for that run only: the default stays.
              {.args = "settings get currentdb", .out = "roms\n"},
              {.args = "settings set tosecdir '$BASEDIR$/Tosec/$SYSTEM$' 2>&1",
               .out = "The folder $HOME/roms/Tosec/ does not exist yet.\n"},
              {.args = "settings get tosecdir", .out = "$BASEDIR$/Tosec/$SYSTEM$\n"},
              {.args = "settings get nope 2>/dev/null", .status = 2}});
}

}  // namespace
}  // namespace quorvane
