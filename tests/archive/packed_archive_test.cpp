#include "archive/packed_archive.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>

#include "archive/packed_reader.h"
#include "archive/zip_status.h"
#include "archive_fixtures.h"
#include "rar_builder.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

using enum ZipStatus;

void run(const std::string& command) { ASSERT_EQ(runShell(command), 0) << command; }
bool discard(const void*, size_t) { return true; }

class PackedFormatTest : public ::testing::TestWithParam<std::pair<const char*, const char*>> {
protected:
    TempDir dir;
    const std::string src = dir.file("src"), out = dir.file("out");
    const Contents expected{{"a.bin", noise(300000, 1)}, {"dir/b\xC3\xA9.txt", "some text\n"}, {"empty.bin", ""}};
};

// Each format made by its own tool (RAR by the builder), folders included
// in the archive: only the files are entries, and every way of reading gives
// them back.
TEST_P(PackedFormatTest, ListsReadsAndExtractsEveryFile) {
    const auto [file, command] = GetParam();
    const std::string archive = dir.file(file), tool = command;
    std::vector<RarEntry> entries;
    for (const auto& [name, data] : expected) {
        writeFile(src + "/" + name, data);
        entries.push_back({name, data});
    }
    if (tool.starts_with("rar")) writeFile(archive, rarArchive(tool == "rar5", entries));
    else run("cd '" + src + "' && " + tool + " '" + archive + "' a.bin dir empty.bin >/dev/null");
    EXPECT_EQ(listedContents(archive), expected);
    std::string sums, hashes;
    runCapture("cd '" + src + "' && md5sum a.bin | cut -c1-32 && sha1sum a.bin | cut -c1-40", sums);
    for (const PackedEntry& e : listPacked(archive, true, true).entries)
        if (e.name == "a.bin") hashes = e.md5 + "\n" + e.sha1 + "\n";
    EXPECT_EQ(hashes, sums);

    writeFile(out + "/b\xC3\xA9.txt", "already here");
    ASSERT_EQ(extractAllPacked(archive, out), Ok);
    EXPECT_EQ(folderNames(out), (Names{"a.bin", "b\xC3\xA9 (1).txt", "b\xC3\xA9.txt", "empty.bin"}));
    EXPECT_EQ(readFile(out + "/b\xC3\xA9 (1).txt") + readFile(out + "/a.bin"), "some text\n" + expected.at("a.bin"));
    // One entry to two targets, with another between them.
    const EntryKey b{"dir/b\xC3\xA9.txt", crc32Of("some text\n"), 10}, big{"a.bin", crc32Of(expected.at("a.bin")), 300000};
    ASSERT_EQ(extractPacked(archive, {{b, out + "/one"}, {big, out + "/big"}, {b, out + "/two"}}), Ok);
    EXPECT_EQ(readFile(out + "/one") + readFile(out + "/two") + readFile(out + "/big"),
              "some text\nsome text\n" + expected.at("a.bin"));
    // Right name and size, other content: not that entry; nothing is left for it.
    EXPECT_EQ(extractPacked(archive, {{{b.name, crc32Of("some tex!\n"), 10}, out + "/no"}}), EntryGone);
    EXPECT_EQ(readPackedEntry(archive, {b.name, 1, 10}, discard), CrcError);
    EXPECT_EQ(readPackedEntry(archive, {"DIR/B\xC3\xA9.TXT", b.crc32, 10}, discard), EntryGone);
    EXPECT_EQ(folderNames(out).size(), 7u);
}

INSTANTIATE_TEST_SUITE_P(Formats, PackedFormatTest,
                         ::testing::Values(std::pair{"set.7z", "7zz a -bd"}, std::pair{"set.tar", "tar -cf"},
                                           std::pair{"set.tar.gz", "tar -czf"}, std::pair{"Set.TBZ2", "tar -cjf"},
                                           std::pair{"set.tar.xz", "tar -cJf"}, std::pair{"set.rar", "rar4"},
                                           std::pair{"set5.rar", "rar5"}));

