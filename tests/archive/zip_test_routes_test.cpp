// ZipListing lists and tests most archives without minizip (a plain directory
// read, libdeflate's whole-buffer inflate) and the rest with it. Whatever
// the route, an archive must list and test exactly as minizip alone, entry
// after entry, lists and tests it: the same rows, the same first failing
// status.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <random>

#include "archive/archive_bytes.h"
#include "archive/empty_zip.h"
#include "archive/minizip_io.h"
#include "archive/plain_directory.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "archive_fixtures.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

std::string row(const ZipEntry& e) {
    return e.name + "|" + e.crc + "|" + e.size + "|" + std::to_string(e.compressedSize) + "|" +
           std::to_string(e.method) + "|" + std::to_string(e.flag) + "|" + std::to_string(e.dosDate) + "|" +
           (e.readDirectly ? "z64" : "");
}

struct Reference {
    ZipStatus listStatus = ZipStatus::Ok;
    std::vector<std::string> rows;
    ZipStatus testStatus = ZipStatus::Ok;
};

// Walks every entry from the first, reading its data too when asked; the
// status that ended the walk.
ZipStatus walk(const ZipSource& source, bool readData, std::vector<std::string>* rows = nullptr) {
    ZipStatus status = fromMinizip(unzGoToFirstFile(source.zip));
    for (; status == ZipStatus::Ok; status = fromMinizip(unzGoToNextFile(source.zip))) {
        ZipEntry e;
        if ((status = readCurrentEntryInfo(source, e)) != ZipStatus::Ok) break;
        const auto skip = [](const char*, size_t) { return true; };
        if (readData && (status = readCurrentEntryData(source, e, skip)) != ZipStatus::Ok) break;
        if (rows) rows->push_back(row(e));
    }
    return status;
}

// minizip alone, as the layer worked before it had quicker routes.
Reference minizipReference(const std::string& path) {
    Reference ref;
    unzFile zip = openUnzip(path, fileOps());
    if (zip == nullptr) {
        // minizip says "not a zip" of a path that names nothing too; the
        // layer tells that case apart.
        const bool empty = isEmptyZip(path, fileOps());
        const ZipStatus refused = std::filesystem::exists(path) ? ZipStatus::ParamError : ZipStatus::FileNotFound;
        return {empty ? ZipStatus::Ok : refused, {}, empty ? ZipStatus::EndOfList : refused};
    }
    const ZipSource source{zip, path, fileOps()};
    unz_global_info64 global{};
    ZipStatus status = fromMinizip(unzGetGlobalInfo64(zip, &global));
    if (status == ZipStatus::Ok && global.number_entry > 0) {
        status = walk(source, false, &ref.rows);
        if (status == ZipStatus::EndOfList)
            status = ref.rows.size() == global.number_entry ? ZipStatus::Ok : ZipStatus::BadZipFile;
    }
    if (status != ZipStatus::Ok) ref.rows.clear();
    ref.listStatus = status;
    ref.testStatus = walk(source, true);
    unzClose(zip);
    return ref;
}

std::vector<std::string> rowsOf(const ZipListing& info) {
    std::vector<std::string> rows;
    for (const ZipEntry& e : info.entries()) rows.push_back(row(e));
    return rows;
}

// Every way of asking ZipListing must match the reference.
void expectSameAsMinizip(const std::string& path, bool sound) {
    SCOPED_TRACE(std::filesystem::path(path).filename().string());
    const Reference ref = minizipReference(path);
    EXPECT_EQ(zipTestPassed(ref.testStatus), sound) << ref.testStatus;

    const ZipListing listed(path);
    EXPECT_EQ(listed.listStatus(), ref.listStatus);
    EXPECT_EQ(rowsOf(listed), ref.rows);
    EXPECT_EQ(listed.testZip(), ref.testStatus);

    const ZipListing tested(path, fileOps(), ZipRead::ListAndTest);
    EXPECT_EQ(tested.testZip(), ref.testStatus);
    // A failed test says nothing about the listing's own status, but the
    // rows of a sound archive are its rows.
    if (zipTestPassed(ref.testStatus)) {
        EXPECT_EQ(tested.listStatus(), ref.listStatus);
        EXPECT_EQ(rowsOf(tested), ref.rows);
    }
}

// True when the quick directory reader accepts the file (read whole).
bool bytesReadAsPlain(const std::string& bytes) {
    PlainDirectory directory;
    return readPlainDirectory(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), bytes.size(),
                              directory);
}

bool readsAsPlain(const std::string& path) { return bytesReadAsPlain(readFile(path)); }

std::string randomText(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string s(size, '\0');
    for (char& c : s) c = static_cast<char>('a' + random() % 26);
    return s;
}

const char* const kThreeKinds = R"([{"name": "a.bin", "data": "stored bytes", "method": 0},
                                    {"name": "b.txt", "size": 70000, "method": 8},
                                    {"name": "empty.bin", "data": "", "method": 8}])";

