#include "archive/zip_update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "archive/archive_bytes.h"
#include "archive/plain_deflate.h"
#include "archive/zip_image.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "archive_fixtures.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {


// Counts the calls that make, name and flush files.
class CountingFileOps : public FailingFileOps {
public:
    CountingFileOps(int failAt = 0) : FailingFileOps(failAt) {}
    int created = 0, renamed = 0, synced = 0, foldersSynced = 0, writes = 0, opened = 0;
    using FailingFileOps::openRead;
    int openRead(const std::string& p, const ReadOpen& h) override {
        ++opened;
        return FailingFileOps::openRead(p, h);
    }
    ssize_t writeAt(int fd, const void* b, size_t n, uint64_t o) override {
        ++writes;
        return FailingFileOps::writeAt(fd, b, n, o);
    }
    int createNew(const std::string& p) override {
        ++created;
        return FailingFileOps::createNew(p);
    }
    int rename(const std::string& a, const std::string& b) override {
        ++renamed;
        return FailingFileOps::rename(a, b);
    }
    int renameNoReplace(const std::string& a, const std::string& b) override {
        ++renamed;
        return FailingFileOps::renameNoReplace(a, b);
    }
    int sync(int fd) override {
        ++synced;
        return FailingFileOps::sync(fd);
    }
    int syncFolder(const std::string& f) override {
        ++foldersSynced;
        return FailingFileOps::syncFolder(f);
    }
};

// `bytes` deflated ahead, as a prepared entry would be.
DeflatedData deflatedOf(const std::string& bytes) {
    DeflatedData out{.crc32 = zipCrc32(bytes.data(), bytes.size()), .size = bytes.size(), .dosDate = 0x406428C4};
    EXPECT_TRUE(deflateWhole(bytes.data(), bytes.size(), out.bytes));
    return out;
}

std::string rawLine(const std::string& zip, const std::string& name) {
    const std::string raw = zipTool("raw '" + zip + "'");
    const size_t at = raw.find(name + "|");
    return at == std::string::npos ? std::string() : raw.substr(at, raw.find('\n', at) - at);
}

class ZipUpdateTest : public MixedZipTest {
protected:
    ZipUpdateTest() {
        std::filesystem::create_directories(dir.file("from"));
        makeZip(source, R"([{"name": "moved.txt", "data": ")" + mixedDeflatedText() +
                            R"(", "method": 8, "date": [2012, 3, 4, 5, 6, 8]},
                           {"name": "plain.bin", "data": "stored bytes", "method": 0}])");
        writeFile(dir.file("noise.bin"), noise(3 << 20, 7));
        writeFile(dir.file("text.txt"), mixedDeflatedText() + "and more");
    }
    EntryKey keyIn(const std::string& archive, const std::string& name) {
        const ZipListing listing(archive);
        const int at = listing.find(name);
        EXPECT_GE(at, 0) << name;
        const ZipEntry& e = listing.entry(at);
        return {e.name, e.crc32, e.uncompressedSize};
    }
    // One of each kind of addition, game.bin replacing its namesake.
    void addFourKinds(ZipUpdate& update) {
        update.addFile(dir.file("noise.bin"), "game.bin");
        update.addDeflated("text.txt", deflatedOf(readFile(dir.file("text.txt"))));
        update.addEntryOf(source, keyIn(source, "moved.txt"), "moved.txt");
        update.addEntryOf(source, keyIn(source, "plain.bin"), "dir/plain.bin");
    }
    const std::string source = dir.file("from/source.zip");
};