// A gzip is one entry named after the file without ".gz", its size found by
// inflating it; a file of several members (as `cat a.gz b.gz` makes) is
// their contents in turn, and zeros after the last member are ignored, as
// gzip itself does.
TEST(PackedGzipTest, IsOneEntryNamedAfterTheFile) {
    TempDir dir;
    const std::string one = noise(150000, 9), two = "second member\n";
    writeFile(dir.file("one"), one);
    writeFile(dir.file("two"), two);
    writeFile(dir.file("Empty"), "");
    std::filesystem::create_directories(dir.file("out"));
    run("cd '" + dir.path() +
        "' && gzip -c one > Game.Bin.GZ && gzip -c two > t.gz && cat Game.Bin.GZ t.gz > Both.gz &&"
        " gzip -c Empty > Empty.gz && (cat t.gz; head -c 100 /dev/zero) > Padded.gz");
    const std::pair<const char*, Contents> cases[] = {{"Game.Bin.GZ", {{"Game.Bin", one}}},
                                                      {"Both.gz", {{"Both", one + two}}},
                                                      {"Empty.gz", {{"Empty", ""}}},
                                                      {"Padded.gz", {{"Padded", two}}}};
    for (const auto& [file, contents] : cases) {
        EXPECT_EQ(listedContents(dir.file(file)), contents) << file;
        ASSERT_EQ(extractAllPacked(dir.file(file), dir.file("out")), Ok) << file;
        EXPECT_EQ(readFile(dir.file("out/" + contents.begin()->first)), contents.begin()->second) << file;
    }
}

struct DamageCase {
    const char* file;
    std::string command;  // run among the sources, "%" standing for the archive
    long flip;            // then a byte flipped this far from the start (from the end when negative), unless 0
    double cut;           // or the archive cut to this part of its size, unless 0
    ZipStatus expected;
};

void PrintTo(const DamageCase& c, std::ostream* out) { *out << c.file; }

class PackedDamageTest : public ::testing::TestWithParam<DamageCase> {};

// A damaged archive never yields a listing, and no way of reading it gives
// Ok: listing and extracting say the same.
TEST_P(PackedDamageTest, IsReportedWithAReasonAndYieldsNothing) {
    const DamageCase& c = GetParam();
    TempDir dir;
    const std::string src = dir.file("src"), archive = dir.file(c.file), out = dir.file("out");
    std::string text, command = c.command;
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + "\n";
    writeFile(src + "/a.bin", noise(200000, 7));
    writeFile(src + "/b.txt", text);
    // RAR 4 and 5: compressed junk, stored; RAR 4: flagged as encrypted.
    const RarEntry junk{"b.txt", noise(4000, 3), true}, stored{"b.txt", noise(4000, 3)};
    for (const bool five : {false, true}) writeFile(src + (five ? "/junk5" : "/junk4"), rarArchive(five, {junk}));
    writeFile(src + "/stored4", rar4Archive({stored}));
    writeFile(src + "/stored5", rar5Archive({stored}));
    writeFile(src + "/secret4", rar4Archive({{"b.txt", "xyz", false, false, -1, true}}));
    std::filesystem::create_directories(out);
    run("cd '" + src + "' && " + command.replace(command.find('%'), 1, "'" + archive + "'"));
    std::string bytes = readFile(archive);
    if (c.flip) bytes[c.flip < 0 ? bytes.size() - static_cast<size_t>(-c.flip) : static_cast<size_t>(c.flip)] ^= 0x55;
    if (c.cut) bytes.resize(static_cast<size_t>(static_cast<double>(bytes.size()) * c.cut));
    writeFile(archive, bytes);

    const PackedListing listing = listPacked(archive, false, false);
    EXPECT_EQ(listing.status, c.expected) << listing.detail;
    EXPECT_TRUE(listing.entries.empty());
    EXPECT_FALSE(listing.detail.empty());
    // Entries before the damage may come out whole; the damaged one leaves nothing.
    EXPECT_NE(extractAllPacked(archive, out), Ok);
    for (const std::string& name : folderNames(out)) EXPECT_EQ(name.find(".quorvane-tmp-"), std::string::npos);
}

