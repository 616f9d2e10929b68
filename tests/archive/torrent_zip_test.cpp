#include "archive/torrent_zip.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "archive/torrent_zip_format.h"
#include "archive/zip_listing.h"
#include "archive_fixtures.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

using enum ZipStatus;

Names lines(const std::string& text) {
    Names out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// Python's reading of the records: a line for each entry, then the comment
// line (see ziptool.py records).
Names records(const std::string& zip) { return lines(zipTool("records '" + zip + "'")); }

// The rules every entry follows, as Python reads the bytes: the fixed
// fields, local header equal to the central record, the comment naming the
// directory's CRC; names (as stored) in the order given.
void expectTorrentZip(const std::string& zip, const Names& names) {
    const Names fields = records(zip);
    ASSERT_EQ(fields.size(), names.size() + 1);
    for (size_t i = 0; i < names.size(); ++i) {
        std::string hex;
        for (const unsigned char c : names[i]) hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
        const std::string flags = fields[i].find("|flags 0802|") != std::string::npos ? "0802" : "0002";
        EXPECT_EQ(fields[i], hex + "|made 0|need 20|flags " + flags +
                                 "|method 8|time bc00|date 2198|extra 0|comment 0|attrs 0 0 0|local 20 " + flags +
                                 " 8 bc00 2198 0|same 1");
    }
    const std::string& last = fields.back();
    EXPECT_EQ(last.substr(0, 22), "comment TORRENTZIPPED-");
    EXPECT_EQ(last.substr(22, 8), last.substr(last.size() - 8)) << last;
    EXPECT_TRUE(isTorrentZip(zip));
    EXPECT_TRUE(zipTestPassed(ZipListing(zip).testZip()));
}

using TorrentZipTest = MixedZipTest;

// kMixedEntries: every entry keeps its content and the order is by
// lowercase name, "Game.bin" before "game.bin". The same entries in another
// order, with other dates and methods, "\" as separator, give the same
// bytes; converting a result again changes nothing.
TEST_F(TorrentZipTest, ConversionFollowsEveryRuleAndSameEntriesGiveTheSameBytes) {
    Names before = lines(zipTool("contents '" + zip + "'"));
    bool changed = false;
    ASSERT_EQ(torrentZipArchive(zip, {}, &changed), Ok);
    EXPECT_TRUE(changed);
    expectTorrentZip(zip, {"deflated.txt", "dir/sub/inner.bin", "empty.bin", "Game.bin", "game.bin", "stored.bin"});
    Names after = lines(zipTool("contents '" + zip + "'"));
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, before);

    const std::string other = dir.file("other.zip"), bytes = readFile(zip);
    makeZip(other, R"([{"name": "game.bin", "data": "lower", "method": 0, "date": [1999, 1, 1, 0, 0, 0]},
        {"name": "dir\\sub\\inner.bin", "data": "inner data", "method": 0},
        {"name": "empty.bin", "size": 0, "method": 8}, {"name": "Game.bin", "data": "upper", "method": 0},
        {"name": "deflated.txt", "data": ")" +
                       mixedDeflatedText() + R"(", "method": 0},
        {"name": "stored.bin", "data": "rom347", "method": 8, "date": [2024, 5, 6, 7, 8, 10]}])");
    ASSERT_EQ(torrentZipArchive(other), Ok);
    EXPECT_EQ(readFile(other), bytes);
    EXPECT_EQ(torrentZipArchive(zip, dir.file("backup"), &changed), Ok);
    EXPECT_FALSE(changed);
    EXPECT_EQ(readFile(zip), bytes);
    EXPECT_FALSE(std::filesystem::exists(dir.file("backup")));
    EXPECT_EQ(folderNames(dir.file("set")), Names{"mixed.zip"});
}

