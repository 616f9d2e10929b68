#include "cli_fixture.h"

namespace quorvane {
namespace {

using testing::writeFile;

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
    runSteps(
        {{.args = "import $HOME/v1.dat 2>/dev/null", .out = "Import completed: 1 file imported, 0 failed.\n"},
         {.args = "systems", .has = {"\nSys\n"}},
         {.args = "import --ignore $HOME/v2.dat 2>/dev/null", .out = question + " [Ignore]" + notReplaced},
         // No flag and no terminal: Ignore.
         {.args = "import $HOME/v2.dat </dev/null 2>/dev/null",
          .out = question + " [Ignore: no terminal to ask]" + notReplaced},
         {.args = "import --yes $HOME/v2.dat 2>/dev/null",
          .out = question + " [Yes]\nImport completed: 1 file imported, 0 failed.\n"},
         {.args = "import --yes $HOME/missing.dat 2>/dev/null",
          .status = 1,
          .out = "Cannot open $HOME/missing.dat (file not found)\n--\nImport completed: 0 files imported, 1 failed.\n"},
         {.args = "import 2>/dev/null", .status = 2},
         {.args = "import --yes --ignore $HOME/v1.dat 2>/dev/null", .status = 2}});
}

TEST_F(ImportCommand, ImportsXmlFilesAndReportsBrokenOnes) {
    writeFile(home.file("sys.xml"),
              "<?xml version=\"1.0\"?>\n<datafile><header><name>XmlSys</name></header>"
              "<game name=\"g\"><rom name=\"a.bin\" size=\"4\" crc=\"1\"/></game></datafile>\n");
    writeFile(home.file("broken.xml"), "<datafile><header><name>Broken</name></header>\n<game>\n");
    runSteps({{.args = "import $HOME/sys.xml $HOME/broken.xml 2>/dev/null",
               .status = 1,
               .out = "$HOME/broken.xml is not well-formed XML (line 3: no element found); nothing imported.\n--\n"
                      "Import completed: 1 file imported, 1 failed.\n"},
              {.args = "systems", .has = {"\nXmlSys\n"}, .lacks = {"Broken"}}});
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
