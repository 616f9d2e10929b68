#include "archive/zip_writer.h"

#include <gtest/gtest.h>
#include <utime.h>

#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "archive_fixtures.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

using ZipWriterTest = MixedZipTest;

ZipStatus addOne(const std::string& zip, const std::string& source, const std::string& name, FileOps& ops = fileOps()) {
    ZipWriter writer(zip, ops);
    ZipStatus status = writer.open();
    if (status == ZipStatus::Ok) status = writer.addFile(source, name);
    return status != ZipStatus::Ok ? status : writer.close();
}

TEST_F(ZipWriterTest, AddFileCreatesAnArchiveDeflatedAndDatedFromTheSource) {
    const std::string text = mixedDeflatedText(), made = dir.file("new.zip");
    writeFile(dir.file("a.txt"), text);
    const struct utimbuf times = {1262401262, 1262401262};  // 2010-01-02, an even second
    ASSERT_EQ(::utime(dir.file("a.txt").c_str(), &times), 0);
    ASSERT_EQ(addOne(made, dir.file("a.txt"), "folder/a.txt"), ZipStatus::Ok);
    EXPECT_EQ(runShell("unzip -tqq '" + made + "' >/dev/null"), 0);
    ZipListing info(made);
    ASSERT_EQ(info.count(), 1);
    EXPECT_EQ(info.entry(0).method, 8);
    EXPECT_LT(info.entry(0).compressedSize, text.size() / 4);
    EXPECT_EQ(readHash(made, "folder/a.txt"), fileHash(dir.file("a.txt")));
    EXPECT_EQ(zipTool("mtime '" + made + "' folder/a.txt"), "1262401262\n");
}

// A source that is gone or not what was identified, a file that is not a zip,
// a damaged archive, a path under a file: the archive stays as it was.
TEST_F(ZipWriterTest, RefusedSourcesAndArchivesLeaveEverythingAsItWas) {
    const std::string before = readFile(zip);
    writeFile(dir.file("new.bin"), "changed since it was identified");
    const ExpectedContent wrongCrc{0x12345678, 31}, wrongSize{0, 5};
    ZipWriter writer(zip);
    ASSERT_EQ(writer.open(), ZipStatus::Ok);
    EXPECT_EQ(writer.addFile(dir.file("absent.bin"), "game.bin"), ZipStatus::SourceMissing);
    EXPECT_EQ(writer.addFile(dir.file("new.bin"), "game.bin", &wrongCrc), ZipStatus::CrcError);
    EXPECT_EQ(writer.addFile(dir.file("new.bin"), "game.bin", &wrongSize), ZipStatus::CrcError);
    EXPECT_EQ(writer.close(), ZipStatus::Ok);
    EXPECT_EQ(readFile(zip), before);

    writeFile(out + "/notes.zip", "precious text, not a zip");
    writeFile(out + "/cut.zip", before.substr(0, before.size() - 30));
    for (const char* name : {"notes.zip", "cut.zip", "notes.zip/inside.zip"}) {
        const std::string target = out + "/" + name, was = readFile(target);
        EXPECT_EQ(addOne(target, dir.file("new.bin"), "a.txt"), ZipStatus::Error) << name;
        EXPECT_EQ(readFile(target), was) << name;
    }
    EXPECT_EQ(folderNames(out), (Names{"cut.zip", "notes.zip"}));
    EXPECT_EQ(folderNames(dir.file("set")), Names{"mixed.zip"});
}

// Adding a file of several megabytes in place of game.bin (not Game.bin) keeps
// the other entries byte for byte and in order, the new one last. It fails at
// each disk call in turn: the folder then holds the old archive byte for
// byte, or the complete new one, and no temporary file; a failed write is
// never hidden behind an Ok.
TEST_F(ZipWriterTest, AddingSurvivesAFailureAtEveryDiskCall) {
    const std::string original = readFile(zip), kept = rawWithout(zip, "game.bin");
    writeFile(dir.file("noise.bin"), noise(3 << 20, 11));
    ASSERT_EQ(addOne(zip, dir.file("noise.bin"), "game.bin"), ZipStatus::Ok);
    const std::string added = zipTool("raw '" + zip + "'");
    EXPECT_EQ(rawWithout(zip, "game.bin"), kept);
    EXPECT_EQ(entryNames(zip),
              (Names{"stored.bin", "deflated.txt", "empty.bin", "dir/sub/inner.bin", "Game.bin", "game.bin"}));
    ASSERT_EQ(readHash(zip, "game.bin"), fileHash(dir.file("noise.bin")));
    const auto [calls, failures] = failEachCall(
        [&] {
            writeFile(zip, original);
            return addOne(zip, dir.file("noise.bin"), "game.bin");
        },
        [&](int n, ZipStatus status) {
            EXPECT_EQ(folderNames(dir.file("set")), (Names{"mixed.zip"})) << "call " << n;
            EXPECT_EQ(status == ZipStatus::Ok ? zipTool("raw '" + zip + "'") : readFile(zip),
                      status == ZipStatus::Ok ? added : original)
                << "call " << n << " status " << status;
        },
        ENOSPC);
    // Only the last calls (syncing the folder after the rename) may fail
    // without failing the add.
    EXPECT_GT(failures, calls / 2);
}

}  // namespace
}  // namespace quorvane::testing
