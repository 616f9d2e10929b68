#include "archive/packed_archive.h"

#include "archive/packed_reader.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "archive/zip_status.h"
#include "archive_fixtures.h"
#include "rar_builder.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

using Names = std::vector<std::string>;

uint32_t crcOf(const std::string& data) {
    return static_cast<uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
}

std::string noise(size_t size, uint32_t seed) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(((i + seed) * 2654435761u) >> 13);
    return data;
}

void run(const std::string& command) { ASSERT_EQ(runShell(command), 0) << command; }

// Entry name -> content, as every fixture archive holds them.
using Contents = std::map<std::string, std::string>;

Contents listedContents(const std::string& archive) {
    Contents contents;
    const PackedListing listing = listPacked(archive, false, false);
    EXPECT_EQ(listing.status, ZipStatus::Ok) << listing.detail;
    for (const PackedEntry& e : listing.entries) {
        std::string data;
        const ZipStatus read = readPackedEntry(archive, {e.name, e.crc32, e.size}, [&data](const void* p, size_t n) {
            data.append(static_cast<const char*>(p), n);
            return true;
        });
        EXPECT_EQ(read, ZipStatus::Ok) << e.name;
        EXPECT_EQ(crcOf(data), e.crc32) << e.name;
        EXPECT_EQ(e.head, data.substr(0, kPackedHeadBytes)) << e.name;
        contents[e.name] = data;
    }
    return contents;
}

class PackedFormatTest : public ::testing::TestWithParam<std::pair<const char*, const char*>> {
protected:
    PackedFormatTest() {
        writeFile(src + "/a.bin", noise(300000, 1));
        writeFile(src + "/dir/b\xC3\xA9.txt", "some text\n");
        writeFile(src + "/empty.bin", "");
    }
    TempDir dir;
    const std::string src = dir.file("src"), out = dir.file("out");
    const Contents expected{{"a.bin", noise(300000, 1)}, {"dir/b\xC3\xA9.txt", "some text\n"}, {"empty.bin", ""}};
};

