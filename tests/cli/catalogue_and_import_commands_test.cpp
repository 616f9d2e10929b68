#include "cli_fixture.h"
#include "core/file_util.h"

namespace quorvane {
namespace {

using testing::writeFile;

class CatalogueCommands : public testing::CliTest {
protected:
    void SetUp() override {
        using enum RomStatus;
        RomRow clone = testing::romRow("Sys", "a", "00000003", "a\"2.bin", "0", Missing, "1.2");
        clone.cloneOf = std::string(1, 'b');  // not a literal: GCC 12 warns wrongly (-Wrestrict) at -O2
        addRoms({testing::romRow("Sys", "b", "00000001", "b1.bin", "10", Have, "1.2"),
                 testing::romRow("Sys", "a", "00000002", "a1.bin", "20", Have, "1.2"), clone,
                 testing::romRow("Other", "z", "00000004", "z.bin", "5", Missing, "7")});
    }
};

TEST_F(CatalogueCommands, SystemsGamesAndRomsViews) {
    runSteps(
        {{.args = "systems", .out = "Total sets: 2\nOther\nSys\n"},
         {.args = "games Sys", .out = "Sys (1.2): 2 games total\nincomplete a\ncomplete   b\n"},
         {.args = "games Sys --mode missing", .out = "Sys: No missing games\n"},
         {.args = "games Sys --mode available --json",
          .out = "{\"caption\": \"Sys (1.2): 1 games available\", \"games\": [{\"name\": \"b\", \"state\": "
                 "\"complete\", \"status\": \"Y\", \"kind\": \"game\", \"bios\": \"\", \"biosIncomplete\": false}]}\n"},
         {.args = "settings set --system Sys output 7z"},
         {.args = "settings set --system Sys merge-mode merged"},
         {.args = "systems --incomplete --json",
          .out = "{\"caption\": \"Incomplete sets: 2\", \"systems\": [{\"name\": \"Other\", \"output\": \"zip\", "
                 "\"mergeMode\": \"split\"}, {\"name\": \"Sys\", \"output\": \"7z\", \"mergeMode\": \"merged\"}]}\n"},
         {.args = "roms Sys a",
          .out = "Game: a\nRom name\tcrc32\tsize\tmd5\tsha1\tcloneof\tpartof\n"
                 "a1.bin\t00000002\t20\t\t\t\t\na\"2.bin\t00000003\t-\t\t\tb\t\n"},
         {.args = "roms Sys nope 2>/dev/null", .status = 1},
         {.args = "games Sys --mode bogus 2>/dev/null", .status = 2}});
}

// Declined (no terminal to ask, no --yes): nothing done, and the status says so.
TEST_F(CatalogueCommands, DatabaseActionsAskAndDeclineWithoutATerminal) {
    runSteps({{.args = "clean </dev/null", .status = 1, .has = {"Are you sure you want to clean roms status?"}},
              {.args = "games Sys --mode available", .out = "Sys (1.2): 1 games available\ncomplete   b\n"},
              {.args = "clean --yes"},
              {.args = "games Sys --mode available", .out = "Sys: No games available\n"},
              {.args = "delete-system Nope 2>/dev/null", .status = 2},
              {.args = "delete-system Other"},
              {.args = "systems", .out = "Total sets: 1\nSys\n"},
              {.args = "delete-db </dev/null", .status = 1},
              {.args = "systems", .out = "Total sets: 1\nSys\n"},
              {.args = "delete-db --yes"},
              {.args = "systems", .out = "Total sets: 0\n"}});
}

class ImportCommand : public testing::CliTest {};

std::string dat(const std::string& version) {
    return "clrmamepro (\n\tname Sys\n\tversion " + version +
           "\n\tauthor A\n)\ngame (\n\tname g\n\trom ( name a.bin size 4 crc 1 )\n)\n";
}

TEST_F(ImportCommand, ImportsAndAnswersTheReplaceQuestionByFlag) {
    writeFile(home.file("v1.dat"), dat("1"));
    writeFile(home.file("v2.dat"), dat("2"));
    const std::string question = "Romset Sys already exists [version: 1]. Do you want to replace it with version 2?";
    const std::string notReplaced = "\nImport completed: 0 files imported, 1 not replaced, 0 failed.\n";
    runSteps({{.args = "import $HOME/v1.dat 2>/dev/null", .out = "Import completed: 1 file imported, 0 failed.\n"},
              {.args = "import --ignore $HOME/v2.dat 2>/dev/null", .out = question + " [Ignore]" + notReplaced},
              // No flag and no terminal: Ignore.
              {.args = "import $HOME/v2.dat </dev/null 2>/dev/null",
               .out = question + " [Ignore: no terminal to ask]" + notReplaced},
              {.args = "import --yes $HOME/v2.dat 2>/dev/null",
               .out = question + " [Yes]\nImport completed: 1 file imported, 0 failed.\n"},
              {.args = "import 2>/dev/null", .status = 2},
              {.args = "import --yes --ignore $HOME/v1.dat 2>/dev/null", .status = 2}});
}

// The mode goes to each system the import stores, not to one it keeps; a
// refused mode stops the import before it reads anything.
TEST_F(ImportCommand, MergeModeGoesToEachSystemItStores) {
    writeFile(home.file("v1.dat"), dat("1"));
    writeFile(home.file("v2.dat"), dat("2"));
    writeFile(home.file("other.dat"),
              "clrmamepro (\n\tname Other\n)\ngame (\n\tname o\n\trom ( name o size 1 crc 2 )\n)\n");
    const auto systemsJson = [](const char* sysMode, const char* otherMode) {
        return std::string(
                   "{\"caption\": \"Total sets: 2\", \"systems\": [{\"name\": \"Other\", \"output\": \"zip\", "
                   "\"mergeMode\": \"") +
               otherMode + "\"}, {\"name\": \"Sys\", \"output\": \"zip\", \"mergeMode\": \"" + sysMode + "\"}]}\n";
    };
    runSteps({{.args = "import --merge-mode full $HOME/v1.dat 2>&1",
               .status = 2,
               .out = "merge-mode takes split, merged, non-merged or full-non-merged, not \"full\".\n"},
              {.args = "systems", .out = "Total sets: 0\n"},
              {.args = "import --merge-mode merged $HOME/v1.dat $HOME/other.dat 2>/dev/null"},
              {.args = "systems --json", .out = systemsJson("merged", "merged")},
              {.args = "import --ignore --merge-mode full-non-merged $HOME/v2.dat $HOME/other.dat 2>/dev/null"},
              {.args = "systems --json", .out = systemsJson("merged", "merged")},
              {.args = "import --yes --merge-mode non-merged $HOME/v2.dat --json 2>/dev/null"},
              {.args = "systems --json", .out = systemsJson("non-merged", "merged")}});
}

// The DATs are in; the settings file that cannot take the mode is the failure.
TEST_F(ImportCommand, AMergeModeTheSettingsFileCannotTakeIsAFailedStep) {
    writeFile(home.file("v1.dat"), dat("1"));
    makeFolders(home.file("quorvane.INI"));
    runSteps({{.args = "import --merge-mode merged $HOME/v1.dat 2>&1",
               .status = 1,
               .has = {"Import completed: 1 file imported, 0 failed.",
                       "The merge mode of Sys was not set: Cannot write the settings file $HOME/quorvane.INI."}},
              {.args = "systems", .out = "Total sets: 1\nSys\n"}});
}

// A game name that would retitle the terminal window, a ROM name that would
// clear the screen, and one that backspaces over its own letters.
TEST_F(ImportCommand, NamesFromTheDatReachTheTerminalEscaped) {
    writeFile(home.file("evil.dat"),
              "clrmamepro (\n\tname Sys\n\tversion 1\n\tauthor A\n)\n"
              "game (\n\tname \"g\x1b]0;owned\x07\"\n"
              "\trom ( name \"../\x1b[2J.bin\" size 4 crc 1 )\n"
              "\trom ( name \"ok\b\bdone.bin\" size 4 crc 2 )\n)\n");
    runSteps({{.args = "import $HOME/evil.dat 2>/dev/null",
               .out = "Line 8 of $HOME/evil.dat: ROM \"../\\x1b[2J.bin\" of game \"g\\x1b]0;owned\\x07\" was not "
                      "imported: a ROM name must be a relative path without empty, \".\" or \"..\" steps and without "
                      "backslashes.\n--\nImport completed: 1 file imported, 0 failed.\n"},
              {.args = "games Sys", .out = "Sys (1): 1 games total\nmissing    g\\x1b]0;owned\\x07\n"},
              {.args = "roms Sys \"$(printf 'g\\033]0;owned\\007')\"",
               .out = "Game: g\\x1b]0;owned\\x07\nRom name\tcrc32\tsize\tmd5\tsha1\tcloneof\tpartof\n"
                      "ok\\x08\\x08done.bin\t00000002\t4\t\t\t\t\n"},
              // JSON has escapes of its own.
              {.args = "games Sys --json", .has = {"\"name\": \"g\\u001b]0;owned\\u0007\""}}});
}

}  // namespace
}  // namespace quorvane