const std::string k7z = "7zz a -bd -bso0 ", kTarGz = "tar --mtime=@0 --owner=0 --sort=name -cf - a.bin b.txt | gzip -n";
INSTANTIATE_TEST_SUITE_P(
    Archives, PackedDamageTest,
    ::testing::Values(DamageCase{"truncated.7z", k7z + "% a.bin b.txt", 0, 0.6, BadZipFile},
                      DamageCase{"stored.7z", k7z + "-mx0 % a.bin b.txt", 5000, 0, CrcError},
                      DamageCase{"lzma2.7z", k7z + "% a.bin b.txt", 3000, 0, BadZipFile},
                      DamageCase{"header.7z", k7z + "% a.bin b.txt", -20, 0, BadZipFile},
                      DamageCase{"secret.7z", k7z + "-pSECRET % a.bin", 0, 0, Encrypted},
                      DamageCase{"headers.7z", k7z + "-pSECRET -mhe=on % a.bin", 0, 0, Encrypted},
                      DamageCase{"d64.7z", k7z + "-m0=Deflate64 % a.bin", 0, 0, UnsupportedMethod},
                      DamageCase{"arm64.7z", k7z + "-m0=ARM64 -m1=LZMA2 % a.bin", 0, 0, UnsupportedMethod},
                      DamageCase{"flipped.tar.gz", kTarGz + " > %", 2000, 0, BadZipFile},
                      DamageCase{"truncated.tar.xz", "tar -cJf % a.bin b.txt", 0, 0.5, BadZipFile},
                      DamageCase{"crc.txt.gz", "gzip -c b.txt > %", -6, 0, CrcError},
                      DamageCase{"truncated.txt.gz", "gzip -c b.txt > %", 0, 0.5, BadZipFile},
                      DamageCase{"junk4.rar", "cp junk4 %", 0, 0, BadZipFile},
                      DamageCase{"junk5.rar", "cp junk5 %", 0, 0, BadZipFile},
                      DamageCase{"secret4.rar", "cp secret4 %", 0, 0, Encrypted},
                      DamageCase{"header4.rar", "cp stored4 %", 25, 0, BadZipFile},
                      DamageCase{"truncated5.rar", "cp stored5 %", 0, 0.5, BadZipFile},
                      DamageCase{"text.7z", "cp b.txt %", 0, 0, BadZipFile},
                      DamageCase{"tar.tar.gz", "tar -cf % b.txt", 0, 0, BadZipFile},
                      DamageCase{"tgz.tar", "tar -czf % b.txt", 0, 0, BadZipFile},
                      DamageCase{"text.gz", "cp b.txt %", 0, 0, BadZipFile},
                      DamageCase{"7z.rar", k7z + "-t7z x.7z b.txt && mv x.7z %", 0, 0, BadZipFile}));

// libarchive does not check a stored RAR entry against the CRC in its header:
// the listing then gives the data's own CRC, which no DAT will match.
TEST(PackedRarTest, AStoredEntryIsListedByTheCrcOfItsData) {
    TempDir dir;
    for (const bool five : {false, true}) {
        writeFile(dir.file("w.rar"), rarArchive(five, {{"b.txt", "xyz", false, true}}));
        EXPECT_EQ(listedContents(dir.file("w.rar")), (Contents{{"b.txt", "xyz"}})) << five;
    }
}

// libarchive's words for what no archive made here provokes: a RAR method or
// filter it lacks, and the damage it also calls "unsupported".
TEST(PackedStatusTest, OnlyWordsAboutMethodsMeanAnUnsupportedMethod) {
    const std::pair<const char*, ZipStatus> cases[] = {
        {"Unsupported compression method for RAR file.", UnsupportedMethod},
        {"Parsing filters is unsupported.", UnsupportedMethod},
        {"Crypto codec not supported yet (ID: 0x6F10701)", Encrypted},
        {"Header CRC error", BadZipFile},
        {"Unsupported extra type (0x9)", BadZipFile}};
    for (const auto& [text, status] : cases) EXPECT_EQ(packedStatusFromText(text, BadZipFile), status) << text;
}

TEST(PackedFormatOfTest, TheNameDecidesAndZipsStayOut) {
    const std::pair<const char*, PackedFormat> cases[] = {
        {"Game.7Z", PackedFormat::SevenZip}, {"a.rar", PackedFormat::Rar}, {"rom.bin.gz", PackedFormat::Gzip},
        {"s.TAR.GZ", PackedFormat::Tar},     {"s.tgz", PackedFormat::Tar}, {"s.tar.bz2", PackedFormat::Tar},
        {"s.txz", PackedFormat::Tar},        {"s.tar", PackedFormat::Tar}, {"Game.zip", PackedFormat::None},
        {"a.7z.zip", PackedFormat::None},    {"gz", PackedFormat::None},   {"a.bz2", PackedFormat::None},
    };
    for (const auto& [name, format] : cases) EXPECT_EQ(packedFormatOf(name), format) << name;
}