// Empty files are deflated (two bytes); a folder entry stays only when
// nothing lies under it; exact duplicates are all kept, sorted by CRC. A
// name CP437 can hold is stored in CP437 without the UTF-8 flag; one it
// cannot stays UTF-8 with bit 11. Sorted by the UTF-8 name, lower-cased.
TEST_F(TorrentZipTest, FoldersDuplicatesAndNames) {
    makeZip(zip, R"([{"name": "full/", "size": 0}, {"name": "full/a.bin", "data": "a"},
        {"name": "lonely/", "size": 0}, {"name": "nested/", "size": 0}, {"name": "nested/deeper/", "size": 0},
        {"name": "same.bin", "data": "two"}, {"name": "same.bin", "data": "one"}, {"name": "zero.bin", "size": 0},
        {"name": "\u65e5\u672c.bin", "data": "j"}, {"name": "Caf\u00e9.bin", "data": "c"},
        {"name": "\u00dcber\u00bd.bin", "data": "u"}])");
    ASSERT_EQ(torrentZipArchive(zip), Ok);
    expectTorrentZip(zip, {"Caf\x82.bin", "full/a.bin", "lonely/", "nested/deeper/", "same.bin", "same.bin", "zero.bin",
                           "\x9A"
                           "ber\xAB.bin",
                           "\xE6\x97\xA5\xE6\x9C\xAC.bin"});
    const ZipListing listing(zip);
    ASSERT_EQ(listing.count(), 9);
    EXPECT_EQ(listing.entry(2).compressedSize + listing.entry(6).compressedSize, 4u);
    EXPECT_EQ(listing.entry(6).crc32, 0u);
    EXPECT_LT(listing.entry(4).crc32, listing.entry(5).crc32);
    const Names fields = records(zip);
    EXPECT_NE(fields[8].find("|flags 0802|"), std::string::npos);
    EXPECT_NE(fields[0].find("|flags 0002|"), std::string::npos);
    // Python reads the CP437 name back as it was, and so does a second conversion.
    EXPECT_EQ(zipTool("read '" + zip + "' 'Caf\xC3\xA9.bin'"), "84a516841ba77a5b4648de2cd0dfcb30ea46dbb4\n");
    bool changed = true;
    EXPECT_EQ(torrentZipArchive(zip, {}, &changed), Ok);
    EXPECT_FALSE(changed);
}

// Anything but an exact, matching comment is not TorrentZip; a comment
// that matches a directory breaking the rules passes the cheap check, but
// conversion still rewrites it.
TEST_F(TorrentZipTest, OnlyAMatchingCommentIsTorrentZip) {
    const std::string plain = readFile(zip);
    ASSERT_EQ(torrentZipArchive(zip), Ok);
    const std::string good = readFile(zip);
    const auto with = [&good](size_t fromEnd, char c) {
        return good.substr(0, good.size() - fromEnd) + c + good.substr(good.size() - fromEnd + 1);
    };
    std::string lower = good;
    std::transform(lower.end() - 8, lower.end(), lower.end() - 8, [](char c) { return c | 0x20; });
    ASSERT_NE(lower, good) << "the CRC in the comment has no letter";
    const std::pair<const char*, std::string> cases[] = {
        {"lowercase hex", lower},
        {"other CRC", with(8, good[good.size() - 8] == '0' ? '1' : '0')},
        {"prefix", with(22, 't')},
        {"byte after", good + " "},
        {"last external attributes", with(22 + 22 + 46 + 10 - 38, 1)},
        {"plain zip", plain},
        {"not a zip", "TORRENTZIPPED-00000000"},
        {"empty", ""}};
    for (const auto& [what, bytes] : cases) {
        writeFile(dir.file("case.zip"), bytes);
        EXPECT_FALSE(isTorrentZip(dir.file("case.zip"))) << what;
    }
    EXPECT_FALSE(isTorrentZip(dir.file("absent.zip")));

    writeFile(zip, plain);
    zipTool("stamp '" + zip + "'");
    ASSERT_TRUE(isTorrentZip(zip));
    bool changed = false;
    ASSERT_EQ(torrentZipArchive(zip, {}, &changed), Ok);
    EXPECT_TRUE(changed);
    EXPECT_EQ(readFile(zip), good);
}

