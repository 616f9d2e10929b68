#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>

#include "archive/archive_fixtures.h"
#include "archive/file_ops.h"
#include "archive/zip_listing.h"
#include "core/file_util.h"
#include "support/temp_dir.h"
#include "tools/multi_zipper.h"

namespace quorvane {
namespace {

using testing::entryNames;
using testing::readFile;
using testing::runCapture;
using testing::runShell;
using testing::TempDir;
using testing::writeFile;
using Files = std::vector<std::pair<std::string, std::string>>;

// Writes a zip with Python's zipfile, which (unlike Info-ZIP) lets several
// entries share a name. `entries` is a Python list of (name, data) pairs.
void pythonZip(const std::string& path, const std::string& entries) {
    ASSERT_EQ(runShell("python3 -W ignore -c \"import zipfile\nwith zipfile.ZipFile('" + path +
                       "', 'w') as z:\n    for n, d in " + entries + ": z.writestr(n, d)\""),
              0);
}

// Every file of `folder` but `skip`, with its content, sorted by name.
// The files a person sees: not the run's journal and kept copies.
Files folderFiles(const std::string& folder, const std::string& skip = "") {
    Files files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name != skip && !name.starts_with(".quorvane-")) files.emplace_back(name, readFile(e.path().string()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string contentOf(const std::string& archive, const std::string& entryName) {
    std::string out;
    runCapture("python3 -c \"import zipfile; print(zipfile.ZipFile('" + archive + "').read('" + entryName +
                   "').decode(), end='')\"",
               out);
    return out;
}

ZipperResult runOne(const std::string& path, const std::string& backupRoot) {
    ZipWorkList list;
    list.add(path);
    ZipperResult result;
    MultiZipper engine(list, {nullptr, [&](const std::string&, const ZipperResult& r) { result = r; }},
                       {.backupRoot = backupRoot});
    engine.wait();
    return result;
}

TEST(MultiZipper, TargetNameLooksAtTheLastFiveCharactersOfTheFileName) {
    // The first dot among the last five ends the stem; a dot in the folder name never counts.
    std::string names;
    for (const char* path :
         {"/r/game.bin", "/r/a.jpeg2", "/r/game.v1.bin", "/r/a.b.c", "/r/README", "x.z", "/r/roms.d/ab"})
        names += targetArchiveName(path) + " ";
    EXPECT_EQ(names, "/r/game.zip /r/a.jpeg2.zip /r/game.v1.zip /r/a.zip /r/README.zip x.zip /r/roms.d/ab.zip ");
}

TEST(MultiZipper, WalksApplyTheContainmentRules) {
    TempDir dir;
    for (const char* name : {"a.bin", "b.txt", "c.zip", "D.ZIP", "notes.txt.bak", "e.rar", ".hidden", "sub/d.rom",
                             "f.7z", "g.TAR.GZ", "h.gz.bak"})
        writeFile(dir.file(name), "x");
    ZipWorkList zip, unzip;
    addFolderToZip(dir.path(), zip);
    EXPECT_EQ(zip.paths(), (std::vector<std::string>{dir.file("D.ZIP"), dir.file("a.bin"), dir.file("h.gz.bak"),
                                                     dir.file("sub/d.rom")}));
    addFolderToUnzip(dir.path() + "/", unzip);
    // Packed archives are named by their extension, zips by containment.
    EXPECT_EQ(unzip.paths(), (std::vector<std::string>{dir.file("c.zip"), dir.file("e.rar"), dir.file("f.7z"),
                                                       dir.file("g.TAR.GZ")}));
}

TEST(MultiZipper, EngineZipsOneArchivePerStemAndUnpacksNextToTheArchive) {
    TempDir dir;
    writeFile(dir.file("x.bin"), "binary");
    writeFile(dir.file("x.dat"), "data");
    writeFile(dir.file("in.zip/loose.bin"), "not an archive");
    ASSERT_TRUE(makeFolders(dir.file("pack")));
    pythonZip(dir.file("pack/arch.zip"), "[('inner.rom', 'inner')]");
    ZipWorkList list;
    for (const char* p : {"x.bin", "x.dat", "gone.bin", "in.zip/loose.bin", "pack/arch.zip"}) list.add(dir.file(p));
    std::vector<bool> done;
    {
        MultiZipper engine(list, {nullptr, [&](const std::string&, const ZipperResult& r) {
                                      done.push_back(r.status == ZipStatus::Ok);
                                  }});
        engine.wait();
    }
    EXPECT_EQ(list.count(), 0u);
    // gone.bin vanished before its turn; in.zip/loose.bin was taken for an archive and cannot be opened.
    EXPECT_EQ(done, (std::vector<bool>{true, true, false, false, true}));
    EXPECT_EQ(entryNames(dir.file("x.zip")), (std::vector<std::string>{"x.bin", "x.dat"}));
    EXPECT_EQ(readFile(dir.file("x.bin")), "binary");  // sources stay
    EXPECT_FALSE(pathExists(dir.file("gone.zip")) || pathExists(dir.file("in.zip/loose.zip")));
    EXPECT_EQ(folderFiles(dir.file("pack"), "arch.zip"), (Files{{"inner.rom", "inner"}}));
}

// The kept entries sit below the walked folder's name, the archive's path
// below it and the archive's name; only entries of one archive share a folder.
TEST(MultiZipper, AnEntryOfOtherContentIsKeptInTheBackupFolderBeforeItIsReplaced) {
    TempDir dir;
    ASSERT_TRUE(makeFolders(dir.file("roms/sub")) && makeFolders(dir.file("roms/deeper/still")));
    // Two entries share the name game.bin; neither holds the loose file's data.
    pythonZip(dir.file("roms/sub/game.zip"),
              "[('game.bin', 'old one'), ('other.bin', 'other'), ('game.bin', 'old two')]");
    writeFile(dir.file("roms/sub/game.bin"), "new");
    pythonZip(dir.file("roms/deeper/still/game.zip"), "[('game.bin', 'old three')]");
    writeFile(dir.file("roms/deeper/still/game.bin"), "new too");
    ZipWorkList list;
    addFolderToZip(dir.file("roms"), list);
    std::vector<ZipperResult> results;
    {
        MultiZipper engine(list, {nullptr, [&](const std::string&, const ZipperResult& r) { results.push_back(r); }},
                           {.backupRoot = dir.file("Backup/")});
        engine.wait();
    }
    ASSERT_EQ(results.size(), 2u);
    for (const ZipperResult& r : results) EXPECT_TRUE(r.ok()) << r.failures.front();
    EXPECT_EQ(entryNames(dir.file("roms/sub/game.zip")), (std::vector<std::string>{"other.bin", "game.bin"}));
    EXPECT_EQ(contentOf(dir.file("roms/sub/game.zip"), "game.bin"), "new");
    EXPECT_EQ(contentOf(dir.file("roms/deeper/still/game.zip"), "game.bin"), "new too");
    // One time-stamped run folder holds every replaced entry, each whole.
    const auto runs = folderFiles(dir.file("Backup"));
    ASSERT_EQ(runs.size(), 1u);
    const std::string run = dir.file("Backup/" + runs[0].first);
    EXPECT_EQ(folderFiles(run + "/roms/sub/game.zip"), (Files{{"game (1).bin", "old two"}, {"game.bin", "old one"}}));
    EXPECT_EQ(folderFiles(run + "/roms/deeper/still/game.zip"), (Files{{"game.bin", "old three"}}));
    ASSERT_EQ(results[1].kept.size(), 2u);
    EXPECT_EQ(results[1].kept[0], "The entry \"game.bin\" of " + dir.file("roms/sub/game.zip") + " was replaced by " +
                                      dir.file("roms/sub/game.bin") + "; the replaced entry was kept as " + run +
                                      "/roms/sub/game.zip/game.bin.");
}

struct FailingSync : FileOps {
    int sync(int) override {
        errno = EIO;
        return -1;
    }
};

// No backup folder set, a copy that cannot be flushed: each time the archive keeps its entry and the reason is named.
TEST(MultiZipper, WithoutABackupFolderOrWhenTheCopyFailsTheArchiveIsLeftAlone) {
    TempDir dir;
    pythonZip(dir.file("game.zip"), "[('game.bin', 'old')]");
    writeFile(dir.file("game.bin"), "new");
    FailingSync failingSync;
    const struct {
        std::string backupRoot;
        FileOps* ops;
        std::string why;
    } cases[] = {{"", nullptr,
                  " was not zipped into " + dir.file("game.zip") +
                      ": no backup folder is set to keep the entry it would replace."},
                 {dir.file("Backup"), &failingSync, "\"game.bin\" it would replace cannot be kept"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        std::optional<ScopedFileOps> scoped;
        if (c.ops) scoped.emplace(*c.ops);
        const ZipperResult result = runOne(dir.file("game.bin"), c.backupRoot);
        scoped.reset();
        ASSERT_EQ(result.failures.size(), 1u);
        EXPECT_NE(result.failures[0].find(c.why), std::string::npos) << result.failures[0];
        EXPECT_TRUE(result.kept.empty());
        EXPECT_EQ(contentOf(dir.file("game.zip"), "game.bin"), "old");
    }
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.file("Backup"), ec))
        EXPECT_FALSE(e.is_regular_file()) << e.path() << ": the unsynced copy was not removed";
}

TEST(MultiZipper, UnzipGoesOnPastEntriesItCannotWriteAndNamesEachOne) {
    TempDir dir;
    const std::string archive = dir.file("pack.zip");
    // Stored, so that one entry's data can be damaged in place.
    pythonZip(archive,
              "[('a.bin', 'aaaa'), ('full.bin', 'ffff'), ('bad.bin', 'CORRUPTME'), ('sub/..', 'dots'),"
              " ('dup.bin', 'one'), ('dup.bin', 'two'), ('d.bin', 'dddd')]");
    ASSERT_EQ(runShell("sed -i 's/CORRUPTME/CORRUPTED/' " + archive), 0);
    struct DiskFull : FileOps {
        int createNew(const std::string& path) override {
            if (path.find("full.bin") == std::string::npos) return FileOps::createNew(path);
            errno = ENOSPC;
            return -1;
        }
    } diskFull;
    writeFile(dir.file("d.bin"), "the user's d.bin");
    ZipperResult result;
    {
        ScopedFileOps scoped(diskFull);
        result = runOne(archive, "");
    }
    // The entries that could be written, whole, beside the user's file and nothing half-written.
    EXPECT_EQ(folderFiles(dir.path(), "pack.zip"), (Files{{"a.bin", "aaaa"},
                                                          {"d (1).bin", "dddd"},
                                                          {"d.bin", "the user's d.bin"},
                                                          {"dup (1).bin", "two"},
                                                          {"dup.bin", "one"}}));
    EXPECT_NE(result.status, ZipStatus::Ok);
    const std::string entry = "The entry \"", of = "\" of " + archive + " was not unpacked: ";
    EXPECT_EQ(result.failures,
              (std::vector<std::string>{
                  entry + "full.bin" + of + "cannot create a file in " + dir.path() + ": No space left on device.",
                  entry + "bad.bin" + of + "its data cannot be read (an entry's data does not match its CRC).",
                  entry + "sub/.." + of + "its name cannot be a file name."}));
}

}  // namespace
}  // namespace quorvane