// Four additions of four kinds make one new archive, one rename: the kept
// entries byte for byte and in order, then the additions; a deflated entry
// of another zip keeps its compressed bytes and date, a stored one is
// deflated anew. unzip reads every entry back.
TEST_F(ZipUpdateTest, ManyAdditionsMakeOneNewVersionOfTheArchive) {
    const std::string kept = rawWithout(zip, "game.bin");
    ZipUpdate update(zip);
    addFourKinds(update);
    CountingFileOps ops;
    ASSERT_EQ(update.commit(ops), ZipStatus::Ok);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(update.result(i), ZipStatus::Ok) << i;
    EXPECT_EQ(std::tie(ops.created, ops.renamed), std::tuple(1, 1));
    EXPECT_EQ(runShell("unzip -tqq '" + zip + "' >/dev/null"), 0);
    const std::string raw = zipTool("raw '" + zip + "'");
    EXPECT_EQ(raw.substr(0, kept.size()), kept);
    const ZipListing listing(zip);
    ASSERT_EQ(listing.count(), 9);
    EXPECT_EQ(listing.entry(5).name, "game.bin");
    EXPECT_EQ(readHash(zip, "game.bin"), fileHash(dir.file("noise.bin")));
    EXPECT_EQ(readHash(zip, "text.txt"), fileHash(dir.file("text.txt")));
    EXPECT_LT(listing.entry(6).compressedSize, listing.entry(6).uncompressedSize / 4);
    EXPECT_EQ(rawLine(zip, "moved.txt"), rawLine(source, "moved.txt"));
    EXPECT_EQ(listing.entry(8).method, 8);
    EXPECT_EQ(zipTool("read '" + zip + "' dir/plain.bin"), zipTool("read '" + source + "' plain.bin"));
    EXPECT_EQ(folderNames(dir.file("set")), Names{"mixed.zip"});
}

// Additions whose source is gone, not what was expected, or no longer in its
// zip are left out; the rest is written and the entry a refused addition
// was to replace stays. When nothing is left to add, nothing is written.
TEST_F(ZipUpdateTest, ARefusedAdditionIsLeftOutAndKeepsTheEntryItWasToReplace) {
    const std::string deflatedLine = rawLine(zip, "deflated.txt");
    ZipUpdate update(zip);
    update.addFile(dir.file("absent.bin"), "absent.bin");
    update.addFile(dir.file("text.txt"), "deflated.txt", ExpectedContent{0x12345678, 3208});
    EntryKey changed = keyIn(source, "moved.txt");
    changed.crc32 ^= 1;
    update.addEntryOf(source, changed, "moved.txt");
    update.addFile(dir.file("text.txt"), "added.txt");
    ASSERT_EQ(update.commit(), ZipStatus::Ok);
    EXPECT_EQ(std::tuple(update.result(0), update.result(1), update.result(2), update.result(3)),
              std::tuple(ZipStatus::SourceMissing, ZipStatus::CrcError, ZipStatus::EntryGone, ZipStatus::Ok));
    const Names names = entryNames(zip);
    ASSERT_EQ(names.size(), 7u);
    EXPECT_EQ(names[6], "added.txt");
    EXPECT_EQ(rawLine(zip, "deflated.txt"), deflatedLine);

    const std::string written = readFile(zip);
    ZipUpdate refused(zip);
    refused.addFile(dir.file("absent.bin"), "game.bin");
    CountingFileOps ops;
    EXPECT_EQ((std::tuple{refused.commit(ops), refused.result(0), ops.renamed}),
              std::tuple(ZipStatus::Ok, ZipStatus::SourceMissing, 0));
    EXPECT_EQ(readFile(zip), written);

    writeFile(out + "/notes.zip", "precious text, not a zip");
    ZipUpdate notAZip(out + "/notes.zip");
    notAZip.addFile(dir.file("text.txt"), "a.txt");
    EXPECT_EQ((std::tuple{notAZip.commit(), notAZip.result(0)}), std::tuple(ZipStatus::Error, ZipStatus::Error));
    EXPECT_EQ(readFile(out + "/notes.zip"), "precious text, not a zip");
    EXPECT_EQ(folderNames(out), Names{"notes.zip"});
    EXPECT_EQ(folderNames(dir.file("set")), Names{"mixed.zip"});
}

// The new version of an archive that holds a user's files is flushed, and
// its folder after the rename; a new archive, or one holding only copies,
// is not: a power cut can then cost nothing that exists nowhere else.
TEST_F(ZipUpdateTest, OnlyAnArchiveThatReplacesAUsersFilesIsSynced) {
    const auto syncsOf = [&](const std::string& path, ArchiveHolds holds) {
        ZipUpdate update(path);
        update.addFile(dir.file("text.txt"), "added.txt");
        CountingFileOps ops;
        EXPECT_EQ(update.commit(ops, holds), ZipStatus::Ok);
        return std::to_string(ops.synced) + " " + std::to_string(ops.foldersSynced);
    };
    EXPECT_EQ(syncsOf(out + "/new.zip", ArchiveHolds::UserFiles), "0 0");
    EXPECT_EQ(syncsOf(out + "/new.zip", ArchiveHolds::CopiesOnly), "0 0");
    EXPECT_EQ(syncsOf(zip, ArchiveHolds::UserFiles), "1 1");
}