// A temporary folder holding kinds.zip (kThreeKinds).
class ZipTestRoutesTest : public ::testing::Test {
protected:
    ZipTestRoutesTest() { makeZip(dir.file("kinds.zip"), kThreeKinds); }
    TempDir dir;
};

TEST_F(ZipTestRoutesTest, SoundArchivesOfEveryLayoutMatchMinizip) {
    makeZip(dir.file("mixed.zip"), kMixedEntries);
    writeFile(dir.file("kinds.json"), kThreeKinds);
    zipTool("stream '" + dir.file("described.zip") + "' '" + dir.file("kinds.json") + "'");
    writeFile(dir.file("one.txt"), mixedDeflatedText());
    writeFile(dir.file("two.bin"), randomText(5000, 1));
    ASSERT_EQ(runShell("cd '" + dir.path() + "' && zip -q info.zip one.txt two.bin && zip -q -fz z64.zip one.txt two.bin"
                                " && echo a comment | zip -q -z commented.zip one.txt two.bin"), 0);
    // Bytes in front of the archive, as a self-extractor has: minizip
    // shifts every offset by them.
    writeFile(dir.file("prefixed.zip"), "MZ a program stub\n" + readFile(dir.file("info.zip")));
    // A ZIP64 locator signature inside an entry's data.
    makeZip(dir.file("signature.zip"), R"([{"name": "s.bin", "data": "xxPK\u0006\u0007xx", "method": 0}])");
    makeZip(dir.file("empty.zip"), "[]");

    // zlib.crc32(b"rom347") == 0x00bccf1a: leading zeros kept, uppercase.
    EXPECT_EQ(ZipListing(dir.file("mixed.zip")).entry(0).crc, "00BCCF1A");
    for (const char* name : {"mixed.zip", "kinds.zip", "described.zip", "info.zip"}) {
        EXPECT_TRUE(readsAsPlain(dir.file(name))) << name;
        expectSameAsMinizip(dir.file(name), true);
    }
    for (const char* name : {"z64.zip", "commented.zip", "prefixed.zip", "signature.zip", "empty.zip"}) {
        EXPECT_FALSE(readsAsPlain(dir.file(name))) << name;
        expectSameAsMinizip(dir.file(name), true);
    }
    // The signature at every place in a stored entry's data, and one byte short of it.
    // Long enough to cross the searches' 16-, 32- and 64-byte rounds.
    const std::string filler(150, 'x');
    makeZip(dir.file("filler.zip"), R"([{"name": "f.bin", "data": ")" + filler + R"(", "method": 0}])");
    const std::string plain = readFile(dir.file("filler.zip"));
    const size_t data = plain.find(filler);
    ASSERT_NE(data, std::string::npos);
    for (size_t at = data; at + 4 <= data + filler.size(); ++at) {
        EXPECT_FALSE(bytesReadAsPlain(std::string(plain).replace(at, 4, "PK\x06\x07"))) << at;
        EXPECT_TRUE(bytesReadAsPlain(std::string(plain).replace(at, 4, "PK\x06\x06"))) << at;
    }
}

TEST_F(ZipTestRoutesTest, DamagedArchivesFailWithMinizipsStatus) {
    // The test's status, where it is pinned: in stored data only the CRC can tell.
    struct Case {
        const char* name;
        const char* damage;  // ziptool.py command and its arguments after the archive's path
        std::optional<ZipStatus> status;
    };
    const Case damaged[] = {
        {"flip-stored.zip", "flip a.bin", ZipStatus::CrcError}, {"flip-deflated.zip", "flip b.txt", {}},
        // Header and directory agree, and both are wrong.
        {"crc.zip", "patch b.txt crc 12345 both", {}}, {"crc-empty.zip", "patch empty.bin crc 7 both", {}},
        {"long.zip", "patch b.txt usize 70001 both", {}}, {"stored-size.zip", "patch a.bin usize 11 both", {}},
        // Header and directory disagree.
        {"local-crc.zip", "patch a.bin crc 1 local", {}}, {"central-size.zip", "patch b.txt csize 5 central", {}},
        {"past-end.zip", "patch b.txt csize 900000 both", {}},
        {"cut-data.zip", nullptr, {}}, {"cut-deflated.zip", nullptr, {}}, {"cut-end.zip", nullptr, {}},
        {"not-a-zip.zip", nullptr, {}}, {"text.zip", nullptr, ZipStatus::ParamError},
        {"missing.zip", nullptr, ZipStatus::FileNotFound},
        {"text.zip/inner.zip", nullptr, ZipStatus::FileNotFound},  // a folder on the way that is a file
        {"encrypted.zip", nullptr, {}}};
    for (const Case& c : damaged) {
        if (c.damage == nullptr) continue;
        makeZip(dir.file(c.name), kThreeKinds);
        const std::string command(c.damage);
        zipTool(command.substr(0, command.find(' ')) + " '" + dir.file(c.name) + "'" + command.substr(command.find(' ')));
    }
    const std::string whole = readFile(dir.file("kinds.zip"));
    writeFile(dir.file("cut-data.zip"), whole.substr(0, 60) + whole.substr(100));
    writeFile(dir.file("cut-end.zip"), whole.substr(0, whole.size() - 30));  // inside the central directory
    writeFile(dir.file("not-a-zip.zip"), "PK broken");
    writeFile(dir.file("text.zip"), "this is not a zip archive at all\n");
    // Bytes cut out of deflated data: nothing after them is where the directory says.
    makeZip(dir.file("cut-deflated.zip"), R"([{"name": "a.bin", "size": 100000, "method": 8}])");
    const std::string deflated = readFile(dir.file("cut-deflated.zip"));
    const size_t dataStart = 30 + 5;  // local header + "a.bin"
    writeFile(dir.file("cut-deflated.zip"), deflated.substr(0, dataStart + 20) + deflated.substr(dataStart + 60));
    writeFile(dir.file("secret.txt"), mixedDeflatedText());
    ASSERT_EQ(runShell("cd '" + dir.path() + "' && zip -q -P pass encrypted.zip secret.txt"), 0);

    for (const Case& c : damaged) {
        expectSameAsMinizip(dir.file(c.name), false);
        if (c.status) {
            EXPECT_EQ(ZipListing(dir.file(c.name)).testZip(), *c.status) << c.name;
        }
    }
}

