// Files a DAT lists in another form than the file has: without its copier
// header, or by MD5/SHA-1 alone.
#include "archive/copier_headers.h"
#include "archive/digest_set.h"
#include "core/file_util.h"
#include "core/settings_keys.h"
#include "engine/engine_fixture.h"
#include "engine/rebuild_job.h"
#include "engine/scan_job.h"
#include "tools/rom_identifier.h"

namespace quorvane::testing {
namespace {

std::string body(size_t size, char seed) {
    std::string out(size, '\0');
    // Printable, as zipContents shows entries as text.
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>('a' + (seed + i * 7 + i / 26) % 26);
    return out;
}

struct Headered {
    const char* kind;
    std::string header;
    std::string rest;
};

std::vector<Headered> headeredRoms() {
    return {{"iNES", std::string("NES\x1a\x02\x01", 6) + std::string(10, '0'), body(16384, 'n')},
            {"FDS", std::string("FDS\x1a\x01", 5) + std::string(11, '0'), body(65500, 'f')},
            {"Lynx", "LYNX" + std::string(60, '1'), body(2048, 'l')},
            {"Atari 7800", std::string("\x01" "ATARI7800") + std::string(118, ' '), body(4096, 'a')},
            {"SNES copier", std::string(512, '\0'), body(3072, 's')}};
}

std::string digestOf(const std::string& content, bool md5) {
    DigestSet set(false, md5, !md5);
    set.update(content.data(), content.size());
    std::string crc, md5Text, sha1Text;
    set.finish(crc, md5Text, sha1Text);
    return md5 ? md5Text : sha1Text;
}

TEST(CopierHeaders, DetectsEachRuleAndComputesTheRestsCrcFromTheHeaderAlone) {
    for (const Headered& rom : headeredRoms()) {
        SCOPED_TRACE(rom.kind);
        const std::string whole = rom.header + rom.rest;
        const auto found = detectCopierHeader(std::string_view(whole).substr(0, kHeaderProbeBytes), whole.size());
        ASSERT_TRUE(found);
        EXPECT_EQ(found->name, rom.kind);
        EXPECT_EQ(found->bytes, rom.header.size());
        EXPECT_TRUE(mayCarryCopierHeader(whole.size()));
        const auto wholeCrc = static_cast<uint32_t>(std::stoul(crcOf(whole), nullptr, 16));
        EXPECT_EQ(crcHex(crcAfterHeader(wholeCrc, rom.header, whole.size()), false), crcOf(rom.rest));
    }
    // A signature needs something after the header; no signature and the wrong size is no header.
    EXPECT_FALSE(detectCopierHeader(std::string("NES\x1a", 4) + std::string(12, '\0'), 16));
    EXPECT_FALSE(detectCopierHeader(body(600, 'x'), 1024));
    EXPECT_FALSE(mayCarryCopierHeader(1000));
    for (const auto& [rule, kind] : {std::pair{"No-Intro_NES.xml", "iNES"}, {"No-Intro_SNES.xml", "SNES copier"},
                                     {"No-Intro_FDS.xml", "FDS"}, {"No-Intro_LNX.xml", "Lynx"},
                                     {"No-Intro_A7800.xml", "Atari 7800"}})
        EXPECT_EQ(headerRuleNamed(rule)->name, kind) << rule;
    EXPECT_FALSE(headerRuleNamed("Custom_GBA.xml"));
}

TEST(CrcLessRows, ShareTheCrcIndexWithoutBeingFoundByAnotherRowsKey) {
    TempDir dir;
    Catalogue db(dir.file("db"));
    // "12345678" + "9" and "" + "123456789" are the same key text.
    ASSERT_TRUE(db.addRom({.system = "S", .game = "ByCrc", .crc = "12345678", .romName = "a", .size = "9"}));
    ASSERT_TRUE(db.addRom({.system = "S", .game = "BySha1", .sha1 = "aa11", .romName = "b", .size = "123456789"}));
    ASSERT_TRUE(db.addRom({.system = "S", .game = "ByMd5", .md5 = "bb22", .romName = "c", .size = "123456789"}));
    const auto games = [&](const char* crc, const char* size, const char* md5, const char* sha1) {
        std::vector<RomMatch> found;
        db.findRom(found, crc, size, md5, sha1);
        std::string out;
        for (const RomMatch& m : found) out += m.game + " ";
        return out;
    };
    EXPECT_EQ(games("12345678", "9", "", ""), "ByCrc ");
    EXPECT_EQ(games("", "123456789", "", "aa11"), "BySha1 ");
    EXPECT_EQ(games("", "123456789", "", "") + games("", "123456789", "ffff", ""), "");  // no digest is no evidence
    const DigestKinds kinds = db.digestsOfCrcLessRows("123456789");
    EXPECT_TRUE(kinds.md5 && kinds.sha1);
    EXPECT_FALSE(db.digestsOfCrcLessRows("9").any());
    db.setHave("", "123456789", "b", "BySha1", "S");
    db.setHave("12345678", "9", "b", "BySha1", "S");  // another key: no change
    std::string letters;  // games in name order: ByCrc, ByMd5, BySha1
    for (const Game& game : db.getRomset("S", 0).games) letters += game.statusString;
    EXPECT_EQ(letters, "NNY");
}

class HeaderedRomTest : public EngineTest {
protected:
    void SetUp() override {
        settings.settingsPath = dir.file("settings/quorvane.INI");
        // With the MD5 of the content after the header, which a file's own MD5 must then match.
        for (const Headered& rom : roms)
            ASSERT_TRUE(db->addRom({.system = "Sys", .game = rom.kind, .crc = crcOf(rom.rest),
                                    .md5 = digestOf(rom.rest, true), .romName = "rom.bin",
                                    .size = std::to_string(rom.rest.size())}));
    }
    std::string whole(size_t i) const { return roms[i].header + roms[i].rest; }
    std::vector<Headered> roms = headeredRoms();
    static constexpr const char* kAllYes = "YYYYY";
    std::string all() {
        std::string out;
        for (const Headered& rom : roms) out += statusOf("Sys", rom.kind);
        return out;
    }
};

TEST_F(HeaderedRomTest, HeaderedAndHeaderlessFilesInTheirSetsAreHadAndIdentified) {
    settings.useMD5 = true;  // the file's digests are then compared without the header too
    std::vector<std::pair<std::string, Entries>> zips;
    std::vector<std::string> paths;
    for (size_t i = 0; i < roms.size(); ++i) {
        paths.push_back(f() + "/" + roms[i].kind + ".zip");
        zips.push_back({paths.back(), {{"rom.bin", i % 2 ? roms[i].rest : whole(i)}}});
    }
    makeZips(zips);
    ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Sys")));
    EXPECT_EQ(all(), kAllYes);
    EXPECT_EQ(host.eventsOf("finding"), Lines{});
    const std::vector<RomMatch> hits = identifyArchives(*db, paths, true, false);
    ASSERT_EQ(hits.size(), roms.size());
    for (size_t i = 0; i < roms.size(); ++i) EXPECT_EQ(hits[i].game, roms[i].kind);
}

TEST_F(HeaderedRomTest, FixAndRebuildWriteTheContentAsFoundOrWithoutItsHeader) {
    for (const char* mode : {"keep", "remove"}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(setSetting(settings, "headers", mode, nullptr), "");
        ASSERT_EQ(loadSettings({dir.file("settings/"), dir.file("data/")}).removeHeaders,
                  std::string(mode) == "remove");
        runShell("rm -rf '" + f() + "' '" + dir.file("src") + "'");
        db->cleanStatus();
        // iNES and FDS misplaced in the folder (fix); the others loose in the sources (rebuild).
        makeZips({{f() + "/misplaced.zip", {{"nes.nes", whole(0)}, {"disk.fds", whole(1)}}}});
        for (size_t i = 2; i < roms.size(); ++i) writeFile(dir.file("src/" + std::to_string(i) + ".bin"), whole(i));
        ASSERT_TRUE(run(std::make_unique<FixJob>(db, host, settings, "Sys")));
        ASSERT_TRUE(run(std::make_unique<RebuildJob>(db, host, settings, dir.file("src"))));
        EXPECT_EQ(all(), kAllYes);
        const bool remove = std::string(mode) == "remove";
        for (size_t i = 0; i < roms.size(); ++i)
            EXPECT_EQ(zipContents(f() + "/" + roms[i].kind + ".zip"), "rom.bin=" + (remove ? roms[i].rest : whole(i)))
                << roms[i].kind;
        db->cleanStatus();
        ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Sys")));
        EXPECT_EQ(all(), kAllYes);
    }
    EXPECT_EQ(setSetting(settings, "headers", "strip", nullptr), "headers takes keep or remove, not \"strip\".");
}

TEST_F(EngineTest, RomsListedByDigestAloneAreFoundWhateverTheDigestSettings) {
    const std::string bySha1 = body(700, 'h'), byMd5 = body(700, 'm'), sameSize = body(700, 'z');
    ASSERT_TRUE(db->addRom({.system = "Sys", .game = "H", .sha1 = digestOf(bySha1, false), .romName = "h.bin", .size = "700"}));
    ASSERT_TRUE(db->addRom({.system = "Sys", .game = "M", .md5 = digestOf(byMd5, true), .romName = "m.bin", .size = "700"}));
    makeZips({{f() + "/H.zip", {{"h.bin", bySha1}}}, {f() + "/elsewhere.zip", {{"m.bin", byMd5}, {"z.bin", sameSize}}}});
    ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Sys")));
    EXPECT_EQ(statuses("H M"), "Y P");
    const Lines findings = host.eventsOf("finding");
    EXPECT_NE(std::find(findings.begin(), findings.end(), "z.bin cannot be identified."), findings.end());

    const std::vector<RomMatch> hits = identifyArchives(*db, {f() + "/elsewhere.zip"}, false, false);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].game, "M");

    ASSERT_TRUE(run(std::make_unique<FixJob>(db, host, settings, "Sys")));
    EXPECT_EQ(statuses("H M"), "Y Y");
    EXPECT_EQ(zipContents(f() + "/M.zip"), "m.bin=" + byMd5);
    EXPECT_EQ(backupContents(), (Lines{"Sys/elsewhere.zip/m.bin=" + byMd5, "Sys/elsewhere.zip/z.bin=" + sameSize}));

    runShell("rm '" + f() + "/M.zip'");
    writeFile(dir.file("src/loose.bin"), byMd5);
    db->cleanStatus();
    ASSERT_TRUE(run(std::make_unique<RebuildJob>(db, host, settings, dir.file("src"))));
    EXPECT_EQ(zipContents(f() + "/M.zip"), "m.bin=" + byMd5);
    EXPECT_EQ(statuses("M"), "Y");
}

}  // namespace
}  // namespace quorvane::testing
