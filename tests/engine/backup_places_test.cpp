// Where the backup keeps what a job moves aside: below the run folder, by
// the system folder's name, the archive's name and the entry's own folders.
#include "core/file_util.h"
#include "engine/backup_tree.h"
#include "engine/engine_fixture.h"
#include "support/chd_image.h"

namespace quorvane::testing {
namespace {

std::string placeText(const BackupPlace& place) { return place.folder + " | " + place.name; }

TEST(BackupTree, FilesKeepTheirPathBelowTheSourceFolderAndEntriesGoBelowTheirArchive) {
    const BackupTree tree("/b/run", "/roms/Sys/");  // a trailing "/" names the same folder
    EXPECT_EQ(placeText(tree.forFile("/roms/Sys/bad.zip")), "/b/run/Sys | bad.zip");
    EXPECT_EQ(placeText(tree.forFile("/roms/Sys/G/disk.chd")), "/b/run/Sys/G | disk.chd");
    // Outside the source folder (a sibling whose name starts alike too): only the file name is kept.
    EXPECT_EQ(placeText(tree.forFile("/elsewhere/x.bin")), "/b/run/Sys | x.bin");
    EXPECT_EQ(placeText(tree.forFile("/roms/Sys2/y.bin")), "/b/run/Sys | y.bin");
    EXPECT_EQ(placeText(tree.forEntry("/roms/Sys/A.zip", "docs/readme.txt")), "/b/run/Sys/A.zip/docs | readme.txt");
    EXPECT_EQ(placeText(tree.forEntry("/roms/Sys/A.zip", "a1.bin")), "/b/run/Sys/A.zip | a1.bin");
}

TEST(BackupTree, NoEntryNameLeadsOutOfItsArchivesFolder) {
    const BackupTree tree("/b/run", "/roms/Sys");
    // Entry name, where it is kept.
    const std::pair<const char*, const char*> cases[] = {{"../x", "/b/run/Sys/A.zip | x"},
                                                         {"../../../../x", "/b/run/Sys/A.zip | x"},
                                                         {"/abs", "/b/run/Sys/A.zip | abs"},
                                                         {"//etc/passwd", "/b/run/Sys/A.zip/etc | passwd"},
                                                         {"a/./b/../c", "/b/run/Sys/A.zip/a/b | c"},
                                                         {"a//b/", "/b/run/Sys/A.zip/a | b"},
                                                         {"..", "/b/run/Sys/A.zip | unnamed entry"},
                                                         {"", "/b/run/Sys/A.zip | unnamed entry"},
                                                         {"..\\..\\win\\x", "/b/run/Sys/A.zip/win | x"}};
    for (const auto& [entry, place] : cases)
        EXPECT_EQ(placeText(tree.forEntry("/roms/Sys/A.zip", entry)), place) << entry;
    EXPECT_EQ(BackupTree::safeSteps(std::string("a\0b/c", 5)), (Lines{"a_b", "c"}));
    // A source folder without a name of its own puts its files directly in the run folder.
    EXPECT_EQ(placeText(BackupTree("/b/run", "/").forFile("/x.bin")), "/b/run | x.bin");
}

// The archive itself was moved aside earlier (two fixes in the same second
// share a run folder): its entries go to a folder of a free variant name,
// and all of them to the same one.
TEST(BackupTree, AnArchiveMovedAsideWholeDoesNotBlockItsEntries) {
    TempDir dir;
    const BackupTree tree(dir.file("run"), "/roms/Sys");
    writeFile(dir.file("run/Sys/A.zip"), "the archive, whole");
    const BackupPlace first = tree.forEntry("/roms/Sys/A.zip", "x.bin");
    EXPECT_EQ(first.folder, dir.file("run/Sys/A (1).zip"));
    ASSERT_TRUE(first.make());
    EXPECT_EQ(tree.forEntry("/roms/Sys/A.zip", "sub/y.bin").folder, dir.file("run/Sys/A (1).zip/sub"));
    EXPECT_EQ(readFile(dir.file("run/Sys/A.zip")), "the archive, whole");
}

// An archive with unwanted entries (one a name reaching out of the folder,
// one absolute), a second archive whose unwanted entry has the same name, an
// unreadable archive and an unwanted disk image in a game's sub-folder: each
// lands below the system folder's name, and the report names where.
TEST_F(FixTest, EverythingMovedAsideIsFoundBelowItsSystemAndArchive) {
    makeZips({{f() + "/A.zip",
               {{"a1.bin", "content a1"},
                {"a2.bin", "content a2"},
                {"docs/readme.txt", "A's readme"},
                {"../../../../escaped.txt", "reaching out"},
                {"/abs.txt", "absolute"}}},
              {f() + "/C.zip", {{"docs/readme.txt", "C's readme"}}}});
    writeFile(f() + "/bad.zip", "PK\x03\x04 truncated");
    const std::string disk = chdImage(5, false, std::string(40, '9'));
    writeFile(f() + "/G/extra.chd", disk);
    ASSERT_TRUE(run(fix()));

    EXPECT_EQ(backupContents(), (Lines{"Sys/A.zip/abs.txt=absolute", "Sys/A.zip/docs/readme.txt=A's readme",
                                       "Sys/A.zip/escaped.txt=reaching out", "Sys/C.zip/docs/readme.txt=C's readme",
                                       "Sys/G/extra.chd=" + disk, "Sys/bad.zip=PK\x03\x04 truncated"}));
    EXPECT_FALSE(pathExists(dir.file("escaped.txt")) || pathExists(dir.file("Backup/escaped.txt")));
    EXPECT_EQ(folderState(f()), (Lines{"A.zip: a1.bin=content a1 a2.bin=content a2"}));

    ASSERT_TRUE(host.report());
    const std::string runFolder = host.report()->backupFolder;
    Lines moved;
    for (const FileAction& a : host.report()->systems.at(0).actions) {
        if (a.kind != FileAction::Kind::MovedToBackup) continue;
        ASSERT_EQ(a.to.rfind(runFolder + "/", 0), 0u) << a.to;
        EXPECT_TRUE(isRegularFile(a.to)) << a.to;
        moved.push_back(a.name + " -> " + a.to.substr(runFolder.size() + 1));
    }
    std::sort(moved.begin(), moved.end());
    EXPECT_EQ(moved, (Lines{"../../../../escaped.txt -> Sys/A.zip/escaped.txt", "/abs.txt -> Sys/A.zip/abs.txt",
                            "bad.zip -> Sys/bad.zip", "docs/readme.txt -> Sys/A.zip/docs/readme.txt",
                            "docs/readme.txt -> Sys/C.zip/docs/readme.txt", "extra.chd -> Sys/G/extra.chd"}));
}

// A set replaced by the right ROM in another system's folder keeps the old
// entry below that system's name.
TEST_F(FixTest, AnEntryReplacedInAnotherSystemsArchiveIsKeptBelowThatSystem) {
    makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}, {"o1.bin", "content o1"}}},
              {systemFolder("Other") + "/O.zip", {{"o1.bin", "a bad dump"}}}});
    ASSERT_TRUE(run(fix()));
    EXPECT_EQ(backupContents(), (Lines{"Other/O.zip/o1.bin=a bad dump", "Sys/A.zip/o1.bin=content o1"}));
    EXPECT_EQ(folderState(systemFolder("Other")), (Lines{"O.zip: o1.bin=content o1"}));
}

}  // namespace
}  // namespace quorvane::testing