// Names that climb out, absolute names, links: listed as stored (links not
// at all), and extraction puts every file inside the folder named.
TEST(PackedHostileTest, NothingIsWrittenOutsideTheTarget) {
    TempDir dir;
    const std::string archive = dir.file("set/evil.tar"), out = dir.file("set/out");
    std::filesystem::create_directories(out);
    run("python3 - '" + archive + R"(' <<'PY'
import io, sys, tarfile
with tarfile.open(sys.argv[1], "w", format=tarfile.GNU_FORMAT) as t:
    def add(name, data=b"", kind=tarfile.REGTYPE, link=""):
        info = tarfile.TarInfo(name); info.type = kind; info.linkname = link; info.size = len(data)
        t.addfile(info, io.BytesIO(data))
    add("../evil", b"up"); add("/abs/evil", b"abs"); add("a/../../evil2", b"deep")
    add("link", kind=tarfile.SYMTYPE, link="/etc/passwd"); add("hard", kind=tarfile.LNKTYPE, link="../evil")
    add("dir/..", b"dots"); add("ok.bin", b"fine")
PY)");
    EXPECT_EQ(listedContents(archive), (Contents{{"../evil", "up"},
                                                 {"/abs/evil", "abs"},
                                                 {"a/../../evil2", "deep"},
                                                 {"dir/..", "dots"},
                                                 {"ok.bin", "fine"}}));
    ASSERT_EQ(extractAllPacked(archive, out), Ok);
    EXPECT_EQ(folderNames(out), (Names{"evil", "evil (1)", "evil2", "ok.bin"}));
    EXPECT_EQ(readFile(out + "/evil") + readFile(out + "/evil (1)"), "upabs");
    EXPECT_EQ(folderNames(dir.path()), Names{"set"});
    EXPECT_EQ(folderNames(dir.file("set")), (Names{"evil.tar", "out"}));
    EXPECT_FALSE(std::filesystem::exists("/abs/evil"));
}

// A header that understates its entry's size must not let more through (a
// bomb that lies), nor one that overstates it pass as whole.
TEST(PackedHostileTest, AnEntryOfAnotherSizeThanStatedIsDamaged) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("out"));
    for (const bool five : {false, true}) {
        for (const int64_t stated : {10, 5000}) {
            writeFile(dir.file("lie.rar"), rarArchive(five, {{"a.bin", std::string(1000, 'x'), false, false, stated}}));
            const PackedListing listing = listPacked(dir.file("lie.rar"), false, false);
            EXPECT_EQ(listing.status, BadZipFile) << five << " " << stated;
            EXPECT_NE(listing.detail.find(std::to_string(stated) + " bytes"), std::string::npos) << listing.detail;
            EXPECT_EQ(extractAllPacked(dir.file("lie.rar"), dir.file("out")), BadZipFile);
            EXPECT_TRUE(folderNames(dir.file("out")).empty());
        }
    }
}

long peakMemoryKiB() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// 256 MiB of zeros in a quarter of a megabyte: listing streams it, and a
// read that was told a smaller size stops there instead of filling a disk.
TEST(PackedHostileTest, AGzipBombIsStreamedAndStoppedAtTheListedSize) {
    TempDir dir;
    const std::string bomb = dir.file("zeros.bin.gz"), out = dir.file("out");
    std::filesystem::create_directories(out);
    run("head -c 268435456 /dev/zero | gzip -1 > '" + bomb + "'");
    const long before = peakMemoryKiB();
    const PackedListing listing = listPacked(bomb, false, false);
    ASSERT_EQ(listing.status, Ok) << listing.detail;
    ASSERT_EQ(listing.entries.size(), 1u);
    EXPECT_EQ(listing.entries[0].size, uint64_t{268435456});
    EXPECT_LT(peakMemoryKiB() - before, 32 * 1024);

    const EntryKey small{"zeros.bin", listing.entries[0].crc32, 1 << 20};
    uint64_t streamed = 0;
    EXPECT_EQ(readPackedEntry(bomb, small, [&streamed](const void*, size_t n) { return (streamed += n) > 0; }),
              CrcError);
    EXPECT_LE(streamed, uint64_t{1} << 20);
    // Extracting stops there too: a few disk calls, not one per block of 256 MiB.
    FailingFileOps counter;
    ScopedFileOps scope(counter);
    EXPECT_EQ(extractPacked(bomb, {{small, out + "/zeros.bin"}}), EntryGone);
    EXPECT_LT(counter.calls(), 1000);
    EXPECT_TRUE(folderNames(out).empty());
}