// Each format made by its own tool (RAR by the builder), folders included
// in the archive: only the files are entries, and every way of reading gives
// them back.
TEST_P(PackedFormatTest, ListsReadsAndExtractsEveryFile) {
    const auto [file, command] = GetParam();
    const std::string archive = dir.file(file);
    if (std::string(command) == "rar4" || std::string(command) == "rar5") {
        std::vector<RarEntry> entries;
        for (const auto& [name, data] : expected) entries.push_back({name, data});
        writeFile(archive, command[3] == '4' ? rar4Archive(entries) : rar5Archive(entries));
    } else {
        run("cd '" + src + "' && " + command + " '" + archive + "' a.bin dir empty.bin >/dev/null");
    }
    EXPECT_EQ(listedContents(archive), expected);
    const PackedListing listing = listPacked(archive, true, true);
    const auto a = std::find_if(listing.entries.begin(), listing.entries.end(),
                                [](const PackedEntry& e) { return e.name == "a.bin"; });
    ASSERT_NE(a, listing.entries.end());
    std::string sums;
    runCapture("cd '" + src + "' && md5sum a.bin | cut -c1-32 && sha1sum a.bin | cut -c1-40", sums);
    EXPECT_EQ(a->md5 + "\n" + a->sha1 + "\n", sums);

    std::filesystem::create_directories(out);
    writeFile(out + "/b\xC3\xA9.txt", "already here");
    ASSERT_EQ(extractAllPacked(archive, out), ZipStatus::Ok);
    EXPECT_EQ(folderNames(out), (Names{"a.bin", "b\xC3\xA9 (1).txt", "b\xC3\xA9.txt", "empty.bin"}));
    EXPECT_EQ(readFile(out + "/b\xC3\xA9 (1).txt"), "some text\n");
    EXPECT_EQ(readFile(out + "/a.bin"), expected.at("a.bin"));

    const EntryKey b{"dir/b\xC3\xA9.txt", crcOf("some text\n"), 10}, big{"a.bin", crcOf(expected.at("a.bin")), 300000};
    ASSERT_EQ(extractPacked(archive, {{b, out + "/one.txt"}, {big, out + "/big"}, {b, out + "/two.txt"}}),
              ZipStatus::Ok);
    EXPECT_EQ(readFile(out + "/one.txt") + readFile(out + "/two.txt"), "some text\nsome text\n");
    EXPECT_EQ(readFile(out + "/big"), expected.at("a.bin"));
    // Right name and size, other content: not that entry; nothing is left for it.
    EXPECT_EQ(extractPacked(archive, {{{b.name, crcOf("some tex!\n"), 10}, out + "/no.txt"}}), ZipStatus::EntryGone);
    EXPECT_EQ(readPackedEntry(archive, {b.name, 1, 10}, [](const void*, size_t) { return true; }), ZipStatus::CrcError);
    EXPECT_EQ(readPackedEntry(archive, {"DIR/B\xC3\xA9.TXT", b.crc32, 10}, [](const void*, size_t) { return true; }),
              ZipStatus::EntryGone);
    EXPECT_EQ(folderNames(out),
              (Names{"a.bin", "big", "b\xC3\xA9 (1).txt", "b\xC3\xA9.txt", "empty.bin", "one.txt", "two.txt"}));
}

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
    run("cd '" + dir.path() +
        "' && gzip -c one > Game.Bin.GZ && gzip -c two > t.gz && cat Game.Bin.GZ t.gz > Both.gz &&"
        " gzip -c Empty > Empty.gz && (cat t.gz; head -c 100 /dev/zero) > Padded.gz");
    const std::pair<const char*, std::pair<const char*, std::string>> cases[] = {{"Game.Bin.GZ", {"Game.Bin", one}},
                                                                                 {"Both.gz", {"Both", one + two}},
                                                                                 {"Empty.gz", {"Empty", ""}},
                                                                                 {"Padded.gz", {"Padded", two}}};
    for (const auto& [file, entry] : cases) {
        EXPECT_EQ(listedContents(dir.file(file)), (Contents{{entry.first, entry.second}})) << file;
        const std::string out = dir.file(std::string("out-") + file);
        std::filesystem::create_directories(out);
        ASSERT_EQ(extractAllPacked(dir.file(file), out), ZipStatus::Ok) << file;
        EXPECT_EQ(readFile(out + "/" + entry.first), entry.second) << file;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PackedFormatTest,
                         ::testing::Values(std::pair{"set.7z", "7zz a -bd"}, std::pair{"set.tar", "tar -cf"},
                                           std::pair{"set.tar.gz", "tar -czf"}, std::pair{"Set.TBZ2", "tar -cjf"},
                                           std::pair{"set.tar.xz", "tar -cJf"}, std::pair{"set.rar", "rar4"},
                                           std::pair{"set5.rar", "rar5"}));

// Flips one byte `from` the end (negative) or the start of `path`.
void flipByte(const std::string& path, long from) {
    std::string data = readFile(path);
    const size_t at = from < 0 ? data.size() - static_cast<size_t>(-from) : static_cast<size_t>(from);
    data[at] = static_cast<char>(data[at] ^ 0x55);
    writeFile(path, data);
}

void cutTo(const std::string& path, double part) {
    const std::string data = readFile(path);
    writeFile(path, data.substr(0, static_cast<size_t>(static_cast<double>(data.size()) * part)));
}

struct DamageCase {
    const char* what;
    const char* file;
    std::function<void(const std::string& archive, const std::string& src)> make;
    ZipStatus expected;
};

class PackedDamageTest : public ::testing::TestWithParam<DamageCase> {};

// A damaged archive never yields a listing, and no way of reading it gives
// Ok: listing, reading an entry and extracting say the same.
TEST_P(PackedDamageTest, IsReportedWithAReasonAndYieldsNothing) {
    const DamageCase& c = GetParam();
    TempDir dir;
    const std::string src = dir.file("src"), archive = dir.file(c.file), out = dir.file("out");
    writeFile(src + "/a.bin", noise(200000, 7));
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + "\n";
    writeFile(src + "/b.txt", text);
    std::filesystem::create_directories(out);
    c.make(archive, src);
    const PackedListing listing = listPacked(archive, false, false);
    EXPECT_EQ(listing.status, c.expected) << c.what << ": " << listing.detail;
    EXPECT_TRUE(listing.entries.empty());
    EXPECT_FALSE(listing.detail.empty());
    // Entries before the damage may come out whole; the damaged one leaves nothing.
    EXPECT_NE(extractAllPacked(archive, out), ZipStatus::Ok);
    for (const std::string& name : folderNames(out)) EXPECT_EQ(name.find(".quorvane-tmp-"), std::string::npos);
}

