#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <cerrno>

#include "archive/file_ops.h"
#include "archive/zip_listing.h"
#include "core/file_util.h"
#include "support/temp_dir.h"
#include "tools/multi_zipper.h"

namespace quorvane {
namespace {

using testing::readFile;
using testing::runCapture;
using testing::runShell;
using testing::TempDir;
using testing::writeFile;

// Writes a zip with Python's zipfile, which (unlike Info-ZIP) lets several
// entries share a name. `entries` is a Python list of (name, data) pairs.
void pythonZip(const std::string& path, const std::string& entries) {
    ASSERT_EQ(runShell("python3 -c \"import zipfile, warnings; warnings.simplefilter('ignore')\n"
                       "with zipfile.ZipFile('" + path + "', 'w') as z:\n"
                       "    for n, d in " + entries + ": z.writestr(n, d)\""),
              0);
}

// Every file of `folder` with its content, sorted by name.
std::vector<std::pair<std::string, std::string>> folderFiles(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        files.emplace_back(e.path().filename().string(), readFile(e.path().string()));
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> entryNames(const std::string& archive) {
    std::vector<std::string> names;
    const ZipListing info(archive);
    for (const ZipEntry& e : info.entries()) names.push_back(e.name);
    return names;
}

TEST(MultiZipper, TargetNameLooksAtTheLastFiveCharactersOfTheFileName) {
    EXPECT_EQ(targetArchiveName("/r/game.bin"), "/r/game.zip");
    EXPECT_EQ(targetArchiveName("/r/a.jpeg2"), "/r/a.jpeg2.zip");
    EXPECT_EQ(targetArchiveName("/r/game.v1.bin"), "/r/game.v1.zip");
    EXPECT_EQ(targetArchiveName("/r/a.b.c"), "/r/a.zip");  // the first dot among the last five
    EXPECT_EQ(targetArchiveName("/r/README"), "/r/README.zip");
    EXPECT_EQ(targetArchiveName("x.z"), "x.zip");
    // A dot in the folder name never moves the archive out of the folder.
    EXPECT_EQ(targetArchiveName("/r/roms.d/ab"), "/r/roms.d/ab.zip");
}

TEST(MultiZipper, WalksApplyTheContainmentRules) {
    TempDir dir;
    for (const char* name : {"a.bin", "b.txt", "c.zip", "D.ZIP", "notes.txt.bak", "e.rar", ".hidden", "sub/d.rom"})
        writeFile(dir.file(name), "x");
    ZipWorkList zip, unzip;
    addFolderToZip(dir.path(), zip);
    EXPECT_EQ(zip.paths(), (std::vector<std::string>{dir.file("D.ZIP"), dir.file("a.bin"), dir.file("sub/d.rom")}));
    addFolderToUnzip(dir.path() + "/", unzip);
    EXPECT_EQ(unzip.paths(), std::vector<std::string>{dir.file("c.zip")});
    // Collecting twice keeps both copies; clearing leaves nothing.
    std::atomic<size_t> lastCount{99};
    zip.onCountChanged = [&](size_t n) { lastCount = n; };
    addFolderToZip(dir.path(), zip);
    EXPECT_EQ(lastCount, 6u);
    zip.clear();
    EXPECT_EQ(zip.count(), 0u);
    EXPECT_EQ(lastCount, 0u);
}

TEST(MultiZipper, EngineZipsOneArchivePerStemAndUnpacksNextToTheArchive) {
    TempDir dir;
    writeFile(dir.file("x.bin"), "binary");
    writeFile(dir.file("x.dat"), "data");
    writeFile(dir.file("in.zip/loose.bin"), "not an archive");
    ASSERT_EQ(runShell("cd " + dir.path() + " && mkdir pack && printf inner > pack/inner.rom && "
                       "cd pack && zip -q ../pack/arch.zip inner.rom && rm inner.rom"),
              0);
    ZipWorkList list;
    for (const char* p : {"x.bin", "x.dat", "gone.bin", "in.zip/loose.bin", "pack/arch.zip"}) list.add(dir.file(p));
    std::vector<bool> done, startStates;
    {
        MultiZipper engine(
            list, {[&](bool enabled) { startStates.push_back(enabled); },
                   [&](const std::string&, const ZipperResult& r) { done.push_back(r.status == ZipStatus::Ok); }});
        engine.wait();
    }
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(startStates, (std::vector<bool>{false, true}));
    // gone.bin vanished before its turn; in.zip/loose.bin was taken for an
    // archive and cannot be opened.
    EXPECT_EQ(done, (std::vector<bool>{true, true, false, false, true}));

    EXPECT_EQ(entryNames(dir.file("x.zip")), (std::vector<std::string>{"x.bin", "x.dat"}));
    EXPECT_EQ(readFile(dir.file("x.bin")), "binary");  // sources stay
    EXPECT_FALSE(pathExists(dir.file("gone.zip")));
    EXPECT_FALSE(pathExists(dir.file("in.zip/loose.zip")));
    EXPECT_EQ(readFile(dir.file("pack/inner.rom")), "inner");
    EXPECT_TRUE(isRegularFile(dir.file("pack/arch.zip")));
}

TEST(MultiZipper, RunWhereTheNamesAlreadyExistLosesNothing) {
    TempDir dir;
    // pack.zip holds a.bin and b.bin; a.bin and "b (1).bin" are already there.
    ASSERT_EQ(runShell("cd " + dir.path() + " && printf 'packed a' > a.bin && printf 'packed b' > b.bin && "
                       "zip -q pack.zip a.bin b.bin && rm a.bin b.bin"),
              0);
    writeFile(dir.file("a.bin"), "the user's a.bin");
    writeFile(dir.file("b (1).bin"), "the user's b (1).bin");
    // The archive that c.bin would go into is not a zip.
    writeFile(dir.file("c.bin"), "c");
    writeFile(dir.file("c.zip"), "a text file that only looks like an archive");
    ZipWorkList list;
    addFolderToUnzip(dir.path(), list);
    list.add(dir.file("c.bin"));
    addFolderToUnzip(dir.path(), list);  // unpacking twice never overwrites either
    std::vector<ZipStatus> results;
    {
        MultiZipper engine(list,
                          {nullptr, [&](const std::string&, const ZipperResult& r) { results.push_back(r.status); }});
        engine.wait();
    }
    EXPECT_EQ(results.size(), 5u);
    EXPECT_NE(results[2], ZipStatus::Ok);  // c.bin: its archive cannot be opened
    // Every file of the folder but the archive, whole: nothing overwritten, nothing else made.
    auto files = folderFiles(dir.path());
    std::erase_if(files, [](const auto& file) { return file.first == "pack.zip"; });
    EXPECT_EQ(files, (std::vector<std::pair<std::string, std::string>>{
                         {"a (1).bin", "packed a"},
                         {"a (2).bin", "packed a"},
                         {"a.bin", "the user's a.bin"},
                         {"b (1).bin", "the user's b (1).bin"},
                         {"b (2).bin", "packed b"},
                         {"b.bin", "packed b"},
                         {"c.bin", "c"},
                         {"c.zip", "a text file that only looks like an archive"}}));
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

TEST(MultiZipper, AnEntryOfOtherContentIsKeptInTheBackupFolderBeforeItIsReplaced) {
    TempDir dir;
    // Two entries share the name game.bin; neither holds the loose file's data.
    pythonZip(dir.file("game.zip"), "[('game.bin', 'old one'), ('other.bin', 'other'), ('game.bin', 'old two')]");
    writeFile(dir.file("game.bin"), "new");
    const ZipperResult result = runOne(dir.file("game.bin"), dir.file("Backup/"));
    EXPECT_TRUE(result.ok()) << result.failures.front();
    EXPECT_EQ(entryNames(dir.file("game.zip")), (std::vector<std::string>{"other.bin", "game.bin"}));
    EXPECT_EQ(contentOf(dir.file("game.zip"), "game.bin"), "new");
    // One time-stamped run folder holds both replaced entries, each whole.
    const auto runs = folderFiles(dir.file("Backup"));
    ASSERT_EQ(runs.size(), 1u);
    const std::string run = dir.file("Backup/" + runs[0].first);
    EXPECT_EQ(folderFiles(run), (std::vector<std::pair<std::string, std::string>>{{"game (1).bin", "old two"},
                                                                                  {"game.bin", "old one"}}));
    ASSERT_EQ(result.kept.size(), 2u);
    EXPECT_EQ(result.kept[0], "The entry \"game.bin\" of " + dir.file("game.zip") + " was replaced by " +
                                  dir.file("game.bin") + "; the replaced entry was kept as " + run + "/game.bin.");
    EXPECT_NE(result.kept[1].find(run + "/game (1).bin"), std::string::npos);

    // The same content under the same name is simply replaced: nothing kept.
    pythonZip(dir.file("same.zip"), "[('same.bin', 'same data')]");
    writeFile(dir.file("same.bin"), "same data");
    const ZipperResult same = runOne(dir.file("same.bin"), dir.file("Backup/"));
    EXPECT_TRUE(same.ok() && same.kept.empty());
    EXPECT_EQ(folderFiles(run).size(), 2u);
    EXPECT_EQ(entryNames(dir.file("same.zip")), std::vector<std::string>{"same.bin"});
}

TEST(MultiZipper, WithoutABackupFolderOrWhenTheCopyFailsTheArchiveIsLeftAlone) {
    TempDir dir;
    pythonZip(dir.file("game.zip"), "[('game.bin', 'old')]");
    writeFile(dir.file("game.bin"), "new");
    const ZipperResult none = runOne(dir.file("game.bin"), "");
    ASSERT_EQ(none.failures.size(), 1u);
    EXPECT_EQ(none.failures[0], dir.file("game.bin") + " was not zipped into " + dir.file("game.zip") +
                                    ": no backup folder is set to keep the entry it would replace.");
    EXPECT_EQ(contentOf(dir.file("game.zip"), "game.bin"), "old");

    // The backup root sits below a regular file: no folder can be made there.
    writeFile(dir.file("plain"), "a file");
    const ZipperResult blocked = runOne(dir.file("game.bin"), dir.file("plain/Backup"));
    ASSERT_EQ(blocked.failures.size(), 1u);
    EXPECT_NE(blocked.failures[0].find("cannot be made"), std::string::npos);
    EXPECT_EQ(contentOf(dir.file("game.zip"), "game.bin"), "old");

    // The copy into the backup folder cannot be flushed to disk.
    struct FailingSync : FileOps {
        int sync(int) override {
            errno = EIO;
            return -1;
        }
    } failingSync;
    ZipperResult unsynced;
    {
        ScopedFileOps scoped(failingSync);
        unsynced = runOne(dir.file("game.bin"), dir.file("Backup"));
    }
    ASSERT_EQ(unsynced.failures.size(), 1u);
    EXPECT_NE(unsynced.failures[0].find("\"game.bin\" it would replace cannot be kept"), std::string::npos);
    EXPECT_TRUE(unsynced.kept.empty());  // the unsynced copy was removed again
    EXPECT_EQ(contentOf(dir.file("game.zip"), "game.bin"), "old");
}

TEST(MultiZipper, UnzipGoesOnPastEntriesItCannotWriteAndNamesEachOne) {
    TempDir dir;
    const std::string archive = dir.file("pack.zip");
    // Stored, so that one entry's data can be damaged in place.
    ASSERT_EQ(runShell("python3 -W ignore -c \"import zipfile\n"
                       "with zipfile.ZipFile('" + archive + "', 'w') as z:\n"
                       "    for n, d in [('a.bin', 'aaaa'), ('full.bin', 'ffff'), ('bad.bin', 'CORRUPTME'),"
                       " ('sub/..', 'dots'), ('dup.bin', 'one'), ('dup.bin', 'two'), ('d.bin', 'dddd')]:"
                       " z.writestr(n, d)\n"
                       "data = open('" + archive + "', 'rb').read().replace(b'CORRUPTME', b'CORRUPTED')\n"
                       "open('" + archive + "', 'wb').write(data)\""),
              0);
    // Writing full.bin finds the disk full.
    struct DiskFull : FileOps {
        int createNew(const std::string& path) override {
            if (path.find("full.bin") == std::string::npos) return FileOps::createNew(path);
            errno = ENOSPC;
            return -1;
        }
    } diskFull;
    ZipperResult result;
    {
        ScopedFileOps scoped(diskFull);
        result = runOne(archive, "");
    }
    // The entries that could be written, whole, and nothing half-written beside them.
    auto files = folderFiles(dir.path());
    std::erase_if(files, [](const auto& file) { return file.first == "pack.zip"; });
    EXPECT_EQ(files, (std::vector<std::pair<std::string, std::string>>{
                         {"a.bin", "aaaa"}, {"d.bin", "dddd"}, {"dup (1).bin", "two"}, {"dup.bin", "one"}}));
    EXPECT_NE(result.status, ZipStatus::Ok);
    ASSERT_EQ(result.failures.size(), 3u);
    EXPECT_EQ(result.failures[0], "The entry \"full.bin\" of " + archive + " was not unpacked: cannot create a file in " +
                                      dir.path() + ": No space left on device.");
    EXPECT_EQ(result.failures[1],
              "The entry \"bad.bin\" of " + archive +
                  " was not unpacked: its data cannot be read (an entry's data does not match its CRC).");
    EXPECT_EQ(result.failures[2],
              "The entry \"sub/..\" of " + archive + " was not unpacked: its name cannot be a file name.");
}

}  // namespace
}  // namespace quorvane
