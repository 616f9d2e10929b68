#include "archive/zip_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "archive_fixtures.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::folderNames;
using testing::makeZip;
using testing::readFile;
using testing::TempDir;
using testing::zipTool;
using Names = std::vector<std::string>;

void setModified(const std::string& path, time_t when) {
    const struct utimbuf times = {when, when};
    ASSERT_EQ(::utime(path.c_str(), &times), 0);
}

TEST(ZipWriterTest, AddFileCreatesAnArchiveDeflatedAndDatedFromTheSource) {
    TempDir dir;
    const std::string text = testing::mixedDeflatedText();
    testing::writeFile(dir.file("a.txt"), text);
    setModified(dir.file("a.txt"), 1262401262);  // 2010-01-02, an even second
    testing::writeFile(dir.file("b.bin"), "bee");

    ZipWriter zip(dir.file("new.zip"));
    ASSERT_EQ(zip.open(), ZipStatus::Ok);
    ASSERT_EQ(zip.addFile(dir.file("a.txt"), "folder/a.txt"), ZipStatus::Ok);
    ASSERT_EQ(zip.addFile(dir.file("b.bin"), "b.bin"), ZipStatus::Ok);
    ASSERT_EQ(zip.close(), ZipStatus::Ok);

    const std::string zipPath = dir.file("new.zip");
    EXPECT_EQ(testing::runShell("unzip -tqq '" + zipPath + "' >/dev/null"), 0);
    ZipListing info(zipPath);
    ASSERT_EQ(info.count(), 2);
    EXPECT_EQ(info.entry(0).name, "folder/a.txt");
    EXPECT_EQ(info.entry(0).method, 8);
    EXPECT_LT(info.entry(0).compressedSize, text.size() / 4);
    EXPECT_EQ(zipTool("read '" + zipPath + "' folder/a.txt"), testing::sha1Hex(text) + "\n");
    EXPECT_EQ(zipTool("mtime '" + zipPath + "' folder/a.txt"), "1262401262\n");
}

TEST(ZipWriterTest, AddFileReplacesAnEntryOfTheSameNameAndKeepsTheOthers) {
    TempDir dir;
    const std::string zipPath = dir.file("mixed.zip");
    makeZip(zipPath, testing::kMixedEntries);
    const std::string before = zipTool("raw '" + zipPath + "'");
    testing::writeFile(dir.file("new.bin"), "replacement");

    ZipWriter zip(zipPath);
    ASSERT_EQ(zip.open(), ZipStatus::Ok);
    ASSERT_EQ(zip.addFile(dir.file("new.bin"), "game.bin"), ZipStatus::Ok);  // not Game.bin
    ASSERT_EQ(zip.close(), ZipStatus::Ok);

    const std::string after = zipTool("raw '" + zipPath + "'");
    const std::string kept = before.substr(0, before.find("game.bin|"));
    EXPECT_EQ(after.substr(0, kept.size()), kept);
    ZipListing info(zipPath);
    ASSERT_EQ(info.count(), 6);
    EXPECT_EQ(info.entry(5).name, "game.bin");
    EXPECT_EQ(zipTool("read '" + zipPath + "' game.bin"), testing::sha1Hex("replacement") + "\n");
    EXPECT_EQ(zipTool("read '" + zipPath + "' Game.bin"), testing::sha1Hex("upper") + "\n");
    EXPECT_EQ(folderNames(dir.path()), (Names{"mixed.zip", "new.bin"}));
}

TEST(ZipWriterTest, AddFileFillsAnArchiveWithoutEntries) {
    TempDir dir;
    makeZip(dir.file("empty.zip"), "[]");
    testing::writeFile(dir.file("a.txt"), "first");
    ZipWriter zip(dir.file("empty.zip"));
    ASSERT_EQ(zip.open(), ZipStatus::Ok);
    ASSERT_EQ(zip.addFile(dir.file("a.txt"), "a.txt"), ZipStatus::Ok);
    ASSERT_EQ(zip.close(), ZipStatus::Ok);
    EXPECT_EQ(zipTool("read '" + dir.file("empty.zip") + "' a.txt"), testing::sha1Hex("first") + "\n");
}

TEST(ZipWriterTest, MissingSourceLeavesTheArchiveAndItsEntryAlone) {
    TempDir dir;
    const std::string zipPath = dir.file("mixed.zip");
    makeZip(zipPath, testing::kMixedEntries);
    const std::string before = readFile(zipPath);
    ZipWriter zip(zipPath);
    ASSERT_EQ(zip.open(), ZipStatus::Ok);
    EXPECT_EQ(zip.addFile(dir.file("absent.bin"), "game.bin"), ZipStatus::SourceMissing);
    EXPECT_EQ(zip.close(), ZipStatus::Ok);
    EXPECT_EQ(readFile(zipPath), before);
}

TEST(ZipWriterTest, ASourceThatIsNotWhatWasExpectedIsRefused) {
    TempDir dir;
    const std::string zipPath = dir.file("mixed.zip");
    makeZip(zipPath, testing::kMixedEntries);
    const std::string before = readFile(zipPath);
    testing::writeFile(dir.file("new.bin"), "changed since it was identified");
    const ExpectedContent wrongCrc{0x12345678, 31};
    const ExpectedContent wrongSize{0, 5};
    ZipWriter zip(zipPath);
    ASSERT_EQ(zip.open(), ZipStatus::Ok);
    EXPECT_EQ(zip.addFile(dir.file("new.bin"), "game.bin", &wrongCrc), ZipStatus::CrcError);
    EXPECT_EQ(zip.addFile(dir.file("new.bin"), "game.bin", &wrongSize), ZipStatus::CrcError);
    EXPECT_EQ(readFile(zipPath), before);
    EXPECT_EQ(folderNames(dir.path()), (Names{"mixed.zip", "new.bin"}));
}