std::function<void(const std::string&, const std::string&)> sevenZip(const std::string& options,
                                                                     std::function<void(const std::string&)> damage) {
    return [=](const std::string& archive, const std::string& src) {
        run("cd '" + src + "' && 7zz a -bd " + options + " '" + archive + "' a.bin b.txt >/dev/null");
        if (damage) damage(archive);
    };
}

std::function<void(const std::string&, const std::string&)> rar(bool five, std::vector<RarEntry> entries,
                                                                std::function<void(const std::string&)> damage = {}) {
    return [=](const std::string& archive, const std::string&) {
        writeFile(archive, five ? rar5Archive(entries) : rar4Archive(entries));
        if (damage) damage(archive);
    };
}

std::function<void(const std::string&, const std::string&)> shell(const std::string& command,
                                                                  std::function<void(const std::string&)> damage = {}) {
    return [=](const std::string& archive, const std::string& src) {
        run("cd '" + src + "' && " + command + " '" + archive + "'");
        if (damage) damage(archive);
    };
}

const std::string kJunk = noise(4000, 3);

INSTANTIATE_TEST_SUITE_P(
    Archives, PackedDamageTest,
    ::testing::Values(
        DamageCase{"truncated 7z", "t.7z", sevenZip("", [](auto& a) { cutTo(a, 0.6); }), ZipStatus::BadZipFile},
        DamageCase{"stored 7z, a data byte flipped", "s.7z", sevenZip("-mx0", [](auto& a) { flipByte(a, 5000); }),
                   ZipStatus::CrcError},
        DamageCase{"LZMA2 7z, a byte flipped", "l.7z", sevenZip("", [](auto& a) { flipByte(a, 3000); }),
                   ZipStatus::BadZipFile},
        DamageCase{"7z header byte flipped", "h.7z", sevenZip("", [](auto& a) { flipByte(a, -20); }),
                   ZipStatus::BadZipFile},
        DamageCase{"7z with a password", "p.7z", sevenZip("-pSECRET", {}), ZipStatus::Encrypted},
        DamageCase{"7z with encrypted headers", "e.7z", sevenZip("-pSECRET -mhe=on", {}), ZipStatus::Encrypted},
        DamageCase{"7z in Deflate64", "d.7z", sevenZip("-m0=Deflate64", {}), ZipStatus::UnsupportedMethod},
        DamageCase{"7z with the ARM64 filter", "arm.7z", sevenZip("-m0=ARM64 -m1=LZMA2", {}),
                   ZipStatus::UnsupportedMethod},
        DamageCase{"tar.gz, a byte flipped", "f.tar.gz",
                   shell("tar --mtime=@0 --owner=0 --group=0 --sort=name -cf - a.bin b.txt | gzip -n >",
                         [](auto& a) { flipByte(a, 2000); }),
                   ZipStatus::BadZipFile},
        DamageCase{"truncated tar.xz", "c.tar.xz", shell("tar -cJf - a.bin b.txt >", [](auto& a) { cutTo(a, 0.5); }),
                   ZipStatus::BadZipFile},
        DamageCase{"gzip, its CRC flipped", "b.txt.gz", shell("gzip -c b.txt >", [](auto& a) { flipByte(a, -6); }),
                   ZipStatus::CrcError},
        DamageCase{"truncated gzip", "b.txt.gz", shell("gzip -c b.txt >", [](auto& a) { cutTo(a, 0.5); }),
                   ZipStatus::BadZipFile},
        DamageCase{"RAR 4 compressed, junk data", "j.rar", rar(false, {{"b.txt", kJunk, true}}), ZipStatus::BadZipFile},
        DamageCase{"RAR 5 compressed, junk data", "j5.rar", rar(true, {{"b.txt", kJunk, true}}), ZipStatus::BadZipFile},
        DamageCase{"RAR 4 with a password", "p.rar", rar(false, {{"b.txt", kJunk, false, false, -1, true}}),
                   ZipStatus::Encrypted},
        DamageCase{"RAR 4 header byte flipped", "hf.rar",
                   rar(false, {{"b.txt", "xyz"}}, [](auto& a) { flipByte(a, 25); }), ZipStatus::BadZipFile},
        DamageCase{"truncated RAR 5", "c5.rar", rar(true, {{"b.txt", kJunk}}, [](auto& a) { cutTo(a, 0.5); }),
                   ZipStatus::BadZipFile},
        DamageCase{"text named .7z", "n.7z", shell("cp b.txt"), ZipStatus::BadZipFile},
        DamageCase{"plain tar named .tar.gz", "n.tar.gz", shell("tar -cf - b.txt >"), ZipStatus::BadZipFile},
        DamageCase{"tar.gz named .tar", "n.tar", shell("tar -czf - b.txt >"), ZipStatus::BadZipFile},
        DamageCase{"text named .gz", "n.gz", shell("cp b.txt"), ZipStatus::BadZipFile},
        DamageCase{"7z named .rar", "n.rar", shell("7zz a -bd -bso0 -t7z x.7z b.txt && mv x.7z"),
                   ZipStatus::BadZipFile}),
    [](const auto& param) {
        std::string name = param.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

// libarchive does not check a stored RAR entry against the CRC in its header:
// the listing then gives the data's own CRC, which no DAT will match.
TEST(PackedRarTest, AStoredEntryIsListedByTheCrcOfItsData) {
    TempDir dir;
    for (const bool five : {false, true}) {
        const std::string archive = dir.file(five ? "w5.rar" : "w4.rar");
        writeFile(archive,
                  five ? rar5Archive({{"b.txt", "xyz", false, true}}) : rar4Archive({{"b.txt", "xyz", false, true}}));
        const PackedListing listing = listPacked(archive, false, false);
        ASSERT_EQ(listing.status, ZipStatus::Ok) << listing.detail;
        ASSERT_EQ(listing.entries.size(), 1u);
        EXPECT_EQ(listing.entries[0].crc32, crcOf("xyz"));
    }
}

// libarchive's words for what no archive made here provokes: a RAR method or
// filter it lacks, and the damage it also calls "unsupported".
TEST(PackedStatusTest, OnlyWordsAboutMethodsMeanAnUnsupportedMethod) {
    const std::pair<const char*, ZipStatus> cases[] = {
        {"Unsupported compression method for RAR file.", ZipStatus::UnsupportedMethod},
        {"Parsing filters is unsupported.", ZipStatus::UnsupportedMethod},
        {"Crypto codec not supported yet (ID: 0x6F10701)", ZipStatus::Encrypted},
        {"Header CRC error", ZipStatus::BadZipFile},
        {"Unsupported extra type (0x9)", ZipStatus::BadZipFile},
    };
    for (const auto& [text, status] : cases)
        EXPECT_EQ(packedStatusFromText(text, ZipStatus::BadZipFile), status) << text;
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
    const PackedListing listing = listPacked(archive, false, false);
    ASSERT_EQ(listing.status, ZipStatus::Ok) << listing.detail;
    Names names;
    for (const PackedEntry& e : listing.entries) names.push_back(e.name);
    EXPECT_EQ(names, (Names{"../evil", "/abs/evil", "a/../../evil2", "dir/..", "ok.bin"}));
    ASSERT_EQ(extractAllPacked(archive, out), ZipStatus::Ok);
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
    const std::string out = dir.file("out");
    std::filesystem::create_directories(out);
    for (const bool five : {false, true}) {
        for (const int64_t stated : {10, 5000}) {
            RarEntry entry{"a.bin", std::string(1000, 'x')};
            entry.statedSize = stated;
            const std::string archive = dir.file(five ? "lie5.rar" : "lie4.rar");
            writeFile(archive, five ? rar5Archive({entry}) : rar4Archive({entry}));
            const PackedListing listing = listPacked(archive, false, false);
            EXPECT_EQ(listing.status, ZipStatus::BadZipFile) << five << " " << stated;
            EXPECT_NE(listing.detail.find(std::to_string(stated) + " bytes"), std::string::npos) << listing.detail;
            EXPECT_EQ(extractAllPacked(archive, out), ZipStatus::BadZipFile);
            EXPECT_TRUE(folderNames(out).empty());
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
    ASSERT_EQ(listing.status, ZipStatus::Ok) << listing.detail;
    ASSERT_EQ(listing.entries.size(), 1u);
    EXPECT_EQ(listing.entries[0].name, "zeros.bin");
    EXPECT_EQ(listing.entries[0].size, uint64_t{268435456});
    EXPECT_LT(peakMemoryKiB() - before, 32 * 1024);

    const EntryKey small{"zeros.bin", listing.entries[0].crc32, 1 << 20};
    uint64_t streamed = 0;
    EXPECT_EQ(readPackedEntry(bomb, small, [&streamed](const void*, size_t n) { return (streamed += n) > 0; }),
              ZipStatus::CrcError);
    EXPECT_LE(streamed, uint64_t{1} << 20);
    EXPECT_EQ(extractPacked(bomb, {{small, out + "/zeros.bin"}}), ZipStatus::EntryGone);
    EXPECT_TRUE(folderNames(out).empty());
}

TEST(PackedOpenTest, AFileThatCannotBeOpenedSaysWhy) {
    TempDir dir;
    writeFile(dir.file("file"), "x");
    std::filesystem::create_directories(dir.file("folder.7z"));
    const std::pair<std::string, ZipStatus> cases[] = {
        {dir.file("absent.7z"), ZipStatus::FileNotFound},
        {dir.file("file/under.rar"), ZipStatus::FileNotFound},
        {dir.file("folder.7z"), ZipStatus::FileUnreadable},
    };
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
    run("mkdir '" + dir.file("src") + "' && head -c 400000 /dev/urandom > '" + dir.file("src/a.bin") + "'");
    run("cd '" + dir.file("src") +
        "' && 7zz a -bd -mx0 ../a.7z a.bin >/dev/null && tar -czf ../a.tar.gz a.bin &&"
        " gzip -c a.bin > ../a.bin.gz");
    for (const char* file : {"a.7z", "a.tar.gz", "a.bin.gz"}) {
        for (const int call : {3, 5}) {
            FailingFileOps ops(call, EIO);
            ScopedFileOps scope(ops);
            const PackedListing listing = listPacked(dir.file(file), false, false);
            EXPECT_EQ(listing.status, ZipStatus::FileUnreadable) << file << " call " << call << ": " << listing.detail;
        }
    }
}

// Two entries wanted from a 7z, a failure at each disk call in turn: each
// target is then absent or whole, and no temporary file is left.
TEST(PackedExtractTest, AFailureAtAnyDiskCallLeavesNoPartialFile) {
    TempDir dir;
    const std::string archive = dir.file("set.7z"), out = dir.file("out");
    const std::string a = noise(400000, 5), b = "second entry";
    writeFile(dir.file("src/a.bin"), a);
    writeFile(dir.file("src/b.bin"), b);
    run("cd '" + dir.file("src") + "' && 7zz a -bd '" + archive + "' a.bin b.bin >/dev/null");
    const std::vector<std::pair<EntryKey, std::string>> wanted{{{"a.bin", crcOf(a), a.size()}, out + "/a.bin"},
                                                               {{"b.bin", crcOf(b), b.size()}, out + "/b.bin"}};
    FailingFileOps counter;
    {
        ScopedFileOps scope(counter);
        std::filesystem::create_directories(out);
        ASSERT_EQ(extractPacked(archive, wanted), ZipStatus::Ok);
    }
    ASSERT_EQ(readFile(out + "/a.bin"), a);
    // A target already taken is not replaced.
    EXPECT_EQ(extractPacked(archive, {wanted[1]}), ZipStatus::Error);
    EXPECT_EQ(folderNames(out), (Names{"a.bin", "b.bin"}));
    int failures = 0;
    for (int n = 1; n <= counter.calls(); ++n) {
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        FailingFileOps ops(n, ENOSPC);
        ScopedFileOps scope(ops);
        const ZipStatus status = extractPacked(archive, wanted);
        failures += status != ZipStatus::Ok;
        for (const std::string& name : folderNames(out)) {
            EXPECT_EQ(readFile(out + "/" + name), name == "a.bin" ? a : b) << "call " << n;
        }
        if (status == ZipStatus::Ok) {
            EXPECT_EQ(folderNames(out).size(), 2u) << "call " << n;
        }
    }
    // Only dating the two files and closing the archive may fail without
    // failing the extraction.
    EXPECT_EQ(failures, counter.calls() - 3);
}

}  // namespace
}  // namespace quorvane::testing
