#include "catalogue/catalogue.h"
#include "cli_fixture.h"
#include "core/file_util.h"

namespace quorvane {
namespace {

using testing::readFile;
using testing::runShell;
using testing::writeFile;

class ToolsCommands : public testing::CliTest {
protected:
    std::string base = home.file("base");

    void SetUp() override {
        writeSettings("basedir=" + base);
        ASSERT_TRUE(makeFolders(home.path() + "/databases"));
        Catalogue db(home.path() + "/databases/roms");
        ASSERT_TRUE(db.addRom(
            {.system = "Sys", .game = "b", .crc = "3610a686", .romName = "hello.bin", .size = "5", .version = "1"}));
        ASSERT_TRUE(db.addRom(
            {.system = "Sys", .game = "a", .crc = "00000002", .romName = "a1.bin", .size = "20", .version = "1"}));
        ASSERT_TRUE(db.addRom(
            {.system = "Sys", .game = "a", .crc = "00000003", .romName = "a2.bin", .size = "0", .version = "1"}));
        ASSERT_TRUE(db.addRom(
            {.system = "Other", .game = "z", .crc = "00000004", .romName = "z.bin", .size = "5", .version = "1"}));
        db.setHave("00000002", "20", "a1.bin", "a", "Sys");
    }
};

TEST_F(ToolsCommands, MissHaveWritesListsAndSummaries) {
    std::string out;
    ASSERT_EQ(run("misshave Sys", out), 0);
    EXPECT_EQ(out, " You have 0 of 2 known Sys ROMS\n You are missing 2 roms (2 games) of 3 known Sys roms (2 games)\n");
    EXPECT_EQ(readFile(base + "/miss/Sysmissrom.txt"),
              " You are missing 2 roms (2 games) of 3 known Sys roms (2 games)\r\n\r\n"
              "a\r\n   a2.bin (00000003)\r\nb\r\n   hello.bin (3610a686)\r\n");
    ASSERT_EQ(run("misshave --all", out), 0);
    EXPECT_NE(out.find("Files creation completed."), std::string::npos);
    EXPECT_EQ(readFile(base + "/have.txt"),
              " You have 0 of 1 known Other ROMS\r\n\r\n You have 0 of 2 known Sys ROMS\r\n\r\n");
    EXPECT_EQ(run("misshave 2>/dev/null", out), 2);
}

TEST_F(ToolsCommands, StatsListsRowsTopToBottom) {
    std::string out;
    ASSERT_EQ(run("stats", out), 0);
    EXPECT_EQ(out,
              "DataBase: roms\n"
              "Total number of roms: 4\n"
              "Total number of sets: 2\n"
              "Total number of games: 3\n"
              "Biggest set (# of roms): 3\n"
              "Biggest set (size bytes): 25\n"
              "Smallest set (# of roms): 1\n"
              "Smallest set (size bytes): 5\n"
              "Number of incomplete sets: 2\n"
              "Number of availbale roms: 1\n"
              "Complete DB size bytes: 30\n"
              "Available roms size bytes: 20\n"
              "Number of missing roms: 3\n"
              "Biggest rom (size bytes): 20\n"
              "Smallest rom (size bytes): 5\n");
    ASSERT_EQ(run("stats --json", out), 0);
    EXPECT_EQ(out.rfind("{\"database\": \"roms\", \"stats\": [{\"number\": 1, \"label\": \"totalnumroms\", "
                        "\"caption\": \"Total number of roms:\", \"value\": \"4\"}, {\"number\": 2",
                        0),
              0u);
}

TEST_F(ToolsCommands, FormatsAndExport) {
    std::string out;
    ASSERT_EQ(run("formats save mine --system-template '# $SYSTEM$' --rom-template '$GAMENAME$/$ROMNAME$'", out), 0);
    ASSERT_EQ(run("formats", out), 0);
    EXPECT_EQ(out, "mine\n");
    ASSERT_EQ(run("formats show mine", out), 0);
    EXPECT_EQ(out, "system=*# $SYSTEM$*\ngame=\nrom=$GAMENAME$/$ROMNAME$\n");
    EXPECT_EQ(run("formats save Window --rom-template x 2>/dev/null", out), 2);

    const std::string file = home.file("out/list.txt");
    ASSERT_TRUE(makeFolders(home.file("out")));
    ASSERT_EQ(run("export --out " + file + " --format mine", out), 0);
    EXPECT_EQ(readFile(file), "# Other\r\nz/z.bin\r\n# Sys\r\na/a2.bin\r\nb/hello.bin\r\n");
    ASSERT_EQ(run("export --out " + file +
                      " --available --game-template '$GAMENAME$' "
                      "--game-template '' Sys",
                  out),
              0);
    EXPECT_EQ(readFile(file), "a\r\n\r\n");
    EXPECT_EQ(run("export --out " + file + " 2>&1", out), 2);
    EXPECT_NE(out.find("Error: no valid format"), std::string::npos);
    EXPECT_EQ(run("export --out " + home.file("quorvane.INI/x") + " --rom-template x", out), 1);
    EXPECT_NE(out.find("Unable to create file"), std::string::npos);
}

TEST_F(ToolsCommands, IdentifyListsMatchingRows) {
    ASSERT_EQ(runShell("cd " + home.path() +
                       " && printf hello > e.bin && printf nothing > n.bin && zip -q drop.zip e.bin n.bin"),
              0);
    std::string out;
    ASSERT_EQ(run("identify " + home.file("drop.zip") + " 2>/dev/null", out), 0);
    EXPECT_EQ(out, "Filename\tSystem\tGamename\tRomname\tStatus\ndrop.zip\tSys\tb\thello.bin\tN\n"
                   "Summary: files 1 matched, 1 not matched; archives unreadable: 0\n"
                   "  Not matched: n.bin in " +
                       home.file("drop.zip") + "\n");
    // Not a zip: no hits, a message naming it, and exit status 1.
    ASSERT_EQ(run("identify --json " + home.file("e.bin") + " 2>/dev/null", out), 1);
    EXPECT_EQ(out.rfind("{\"command\": \"identify\", \"hits\": [], \"cancelled\": false, \"summary\": {\"matched\": 0, "
                        "\"notMatched\": 0, \"unreadable\": 1}",
                        0),
              0u)
        << out;
    ASSERT_EQ(run("identify " + home.file("e.bin") + " 2>&1 >/dev/null", out), 1);
    EXPECT_NE(out.find("Cannot read " + home.file("e.bin") + ": not a zip archive\n"), std::string::npos) << out;
}

TEST_F(ToolsCommands, ZipAndUnzipFolderTrees) {
    const std::string tree = home.file("tree");
    writeFile(tree + "/game.bin", "g");
    writeFile(tree + "/read.txt", "r");
    writeFile(tree + "/sub/x.rom", "x");
    std::string out;
    ASSERT_EQ(run("zip " + tree, out), 0);
    EXPECT_EQ(out, "Total Files: 2\n" + tree + "/game.bin\n" + tree + "/sub/x.rom\n");
    EXPECT_TRUE(isRegularFile(tree + "/game.zip"));
    EXPECT_TRUE(isRegularFile(tree + "/sub/x.zip"));
    EXPECT_FALSE(pathExists(tree + "/read.zip"));

    ASSERT_EQ(runShell("rm " + tree + "/sub/x.rom"), 0);
    ASSERT_EQ(run("unzip " + tree + "/sub", out), 0);
    EXPECT_EQ(readFile(tree + "/sub/x.rom"), "x");
    EXPECT_EQ(run("zip " + home.file("nope") + " 2>/dev/null", out), 2);
}

TEST_F(ToolsCommands, ZipKeepsTheEntryItReplacesAndUnzipReportsEachEntryItCannotWrite) {
    const std::string tree = home.file("tree");
    ASSERT_EQ(runShell("mkdir -p " + tree + " && cd " + tree +
                       " && printf 'the old game' > game.bin && zip -q game.zip game.bin && printf new > game.bin"),
              0);
    std::string out;
    ASSERT_EQ(run("zip " + tree, out), 0);
    const std::string keptAs = "; the replaced entry was kept as ";
    const std::string kept = out.substr(out.find(keptAs) + keptAs.size());
    EXPECT_EQ(out.substr(0, out.find("; the replaced")), "Total Files: 1\n" + tree + "/game.bin\nThe entry \"game.bin\" of " +
                                                           tree + "/game.zip was replaced by " + tree + "/game.bin");
    ASSERT_EQ(kept.rfind(home.path() + "/Backup/", 0), 0u) << kept;
    EXPECT_EQ(readFile(kept.substr(0, kept.size() - 2)), "the old game");  // without ".\n"

    // The second entry cannot be a file name; the first and third still arrive.
    ASSERT_EQ(runShell("cd " + tree + " && rm game.bin && python3 -c \"import zipfile\n"
                       "with zipfile.ZipFile('pack.zip', 'w') as z:\n"
                       "    for n in ['a.rom', 'x/..', 'c.rom']: z.writestr(n, n)\""),
              0);
    ASSERT_EQ(run("unzip " + tree + " 2>" + home.file("err.txt"), out), 1);
    EXPECT_EQ(readFile(home.file("err.txt")), "The entry \"x/..\" of " + tree +
                                                  "/pack.zip was not unpacked: its name cannot be a file name.\n"
                                                  "1 step failed.\n");
    EXPECT_EQ(out, "Total Files: 2\n" + tree + "/game.zip\n");
    EXPECT_EQ(readFile(tree + "/a.rom"), "a.rom");
    EXPECT_EQ(readFile(tree + "/c.rom"), "c.rom");
    EXPECT_EQ(readFile(tree + "/game.bin"), "new");
}

}  // namespace
}  // namespace quorvane