// Archives that cannot be read whole, or whose original cannot be kept
// where asked, are refused and stay as they were, with no file left beside
// them; an archive of no entries converts.
TEST_F(TorrentZipTest, RefusedArchivesAreLeftAsTheyWere) {
    const std::string damaged = dir.file("set/damaged.zip"), text = dir.file("set/text.zip");
    writeFile(damaged, readFile(zip));
    zipTool("flip '" + damaged + "' stored.bin");
    writeFile(text, "not a zip at all, but precious");
    writeFile(dir.file("file.txt"), "a file, not a folder");
    const std::tuple<std::string, std::string, ZipStatus> cases[] = {{damaged, "", CrcError},
                                                                     {text, "", ParamError},
                                                                     {dir.file("set/absent.zip"), "", FileNotFound},
                                                                     {zip, dir.file("file.txt/backup"), CannotReplace}};
    for (const auto& [path, keepIn, expected] : cases) {
        const std::string before = std::filesystem::exists(path) ? readFile(path) : "";
        bool changed = true;
        EXPECT_EQ(torrentZipArchive(path, keepIn, &changed), expected) << path;
        EXPECT_FALSE(changed);
        EXPECT_EQ(std::filesystem::exists(path) ? readFile(path) : "", before) << path;
    }
    EXPECT_EQ(folderNames(dir.file("set")), (Names{"damaged.zip", "mixed.zip", "text.zip"}));

    makeZip(zip, "[]");
    ASSERT_EQ(torrentZipArchive(zip), Ok);
    EXPECT_EQ(readFile(zip).substr(22), "TORRENTZIPPED-00000000");
}

// With a folder to keep it in, the original goes there whole, under a free name.
TEST_F(TorrentZipTest, TheOriginalIsKeptWhereAskedUnderAFreeName) {
    const std::string original = readFile(zip), backup = dir.file("backup");
    writeFile(backup + "/mixed.zip", "taken");
    std::string kept;
    ASSERT_EQ(torrentZipArchive(zip, backup, nullptr, &kept), Ok);
    EXPECT_EQ(kept, backup + "/mixed (1).zip");
    EXPECT_EQ(readFile(kept), original);
    EXPECT_TRUE(isTorrentZip(zip));
}

// A backup folder on another file system: renames into it fail with EXDEV.
class OtherDeviceOps : public FailingFileOps {
public:
    OtherDeviceOps(int failAt, std::string folder) : FailingFileOps(failAt), folder_(std::move(folder)) {}
    int renameNoReplace(const std::string& from, const std::string& to) override {
        if (!to.starts_with(folder_)) return FailingFileOps::renameNoReplace(from, to);
        if (!fail()) errno = EXDEV;
        return -1;
    }

private:
    std::string folder_;
};

// A failure at each disk call in turn, replacing the original or keeping it
// (moved, or copied to another file system): the original stays byte for
// byte, no temporary file is left, and an Ok means the converted archive is
// in place and the kept original whole.
TEST_F(TorrentZipTest, ConversionSurvivesAFailureAtEveryDiskCall) {
    const std::string original = readFile(zip), backup = dir.file("backup");
    ASSERT_EQ(torrentZipArchive(zip), Ok);
    const std::string converted = readFile(zip);
    enum Keep { No, Moved, Copied };
    for (const Keep keep : {No, Moved, Copied}) {
        std::string kept;
        const auto convert = [&] {
            std::filesystem::remove_all(backup);
            writeFile(zip, original);
            return torrentZipArchive(zip, keep == No ? "" : backup, nullptr, &kept);
        };
        const auto check = [&](int n, ZipStatus status) {
            const auto where = ::testing::Message() << "keep " << keep << " call " << n << " status " << status;
            EXPECT_EQ(folderNames(dir.file("set")), Names{"mixed.zip"}) << where;
            EXPECT_EQ(readFile(zip), status == Ok ? converted : original) << where;
            if (keep == No) return;
            const Names inBackup = std::filesystem::exists(backup) ? folderNames(backup) : Names{};
            EXPECT_EQ(inBackup, status == Ok ? Names{"mixed.zip"} : Names{}) << where;
            EXPECT_TRUE(status != Ok || readFile(kept) == original) << where;
        };
        const auto [calls, failures] =
            failEachCall<OtherDeviceOps>(convert, check, keep == Copied ? backup : "/nowhere/");
        // Calls whose failure costs nothing (the first, cheap check; reading
        // the new archive back, which has a second route; closing a file
        // only read; syncing a folder after the rename) pass; the rest fail it.
        EXPECT_GT(failures, calls / 2) << "keep " << keep;
    }
}