// The whole update fails at each disk call in turn: the folder then holds
// the old archive byte for byte, the complete new one, or (when the call
// failing reads a source) the new one without that addition; never a
// temporary file, and a failed write is never hidden behind an Ok.
TEST_F(ZipUpdateTest, CommitSurvivesAFailureAtEveryDiskCall) {
    const std::string original = readFile(zip), kept = rawWithout(zip, "game.bin");
    std::string complete;
    int refusals = 0;
    bool partial = false;
    const auto [calls, failures] = failEachCall(
        [&] {
            writeFile(zip, original);
            ZipUpdate update(zip);
            addFourKinds(update);
            const ZipStatus status = update.commit();
            partial = false;
            for (size_t i = 0; status == ZipStatus::Ok && i < update.count(); ++i)
                partial = partial || update.result(i) != ZipStatus::Ok;
            if (complete.empty() && status == ZipStatus::Ok) complete = zipTool("raw '" + zip + "'");
            return partial ? ZipStatus::SourceMissing : status;
        },
        [&](int call, ZipStatus status) {
            EXPECT_EQ(folderNames(dir.file("set")), Names{"mixed.zip"}) << "call " << call;
            if (partial) {
                ++refusals;
                EXPECT_EQ(runShell("unzip -tqq '" + zip + "' >/dev/null"), 0) << "call " << call;
                EXPECT_EQ(zipTool("raw '" + zip + "'").substr(0, kept.size()), kept) << "call " << call;
                EXPECT_NE(zipTool("raw '" + zip + "'"), complete) << "call " << call;
            } else if (status == ZipStatus::Ok) {
                EXPECT_EQ(zipTool("raw '" + zip + "'"), complete) << "call " << call;
            } else {
                EXPECT_EQ(readFile(zip), original) << "call " << call << " status " << status;
            }
        });
    EXPECT_GT(refusals, 0);
    EXPECT_GT(failures, calls / 2);
}

// An entry renamed within its archive: added from the archive itself under
// the new name and left out under the old one, in one new version; of two
// identical entries only the first leaves. An addition that cannot be taken
// leaves nothing out.
TEST_F(ZipUpdateTest, AnEntryRenamedWithinItsArchiveTakesOneNewVersion) {
    const std::string twins = dir.file("set/twins.zip");
    makeZip(twins, R"([{"name": "a.bin", "data": "same bytes"}, {"name": "a.bin", "data": "same bytes"},
                       {"name": "b.bin", "data": "other bytes"}])");
    const EntryKey key = keyIn(twins, "a.bin");
    ZipUpdate update(twins);
    update.addEntryOf(twins, key, "c.bin");
    update.leaveOut(key);
    CountingFileOps ops;
    ASSERT_EQ(update.commit(ops), ZipStatus::Ok);
    EXPECT_EQ(std::tuple(update.result(0), ops.renamed, ops.synced), std::tuple(ZipStatus::Ok, 1, 1));
    EXPECT_EQ(entryNames(twins), (Names{"a.bin", "b.bin", "c.bin"}));
    EXPECT_EQ(zipTool("read '" + twins + "' c.bin"), zipTool("read '" + twins + "' a.bin"));

    const std::string before = fileHash(twins);
    ZipUpdate gone(twins);
    gone.addEntryOf(twins, {"a.bin", 0x1234, 5}, "d.bin");
    gone.leaveOut(keyIn(twins, "b.bin"));
    EXPECT_EQ((std::tuple{gone.commit(), gone.result(0)}), std::tuple(ZipStatus::Ok, ZipStatus::EntryGone));
    EXPECT_EQ(fileHash(twins), before);
}