TEST(ZipWriterTest, OpenNeverTruncatesAFileThatIsNotAZip) {
    TempDir dir;
    testing::writeFile(dir.file("notes.zip"), "precious text, not a zip");
    ZipWriter zip(dir.file("notes.zip"));
    EXPECT_EQ(zip.open(), ZipStatus::Error);
    testing::writeFile(dir.file("a.txt"), "a");
    EXPECT_EQ(zip.addFile(dir.file("a.txt"), "a.txt"), ZipStatus::Error);
    EXPECT_EQ(readFile(dir.file("notes.zip")), "precious text, not a zip");

    ZipWriter nowhere(dir.file("notes.zip/inside.zip"));
    EXPECT_EQ(nowhere.open(), ZipStatus::Error);

    // A damaged archive is an error for the copy, never made anew.
    makeZip(dir.file("cut.zip"), testing::kMixedEntries);
    const std::string whole = readFile(dir.file("cut.zip"));
    testing::writeFile(dir.file("cut.zip"), whole.substr(0, whole.size() - 30));
    ZipWriter cut(dir.file("cut.zip"));
    EXPECT_EQ(cut.addFile(dir.file("a.txt"), "a.txt"), ZipStatus::Error);
    EXPECT_EQ(readFile(dir.file("cut.zip")), whole.substr(0, whole.size() - 30));
    EXPECT_EQ(folderNames(dir.path()), (Names{"a.txt", "cut.zip", "notes.zip"}));
}

// Adding to an existing archive fails at each disk call in turn: the folder
// then holds the old archive byte for byte, or the complete new one, and no
// temporary file, whatever failed.
TEST(ZipWriterTest, AddingSurvivesAFailureAtEveryDiskCall) {
    TempDir dir;
    const std::string zipPath = dir.file("set/mixed.zip");
    makeZip(zipPath, testing::kMixedEntries);
    const std::string original = readFile(zipPath);
    testing::writeFile(dir.file("new.bin"), "replacement");
    auto add = [&](FileOps& ops) {
        ZipWriter zip(zipPath, ops);
        ZipStatus status = zip.open();
        if (status == ZipStatus::Ok) status = zip.addFile(dir.file("new.bin"), "game.bin");
        return status != ZipStatus::Ok ? status : zip.close();
    };
    testing::FailingFileOps counter;
    ASSERT_EQ(add(counter), ZipStatus::Ok);
    const std::string added = zipTool("raw '" + zipPath + "'");
    const int total = counter.calls();
    ASSERT_GT(total, 10);
    int failures = 0;
    for (int n = 1; n <= total; ++n) {
        testing::writeFile(zipPath, original);
        testing::FailingFileOps ops(n);
        const ZipStatus status = add(ops);
        EXPECT_EQ(folderNames(dir.file("set")), (Names{"mixed.zip"})) << "call " << n;
        if (status == ZipStatus::Ok) {
            EXPECT_EQ(zipTool("raw '" + zipPath + "'"), added) << "call " << n;
        } else {
            ++failures;
            EXPECT_EQ(readFile(zipPath), original) << "call " << n << " status " << status;
        }
    }
    // Only the last calls (syncing the folder after the rename) may fail
    // without failing the add.
    EXPECT_GT(failures, total / 2);
}

TEST(ZipWriterTest, FailedWritesAreReportedNotHidden) {
    TempDir dir;
    std::string data(3 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 2654435761u) >> 13);
    testing::writeFile(dir.file("noise.bin"), data);

    testing::FailingFileOps counter;
    {
        ZipWriter zip(dir.file("count.zip"), counter);
        ASSERT_EQ(zip.open(), ZipStatus::Ok);
        ASSERT_EQ(zip.addFile(dir.file("noise.bin"), "noise.bin"), ZipStatus::Ok);
        ASSERT_EQ(zip.close(), ZipStatus::Ok);
    }
    const int total = counter.calls();
    for (int n = 1; n <= total; ++n) {
        const std::string zipPath = dir.file("run" + std::to_string(n) + ".zip");
        testing::FailingFileOps ops(n, ENOSPC);
        ZipWriter zip(zipPath, ops);
        ZipStatus status = zip.open();
        if (status == ZipStatus::Ok) status = zip.addFile(dir.file("noise.bin"), "noise.bin");
        const ZipStatus closeStatus = zip.close();
        if (status == ZipStatus::Ok && closeStatus == ZipStatus::Ok) {
            // Success must mean a sound archive holding the whole file.
            EXPECT_EQ(zipTool("read '" + zipPath + "' noise.bin"), testing::sha1Hex(data) + "\n") << "call " << n;
        }
    }
    // Count the failures that were reported: every write of the data and
    // directory is among them.
    int reported = 0;
    for (int n = 1; n <= total; ++n) {
        testing::FailingFileOps ops(n, ENOSPC);
        ZipWriter zip(dir.file("again.zip"), ops);
        ZipStatus status = zip.open();
        if (status == ZipStatus::Ok) status = zip.addFile(dir.file("noise.bin"), "noise.bin");
        if (zip.close() != ZipStatus::Ok || status != ZipStatus::Ok) ++reported;
        std::remove(dir.file("again.zip").c_str());
    }
    EXPECT_GT(reported, 0);
}

}  // namespace
}  // namespace quorvane