TEST(PackedOpenTest, AFileThatCannotBeOpenedSaysWhy) {
    TempDir dir;
    writeFile(dir.file("file"), "x");
    std::filesystem::create_directories(dir.file("folder.7z"));
    const std::pair<std::string, ZipStatus> cases[] = {{dir.file("absent.7z"), FileNotFound},
                                                       {dir.file("file/under.rar"), FileNotFound},
                                                       {dir.file("folder.7z"), FileUnreadable}};
    for (const auto& [path, status] : cases) {
        const PackedListing listing = listPacked(path, false, false);
        EXPECT_EQ(listing.status, status) << path;
        EXPECT_NE(listing.detail.find(path), std::string::npos) << listing.detail;
        EXPECT_EQ(extractAllPacked(path, dir.path()), status) << path;
    }
}

// A read that fails (a bad sector, a pulled disk) is the file's fault, not
// damage in the archive; its first read and a later one alike.
TEST(PackedOpenTest, AFailingReadMakesTheFileUnreadableNotDamaged) {
    TempDir dir;
    run("mkdir '" + dir.file("src") + "' && cd '" + dir.file("src") +
        "' && head -c 400000 /dev/urandom > a.bin &&"
        " 7zz a -bd -bso0 -mx0 ../a.7z a.bin && tar -czf ../a.tar.gz a.bin && gzip -c a.bin > ../a.bin.gz");
    for (const char* file : {"a.7z", "a.tar.gz", "a.bin.gz"}) {
        for (const int call : {3, 5}) {
            FailingFileOps ops(call, EIO);
            ScopedFileOps scope(ops);
            const PackedListing listing = listPacked(dir.file(file), false, false);
            EXPECT_EQ(listing.status, FileUnreadable) << file << " call " << call << ": " << listing.detail;
        }
    }
}

// Two entries wanted from a 7z, a failure at each disk call in turn: each
// target is then absent or whole, and no temporary file is left.
TEST(PackedExtractTest, AFailureAtAnyDiskCallLeavesNoPartialFile) {
    TempDir dir;
    const std::string archive = dir.file("set.7z"), out = dir.file("out"), a = noise(400000, 5), b = "second entry";
    writeFile(dir.file("src/a.bin"), a);
    writeFile(dir.file("src/b.bin"), b);
    run("cd '" + dir.file("src") + "' && 7zz a -bd -bso0 '" + archive + "' a.bin b.bin");
    const std::vector<std::pair<EntryKey, std::string>> wanted{{{"a.bin", crc32Of(a), a.size()}, out + "/a.bin"},
                                                               {{"b.bin", crc32Of(b), b.size()}, out + "/b.bin"}};
    const auto extract = [&] {
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        return extractPacked(archive, wanted);
    };
    const auto [calls, failures] = failEachCall(extract, [&](int n, ZipStatus status) {
        const Names names = folderNames(out);
        for (const std::string& name : names) EXPECT_EQ(readFile(out + "/" + name), name == "a.bin" ? a : b) << n;
        EXPECT_TRUE(status != Ok || names.size() == 2) << "call " << n;
    });
    // Only dating the two files and closing the archive may fail without
    // failing the extraction.
    EXPECT_EQ(failures, calls - 3);
    // A target already taken is not replaced.
    ASSERT_EQ(extract(), Ok);
    EXPECT_EQ(extractPacked(archive, {wanted[1]}), Error);
    EXPECT_EQ(folderNames(out), (Names{"a.bin", "b.bin"}));
}

}  // namespace
}  // namespace quorvane::testing
