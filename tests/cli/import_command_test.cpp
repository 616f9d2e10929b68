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
    std::string out;
    ASSERT_EQ(run("import " + home.file("v1.dat") + " 2>/dev/null", out), 0);
    EXPECT_EQ(out, "Import completed: 1 file imported, 0 failed.\n");
    ASSERT_EQ(run("systems", out), 0);
    EXPECT_NE(out.find("\nSys\n"), std::string::npos);

    const std::string question = "Romset Sys already exists [version: 1]. Do you want to replace it with version 2?";
    ASSERT_EQ(run("import --ignore " + home.file("v2.dat") + " 2>/dev/null", out), 0);
    EXPECT_EQ(out, question + " [Ignore]\nImport completed: 0 files imported, 1 not replaced, 0 failed.\n");
    // No flag and no terminal: Ignore.
    ASSERT_EQ(run("import " + home.file("v2.dat") + " </dev/null 2>/dev/null", out), 0);
    EXPECT_EQ(out, question + " [Ignore: no terminal to ask]\nImport completed: 0 files imported, 1 not replaced, 0 failed.\n");
    ASSERT_EQ(run("import --yes " + home.file("v2.dat") + " 2>/dev/null", out), 0);
    EXPECT_EQ(out, question + " [Yes]\nImport completed: 1 file imported, 0 failed.\n");

    ASSERT_EQ(run("import --yes " + home.file("missing.dat") + " 2>/dev/null", out), 1);
    EXPECT_EQ(out, "Cannot open " + home.file("missing.dat") +
                       " (file not found)\n--\nImport completed: 0 files imported, 1 failed.\n");
}

TEST_F(ImportCommand, ImportsXmlFilesAndReportsBrokenOnes) {
    writeFile(home.file("sys.xml"),
              "<?xml version=\"1.0\"?>\n<datafile><header><name>XmlSys</name></header>"
              "<game name=\"g\"><rom name=\"a.bin\" size=\"4\" crc=\"1\"/></game></datafile>\n");
    writeFile(home.file("broken.xml"), "<datafile><header><name>Broken</name></header>\n<game>\n");
    std::string out;
    ASSERT_EQ(run("import " + home.file("sys.xml") + " " + home.file("broken.xml") + " 2>/dev/null", out), 1);
    EXPECT_EQ(out, home.file("broken.xml") +
                       " is not well-formed XML (line 3: no element found); nothing imported.\n--\n"
                       "Import completed: 1 file imported, 1 failed.\n");
    ASSERT_EQ(run("systems", out), 0);
    EXPECT_NE(out.find("\nXmlSys\n"), std::string::npos);
    EXPECT_EQ(out.find("Broken"), std::string::npos);
}

TEST_F(ImportCommand, UsageErrors) {
    writeFile(home.file("a.dat"), dat("1"));
    std::string out;
    EXPECT_EQ(run("import 2>/dev/null", out), 2);
    EXPECT_EQ(run("import --yes --ignore " + home.file("a.dat") + " 2>/dev/null", out), 2);
}

TEST_F(ImportCommand, NamesFromTheDatReachTheTerminalEscaped) {
    // A game name that would retitle the terminal window, a ROM name that
    // would clear the screen, and one that backspaces over its own letters.
    writeFile(home.file("evil.dat"),
              "clrmamepro (\n\tname Sys\n\tversion 1\n\tauthor A\n)\n"
              "game (\n\tname \"g\x1b]0;owned\x07\"\n"
              "\trom ( name \"../\x1b[2J.bin\" size 4 crc 1 )\n"
              "\trom ( name \"ok\b\bdone.bin\" size 4 crc 2 )\n)\n");
    std::string out;
    ASSERT_EQ(run("import " + home.file("evil.dat") + " 2>/dev/null", out), 0);
    EXPECT_EQ(out, "Line 8 of " + home.file("evil.dat") +
                       ": ROM \"../\\x1b[2J.bin\" of game \"g\\x1b]0;owned\\x07\" was not imported: a ROM name must "
                       "be a relative path without empty, \".\" or \"..\" steps and without backslashes.\n--\n"
                       "Import completed: 1 file imported, 0 failed.\n");
    ASSERT_EQ(run("games Sys", out), 0);
    EXPECT_EQ(out, "Sys (1): 1 games total\nmissing    g\\x1b]0;owned\\x07\n");
    ASSERT_EQ(run("roms Sys \"$(printf 'g\\033]0;owned\\007')\"", out), 0);
    EXPECT_EQ(out, "Game: g\\x1b]0;owned\\x07\nRom name\tcrc32\tsize\tmd5\tsha1\tcloneof\tpartof\n"
                   "ok\\x08\\x08done.bin\t00000002\t4\t\t\t\t\n");
    // JSON has escapes of its own.
    ASSERT_EQ(run("games Sys --json", out), 0);
    EXPECT_NE(out.find("\"name\": \"g\\u001b]0;owned\\u0007\""), std::string::npos) << out;
}

}  // namespace
}  // namespace quorvane
