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
using ZipWriterMixedTest = testing::MixedZipTest;

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

TEST_F(ZipWriterMixedTest, AddFileReplacesAnEntryOfTheSameNameAndKeepsTheOthers) {
    const std::string kept = testing::rawWithout(zip, "game.bin");
    testing::writeFile(dir.file("new.bin"), "replacement");
    ZipWriter writer(zip);
    ASSERT_EQ(writer.open(), ZipStatus::Ok);
    ASSERT_EQ(writer.addFile(dir.file("new.bin"), "game.bin"), ZipStatus::Ok);  // not Game.bin
    ASSERT_EQ(writer.close(), ZipStatus::Ok);

    // The others byte for byte and in order, the new one last.
    EXPECT_EQ(testing::rawWithout(zip, "game.bin"), kept);
    ZipListing info(zip);
    ASSERT_EQ(info.count(), 6);
    EXPECT_EQ(info.entry(5).name, "game.bin");
    EXPECT_EQ(zipTool("read '" + zip + "' game.bin"), testing::sha1Hex("replacement") + "\n");
    EXPECT_EQ(zipTool("read '" + zip + "' Game.bin"), testing::sha1Hex("upper") + "\n");
    EXPECT_EQ(folderNames(dir.file("set")), Names{"mixed.zip"});
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

// A source that is gone, or is not what was identified, leaves the archive as it was.
TEST_F(ZipWriterMixedTest, AMissingOrChangedSourceIsRefused) {
    const std::string before = readFile(zip);
    testing::writeFile(dir.file("new.bin"), "changed since it was identified");
    const ExpectedContent wrongCrc{0x12345678, 31};
    const ExpectedContent wrongSize{0, 5};
    ZipWriter writer(zip);
    ASSERT_EQ(writer.open(), ZipStatus::Ok);
    EXPECT_EQ(writer.addFile(dir.file("absent.bin"), "game.bin"), ZipStatus::SourceMissing);
    EXPECT_EQ(writer.addFile(dir.file("new.bin"), "game.bin", &wrongCrc), ZipStatus::CrcError);
    EXPECT_EQ(writer.addFile(dir.file("new.bin"), "game.bin", &wrongSize), ZipStatus::CrcError);
    EXPECT_EQ(writer.close(), ZipStatus::Ok);
    EXPECT_EQ(readFile(zip), before);
    EXPECT_EQ(folderNames(dir.file("set")), Names{"mixed.zip"});
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
TEST_F(ZipWriterMixedTest, AddingSurvivesAFailureAtEveryDiskCall) {
    const std::string original = readFile(zip);
    testing::writeFile(dir.file("new.bin"), "replacement");
    auto add = [&](FileOps& ops) {
        ZipWriter writer(zip, ops);
        ZipStatus status = writer.open();
        if (status == ZipStatus::Ok) status = writer.addFile(dir.file("new.bin"), "game.bin");
        return status != ZipStatus::Ok ? status : writer.close();
    };
    testing::FailingFileOps counter;
    ASSERT_EQ(add(counter), ZipStatus::Ok);
    const std::string added = zipTool("raw '" + zip + "'");
    const int total = counter.calls();
    ASSERT_GT(total, 10);
    int failures = 0;
    for (int n = 1; n <= total; ++n) {
        testing::writeFile(zip, original);
        testing::FailingFileOps ops(n);
        const ZipStatus status = add(ops);
        EXPECT_EQ(folderNames(dir.file("set")), (Names{"mixed.zip"})) << "call " << n;
        if (status == ZipStatus::Ok) {
            EXPECT_EQ(zipTool("raw '" + zip + "'"), added) << "call " << n;
        } else {
            ++failures;
            EXPECT_EQ(readFile(zip), original) << "call " << n << " status " << status;
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
    // Success must mean a sound archive holding the whole file; the failed
    // writes of the data and directory are among those reported.
    const int total = counter.calls();
    int reported = 0;
    for (int n = 1; n <= total; ++n) {
        const std::string zipPath = dir.file("run" + std::to_string(n) + ".zip");
        testing::FailingFileOps ops(n, ENOSPC);
        ZipWriter zip(zipPath, ops);
        ZipStatus status = zip.open();
        if (status == ZipStatus::Ok) status = zip.addFile(dir.file("noise.bin"), "noise.bin");
        if (zip.close() != ZipStatus::Ok || status != ZipStatus::Ok) ++reported;
        else EXPECT_EQ(zipTool("read '" + zipPath + "' noise.bin"), testing::sha1Hex(data) + "\n") << "call " << n;
    }
    EXPECT_GT(reported, 0);
}

}  // namespace
}  // namespace quorvane