// Raw deflate at TorrentZip's settings gives the stream Python's zlib gives
// for the same settings, for text, noise, zeros and real binary data, at
// sizes around the copy block.
TEST_F(TorrentZipTest, DeflatedStreamsMatchZlibAtTheSameSettings) {
    std::mt19937 random(20);
    std::string noise(600000, '\0'), text;
    for (char& c : noise) c = static_cast<char>(random());
    while (text.size() < 300000)
        text += "<rom name=\"Game " + std::to_string(text.size() % 977) + "\" crc=\"1234\"/>\n";
    const std::pair<std::string, std::string> inputs[] = {{"text.txt", text},
                                                          {"noise.bin", noise},
                                                          {"zeros.bin", std::string(262144 * 3 + 1, '\0')},
                                                          {"binary.bin", readFile("/proc/self/exe").substr(0, 1 << 20)},
                                                          {"tiny.bin", "x"}};
    std::string entries;
    for (const auto& [name, data] : inputs) {
        writeFile(dir.file(name), data);
        entries += std::string(entries.empty() ? "[" : ",") + R"({"name": ")" + name + R"(", "file": ")" +
                   dir.file(name) + "\"}";
    }
    makeZip(zip, entries + "]");
    ASSERT_EQ(torrentZipArchive(zip), Ok);
    const std::string raw = zipTool("raw '" + zip + "'");
    for (const auto& input : inputs) {
        const size_t line = raw.find(input.first + "|");
        ASSERT_NE(line, std::string::npos) << input.first;
        EXPECT_EQ(raw.substr(raw.find('\n', line) - 40, 41), zipTool("deflate '" + dir.file(input.first) + "'"));
    }
}

// ZIP64 end records and a local header offset past 4 GiB, as Python and the
// check read them: a sparse file whose one central record claims them.
TEST(TorrentZipFormatTest, Zip64EndRecordsAndOffsetsReadBack) {
    TempDir dir;
    const TorrentZipRecord record{"big.bin", false, 0x89ABCDEF, uint64_t{5} << 30, 65536, uint64_t{9} << 29};
    const std::string directory = centralRecord(record), path = dir.file("sparse.zip");
    std::ofstream(path, std::ios::binary).seekp(std::streamoff{5} << 30)
        << directory + endRecords(1, uint64_t{5} << 30, directory.size(), crc32Of(directory));
    EXPECT_TRUE(isTorrentZip(path));
    EXPECT_TRUE(directoryFollowsRules(directory, 1));
    const std::string python =
        "import zipfile, sys; i = zipfile.ZipFile(sys.argv[1]).infolist()[0]; print(i.filename,"
        " i.file_size, i.compress_size, i.header_offset, i.extract_version, i.create_version,"
        " '%08X' % i.CRC)";
    std::string seen;
    ASSERT_EQ(runCapture("python3 -c \"" + python + "\" '" + path + "'", seen), 0);
    EXPECT_EQ(seen, "big.bin 5368709120 65536 4831838208 45 0 89ABCDEF\n");
}

// A real entry over 4 GiB (zeros, so both archives stay small): the ZIP64
// block in its local header (both sizes) and central record (the size
// only), version 45 for it alone. About 48 s here: Python writes the source
// (level 1), the conversion inflates and deflates 4 GiB (22 s), the test
// inflates it once more.
TEST(TorrentZipLargeTest, EntryOver4GiBGetsZip64Fields) {
    TempDir dir;
    struct statvfs fs {};
    if (statvfs(dir.path().c_str(), &fs) != 0 || uint64_t(fs.f_bavail) * fs.f_frsize < (64ull << 20))
        GTEST_SKIP() << "less than 64 MiB free";
    const uint64_t size = (4ull << 30) + 65536;
    const std::string zip = dir.file("big.zip");
    zipTool("zip64 '" + zip + "' " + std::to_string(size));
    ASSERT_EQ(torrentZipArchive(zip), Ok);
    const Names fields = records(zip);
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[0].substr(fields[0].find('|')),
              "|made 0|need 45|flags 0002|method 8|time bc00|date 2198|extra 12|comment 0|attrs 0 0 0"
              "|local 45 0002 8 bc00 2198 20|same 1");
    EXPECT_NE(fields[1].find("|need 20|"), std::string::npos);
    EXPECT_EQ(fields[3].substr(22, 8), fields[3].substr(fields[3].size() - 8));
    const ZipListing listing(zip);
    ASSERT_EQ(listing.count(), 3);
    EXPECT_EQ(listing.entry(0).uncompressedSize, size);
    EXPECT_TRUE(zipTestPassed(listing.testZip()));
    bool changed = true;
    EXPECT_EQ(torrentZipArchive(zip, {}, &changed), Ok);
    EXPECT_FALSE(changed);
}

}  // namespace
}  // namespace quorvane::testing