// The same rename with the archive's bytes read already writes the same
// archive without opening it again. Those bytes serve one commit: a second
// reads the archive as it is by then (from the old bytes it would keep the
// twin it leaves out and write four entries).
TEST_F(ZipUpdateTest, ARenameFromBytesReadAlreadyWritesWhatOneFromTheFileWrites) {
    const std::string copy = dir.file("set/copy.zip");
    writeFile(copy, readFile(zip));
    const EntryKey key = keyIn(zip, "game.bin");
    const Names before = entryNames(zip);
    ArchiveBytes bytes(copy, fileOps(), ArchivePart::Whole);
    ASSERT_TRUE(bytes.whole());
    ZipUpdate fromFile(zip), fromBytes(copy);
    fromBytes.readFrom(bytes);
    for (ZipUpdate* update : {&fromFile, &fromBytes}) {
        update->addEntryOf(update->path(), key, "renamed.bin");
        update->leaveOut(key);
    }
    CountingFileOps fileOpens, bytesOpens;
    ASSERT_EQ(fromFile.commit(fileOpens), ZipStatus::Ok);
    ASSERT_EQ(fromBytes.commit(bytesOpens), ZipStatus::Ok);
    EXPECT_EQ(std::tuple(fromFile.result(0), fromBytes.result(0)), std::tuple(ZipStatus::Ok, ZipStatus::Ok));
    EXPECT_EQ(std::tuple(fileOpens.opened, bytesOpens.opened), std::tuple(1, 0));
    EXPECT_EQ(fileHash(copy), fileHash(zip));
    EXPECT_EQ(runShell("unzip -tqq '" + copy + "' >/dev/null"), 0);
    Names renamed = before;
    std::replace(renamed.begin(), renamed.end(), std::string("game.bin"), std::string("renamed.bin"));
    std::sort(renamed.begin(), renamed.end());
    Names after = entryNames(copy);
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, renamed);

    const std::string twins = dir.file("set/twins.zip");
    makeZip(twins, R"([{"name": "a.bin", "data": "same bytes"}, {"name": "a.bin", "data": "same bytes"},
                       {"name": "b.bin", "data": "other bytes"}])");
    const EntryKey twin = keyIn(twins, "a.bin");
    ArchiveBytes twinBytes(twins, fileOps(), ArchivePart::Whole);
    ZipUpdate update(twins);
    update.readFrom(twinBytes);
    update.addEntryOf(twins, twin, "c.bin");
    update.leaveOut(twin);
    ASSERT_EQ(update.commit(), ZipStatus::Ok);
    EXPECT_EQ(entryNames(twins), (Names{"a.bin", "b.bin", "c.bin"}));
    CountingFileOps again;
    ASSERT_EQ(update.commit(again), ZipStatus::Ok);
    EXPECT_EQ(entryNames(twins), (Names{"b.bin", "c.bin"}));
    EXPECT_GE(again.opened, 1);
}

// A new archive of entries deflated ahead is written in one piece: one
// file made, one write, one rename that replaces nothing. It reads back
// whole, an empty entry and a stream's option bits included, and tells that
// it made the archive; adding to it afterwards rewrites it as any other.
// Random bytes around a compressible middle are deflated.
TEST_F(ZipUpdateTest, ANewArchiveOfDeflatedEntriesIsWrittenInOneWrite) {
    std::string mixed = noise(20000, 3);
    while (mixed.size() < 60000) mixed += mixedDeflatedText();
    mixed += noise(20000, 4);
    writeFile(dir.file("mixed.bin"), mixed);
    DeflatedData text = deflatedOf(readFile(dir.file("text.txt"))), empty = deflatedOf("");
    const DeflatedData noisy = deflatedOf(readFile(dir.file("noise.bin"))), mixedData = deflatedOf(mixed);
    // Nothing grows past stored blocks' five bytes in 64 KiB.
    EXPECT_LE(noisy.bytes.size(), noisy.size + noisy.size / 10000);
    EXPECT_LT(mixedData.bytes.size(), mixed.size() * 3 / 4);
    text.optionBits = 0x0002;
    const std::string fresh = out + "/fresh.zip";
    ZipUpdate update(fresh);
    update.addDeflated("text.txt", text);
    update.addDeflated("dir/empty.bin", empty);
    update.addDeflated("noise.bin", noisy);
    update.addDeflated("mixed.bin", mixedData);
    CountingFileOps ops;
    ASSERT_EQ(update.commit(ops), ZipStatus::Ok);
    EXPECT_TRUE(update.created());
    EXPECT_EQ(std::tuple(ops.created, ops.writes, ops.renamed, ops.synced + ops.foldersSynced), std::tuple(1, 1, 1, 0));
    EXPECT_EQ(folderNames(out), Names{"fresh.zip"});
    EXPECT_EQ(runShell("unzip -tqq '" + fresh + "' >/dev/null"), 0);
    const ZipListing listing(fresh);
    ASSERT_EQ(listing.count(), 4);
    EXPECT_EQ(listing.entry(1).name, "dir/empty.bin");
    EXPECT_EQ(listing.entry(1).uncompressedSize, 0u);
    EXPECT_EQ(listing.entry(0).flag & 0x0006, 0x0002u);
    EXPECT_EQ(listing.entry(0).dosDate, text.dosDate);
    EXPECT_EQ(readHash(fresh, "text.txt"), fileHash(dir.file("text.txt")));
    EXPECT_EQ(readHash(fresh, "noise.bin"), fileHash(dir.file("noise.bin")));
    EXPECT_EQ(readHash(fresh, "mixed.bin"), fileHash(dir.file("mixed.bin")));

    ZipUpdate more(fresh);
    more.addDeflated("more.txt", text);
    ASSERT_EQ(more.commit(), ZipStatus::Ok);
    EXPECT_FALSE(more.created());
    EXPECT_EQ(ZipListing(fresh).count(), 5);
    EXPECT_EQ(readHash(fresh, "noise.bin"), fileHash(dir.file("noise.bin")));
}