// From a few KiB at its end (and one more read for a large directory), a
// plain archive lists as minizip lists it; anything else is declined.
TEST_F(ZipTestRoutesTest, APlainArchiveListsFromItsLastBytes) {
    std::string many = "[";
    for (unsigned i = 0; i < 150; ++i)
        many += std::string(i ? "," : "") + R"({"name": ")" + randomText(40, i) + R"(", "data": "x", "method": 0})";
    makeZip(dir.file("many.zip"), many + "]");  // a directory of some 13 KiB
    writeFile(dir.file("one.txt"), mixedDeflatedText());
    ASSERT_EQ(runShell("cd '" + dir.path() + "' && zip -q -fz z64.zip one.txt && echo a comment | zip -q -z commented.zip one.txt"), 0);
    writeFile(dir.file("prefixed.zip"), "MZ a program stub\n" + readFile(dir.file("kinds.zip")));
    auto list = [&](const std::string& name, uint64_t size, PlainDirectory& out) {
        return listPlainArchive(fileOps(), dir.file(name), size, out);
    };
    for (const char* name : {"kinds.zip", "many.zip"}) {
        PlainDirectory plain;
        ASSERT_TRUE(list(name, std::filesystem::file_size(dir.file(name)), plain)) << name;
        std::vector<std::string> rows;
        for (const ZipEntry& e : plain.entries) rows.push_back(row(e));
        EXPECT_EQ(rows, minizipReference(dir.file(name)).rows) << name;
    }
    // The last: a stamp's size the file no longer has.
    for (const auto& [name, extra] :
         {std::pair{"z64.zip", 0}, {"commented.zip", 0}, {"prefixed.zip", 0}, {"kinds.zip", 10}}) {
        PlainDirectory plain;
        EXPECT_FALSE(list(name, std::filesystem::file_size(dir.file(name)) + extra, plain)) << name;
    }
}

// Above the whole-file limit the directory comes from the file's tail and
// each entry's bytes from a read of their own.
TEST_F(ZipTestRoutesTest, LargeArchivesAreReadByParts) {
    const size_t big = static_cast<size_t>(ArchiveBytes::kWholeFileLimit) + 4096;
    writeFile(dir.file("big.bin"), randomText(big, 2));
    writeFile(dir.file("small.txt"), "a small entry after the big one\n");
    ASSERT_EQ(runShell("cd '" + dir.path() + "' && zip -q -0 big.zip big.bin small.txt && cp big.zip flipped.zip"), 0);
    zipTool("flip '" + dir.file("flipped.zip") + "' big.bin");
    EXPECT_TRUE(readsAsPlain(dir.file("big.zip")));
    expectSameAsMinizip(dir.file("big.zip"), true);
    expectSameAsMinizip(dir.file("flipped.zip"), false);
}

// A read that fails while the archive is taken in whole leaves the work to
// minizip's own reads; the answer is the same.
TEST_F(ZipTestRoutesTest, AFailedWholeFileReadFallsBackToMinizip) {
    FailingFileOps failRead(3);  // open, size, the whole-file read
    const ZipListing info(dir.file("kinds.zip"), failRead, ZipRead::ListAndTest);
    EXPECT_GT(failRead.calls(), 4);
    EXPECT_TRUE(zipTestPassed(info.testZip()));
    EXPECT_EQ(rowsOf(info), minizipReference(dir.file("kinds.zip")).rows);
}

}  // namespace
}  // namespace quorvane::testing
