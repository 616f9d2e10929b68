#include "cli_fixture.h"
#include "core/file_util.h"

namespace quorvane {
namespace {

using testing::readFile;
using testing::runShell;
using testing::writeFile;

class ToolsCommands : public testing::CliTest {
protected:
    void SetUp() override {
        writeSettings("basedir=" + home.file("base"));
        addRoms({testing::romRow("Sys", "b", "3610a686", "hello.bin", "5"),
                 testing::romRow("Sys", "a", "00000002", "a1.bin", "20", RomStatus::Have),
                 testing::romRow("Sys", "a", "00000003", "a2.bin", "0"),
                 testing::romRow("Other", "z", "00000004", "z.bin", "5")});
    }
};

TEST_F(ToolsCommands, MissHaveWritesListsAndSummaries) {
    const std::string missing = " You are missing 2 roms (2 games) of 3 known Sys roms (2 games)";
    runSteps({{.args = "misshave Sys",
               .out = " You have 0 of 2 known Sys ROMS\n" + missing + "\n",
               .files = {{"$HOME/base/miss/Sysmissrom.txt",
                          missing + "\r\n\r\na\r\n   a2.bin (00000003)\r\nb\r\n   hello.bin (3610a686)\r\n"}}},
              {.args = "misshave --all", .has = {"Files creation completed."}},
              {.args = "misshave 2>/dev/null", .status = 2}});
}

TEST_F(ToolsCommands, StatsListsRowsTopToBottom) {
    runSteps({{.args = "stats",
               .out = "DataBase: roms\nTotal number of roms: 4\nTotal number of sets: 2\nTotal number of games: 3\n"
                      "Biggest set (# of roms): 3\nBiggest set (size bytes): 25\nSmallest set (# of roms): 1\n"
                      "Smallest set (size bytes): 5\nNumber of incomplete sets: 2\nNumber of availbale roms: 1\n"
                      "Complete DB size bytes: 30\nAvailable roms size bytes: 20\nNumber of missing roms: 3\n"
                      "Biggest rom (size bytes): 20\nSmallest rom (size bytes): 5\n"},
              {.args = "stats --json",
               .has = {"{\"database\": \"roms\", \"stats\": [{\"number\": 1, \"label\": \"totalnumroms\", "
                       "\"caption\": \"Total number of roms:\", \"value\": \"4\"}, {\"number\": 2"}}});
}

TEST_F(ToolsCommands, FormatsAndExport) {
    const std::string list = "$HOME/out/list.txt";
    ASSERT_TRUE(makeFolders(home.file("out")));
    runSteps({{.args = "formats save mine --system-template '# $SYSTEM$' --rom-template '$GAMENAME$/$ROMNAME$'"},
              {.args = "formats", .out = "mine\n"},
              {.args = "formats show mine", .out = "system=*# $SYSTEM$*\ngame=\nrom=$GAMENAME$/$ROMNAME$\n"},
              {.args = "export --out " + list + " --format mine",
               .files = {{list, "# Other\r\nz/z.bin\r\n# Sys\r\na/a2.bin\r\nb/hello.bin\r\n"}}},
              {.args = "export --out " + list + " --available --game-template '$GAMENAME$' --game-template '' Sys",
               .files = {{list, "a\r\n\r\n"}}},
              {.args = "export --out " + list + " 2>&1", .status = 2, .has = {"Error: no valid format"}},
              {.args = "export --out $HOME/quorvane.INI/x --rom-template x",
               .status = 1,
               .has = {"Unable to create file"}}});
}

// Unzip goes on past an entry it cannot write, names it and exits 1.
TEST_F(ToolsCommands, ZipAndUnzipFolderTrees) {
    writeFile(home.file("tree/read.txt"), "r");
    writeFile(home.file("tree/sub/x.rom"), "x");
    ASSERT_EQ(runShell("cd " + home.file("tree") +
                       " && python3 -c \"import zipfile\nwith zipfile.ZipFile('pack.zip', 'w') as z:\n"
                       "    for n in ['a.rom', 'x/..']: z.writestr(n, n)\""),
              0);
    runSteps({{.args = "zip $HOME/tree",
               .has = {"Total Files: 1\n$HOME/tree/sub/x.rom\n"},
               .absent = {"$HOME/tree/read.zip"}},
              {.args = "zip $HOME/nope 2>/dev/null", .status = 2},
              {.args = "unzip $HOME/tree 2>$HOME/err.txt",
               .status = 1,
               .files = {{"$HOME/err.txt", "The entry \"x/..\" of " + home.file("tree/pack.zip") +
                                               " was not unpacked: its name cannot "
                                               "be a file name.\n1 step failed.\n"},
                         {"$HOME/tree/a.rom", "a.rom"}}}});
    EXPECT_TRUE(isRegularFile(home.file("tree/sub/x.zip")));
}

// Converts only what is not TorrentZip yet; a second run finds nothing to do.
TEST_F(ToolsCommands, TorrentZipConvertsFoldersAndSystems) {
    writeSettings("basedir=" + home.file("base") + "\n" + testing::kCategoriesAtBasedir);
    writeFile(home.file("base/Sys/b.zip.src/hello.bin"), "hello");
    ASSERT_EQ(runShell("cd " + home.file("base/Sys/b.zip.src") + " && zip -q -X ../b.zip hello.bin && cd .. && rm -r b.zip.src"), 0);
    // The original is kept below the folder's name in the run's backup folder.
    runSteps({{.args = "torrentzip Sys",
               .has = {"b.zip: converted; the original is $HOME/Backup/", "/Sys/b.zip\n",
                       "Converted: 1, TorrentZip already: 0, failed: 0"}},
              {.args = "torrentzip $HOME/base/Sys", .out = "$HOME/base/Sys/b.zip: TorrentZip already\nConverted: 0, TorrentZip already: 1, failed: 0\n"},
              {.args = "torrentzip Nope 2>/dev/null", .status = 2}});
}

}  // namespace
}  // namespace quorvane
