#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "archive/zip_status.h"
#include "engine/analysis_text.h"
#include "engine/file_collection_ops.h"
#include "engine/identification.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

RomMatch rom(const std::string& name, const std::string& game, const std::string& system, const std::string& st) {
    return RomMatch(name, game, system, st, "", "", "", "");
}

// A file not found under its size is looked up under "-" and keeps that size.
TEST(Identification, FallsBackToSizeDashAndKeepsIt) {
    struct Case {
        std::string size, known;  // the file's size, the one size the catalogue has
        size_t matches;
        std::string sizeAfter, lookups;
    };
    for (const Case& c : {Case{"10", "-", 1, "-", "ABCD1234/10 ABCD1234/- "}, Case{"7", "7", 1, "7", "ABCD1234/7 "},
                          Case{"8", "7", 0, "-", "ABCD1234/8 ABCD1234/- "}}) {
        SCOPED_TRACE(c.size);
        std::string lookups;
        RomFinder find = [&](std::vector<RomMatch>& out, const std::string& crc, const std::string& size,
                             const std::string&, const std::string&) {
            lookups += crc + "/" + size + " ";
            if (size == c.known) out.push_back(rom("r", "g", "S", "N"));
        };
        File f("x.bin");
        f.crc = "ABCD1234";
        f.size = c.size;
        EXPECT_EQ(identifyFile(ContainerFiles("x.bin"), f, {find, {}}).size(), c.matches);
        EXPECT_EQ(f.size + " " + lookups, c.sizeAfter + " " + c.lookups);
    }
}

TEST(Identification, ClassifiesEveryMatchIntoOneClassCaseSensitively) {
    // ROM system and status, then the archive and entry found: letter case of
    // either, or another system, is not in place.
    struct Case {
        const char* system, *status, *archive, *entry;
        MatchClass expected;
    };
    for (const Case& c : {Case{"S", "N", "Game.zip", "a.bin", MatchClass::InPlace},
                          Case{"S", "Y", "Game.zip", "a.bin", MatchClass::InPlace},
                          Case{"S", "N", "game.zip", "a.bin", MatchClass::MisplacedMissing},
                          Case{"S", "N", "Game.zip", "A.bin", MatchClass::MisplacedMissing},
                          Case{"S", "P", "Other.zip", "a.bin", MatchClass::MisplacedFound},
                          Case{"T", "N", "Game.zip", "a.bin", MatchClass::ForeignMissing},
                          Case{"T", "Y", "Game.zip", "a.bin", MatchClass::ForeignFound}})
        EXPECT_EQ(classifyMatch(rom("a.bin", "Game", c.system, c.status), "S", c.archive, c.entry), c.expected)
            << c.system << c.status << " " << c.archive << " " << c.entry;
    // A loose file is in place only when its own name is both.
    EXPECT_TRUE(isInPlace(rom("x.zip", "x", "S", "N"), "S", "x.zip", "x.zip"));
}

TEST(AnalysisText, StampsAndBackupNamesUseTheDocumentedPatterns) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const std::time_t when = 1700000000;  // 14 Nov 2023 22:13:20 UTC
    EXPECT_EQ(analysis_text::timeStamp(when), "2023-11-14 22:13:20");
    EXPECT_EQ(analysis_text::backupFolderName(when), "14.11.23 - 22.13.20");
    if (old) ::setenv("TZ", saved.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
}

TEST(FileCollectionLoad, LooseFilesAreNamedByTheirBareNameWhateverTheFolder) {
    TempDir dir;
    // A folder whose name holds ".zip" does not make its files archives.
    writeFile(dir.file("old.zip.d/rom.bin"), "hello");
    ContainerFiles c(dir.file("old.zip.d/rom.bin"));
    ASSERT_EQ(loadCollection(c, {}), ZipStatus::Ok);
    ASSERT_EQ(c.files.size(), 1u);
    EXPECT_FALSE(c.isZip);
    EXPECT_EQ(c.files[0].name + " " + c.files[0].size + " " + c.files[0].crc, "rom.bin 5 3610a686");
    ContainerFiles gone(dir.file("nothing.bin"));
    EXPECT_EQ(loadCollection(gone, {}), ZipStatus::FileNotFound);
    EXPECT_TRUE(gone.files.empty());
}

}  // namespace
}  // namespace quorvane::testing