// Writing a new archive in one piece fails at each of its disk calls in
// turn: the folder then holds nothing, or the complete archive when the
// run says Ok, never a temporary file. A file that takes the archive's name
// meanwhile is never replaced.
TEST_F(ZipUpdateTest, ANewArchiveWrittenInOnePieceSurvivesEveryFailure) {
    const DeflatedData text = deflatedOf(readFile(dir.file("text.txt")));
    const std::string fresh = out + "/fresh.zip";
    const auto attempt = [&](FileOps& ops) {
        ZipUpdate update(fresh);
        update.addDeflated("a.txt", text);
        update.addDeflated("b.txt", text);
        const ZipStatus status = update.commit(ops);
        EXPECT_EQ(update.result(1), status);
        return status;
    };
    FailingFileOps counter;
    ASSERT_EQ(attempt(counter), ZipStatus::Ok);
    const std::string complete = readFile(fresh);
    ASSERT_GE(counter.calls(), 4);
    for (int n = 1; n <= counter.calls(); ++n) {
        std::filesystem::remove(fresh);
        FailingFileOps ops(n);
        const ZipStatus status = attempt(ops);
        if (status == ZipStatus::Ok) {
            EXPECT_EQ(readFile(fresh), complete) << "call " << n;
        } else {
            EXPECT_EQ(folderNames(out), Names{}) << "call " << n;
        }
    }

    // Another program writes the name between the look and the rename.
    class Intruder : public FileOps {
    public:
        explicit Intruder(std::string path) : path_(std::move(path)) {}
        int createNew(const std::string& p) override {
            writeFile(path_, "someone's file");
            return FileOps::createNew(p);
        }

    private:
        std::string path_;
    };
    std::filesystem::remove(fresh);
    Intruder intruder(fresh);
    EXPECT_EQ(attempt(intruder), ZipStatus::CannotReplace);
    EXPECT_EQ(readFile(fresh), "someone's file");
    EXPECT_EQ(folderNames(out), Names{"fresh.zip"});
}

// An entry that would need ZIP64 fields is refused and leaves the image as
// it was, so the caller can write the archive another way.
TEST(ZipImageTest, AnEntryPastPlainZipLimitsIsRefusedWithoutATrace) {
    DeflatedData small{.bytes = std::string("\x03\x00", 2), .crc32 = 0, .size = 0};
    ZipImage image;
    ASSERT_TRUE(image.add("a", small));
    const std::string oneEntry = ZipImage(image).finish();
    DeflatedData huge = small;
    huge.size = 0x100000000ull;
    EXPECT_FALSE(image.add("b", huge));
    EXPECT_FALSE(image.add(std::string(0x10000, 'n'), small));
    EXPECT_EQ(image.count(), 1u);
    EXPECT_EQ(image.finish(), oneEntry);
}

}  // namespace
}  // namespace quorvane::testing
