// A scan's quick look at a file in split mode must reach what the full
// identification and marking reach: the same rows kept, the same rows given
// Have, the same verdict on whether the file is in place.
#include <random>
#include <string>
#include <vector>

#include "engine/engine_fixture.h"
#include "engine/identification.h"
#include "engine/placements.h"

namespace quorvane::testing {
namespace {

class PlacementsTest : public EngineTest {
protected:
    // Rows whose keys collide often: a few CRCs and sizes among many games,
    // clones and BIOS references within and across systems, and MD5s that
    // agree, disagree or are absent.
    void addRandomRows(std::mt19937& random) {
        auto pick = [&random](const std::vector<std::string>& from) {
            return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
        };
        for (int i = 0; i < 70; ++i) {
            RomRow row{.system = pick(kSystems), .game = pick(kGames), .crc = pick(kCrcs), .md5 = pick(kMd5s),
                       .romName = pick(kNames), .size = pick(kSizes), .version = "1", .author = "t"};
            if (random() % 3 == 0) row.cloneOf = pick(kGames);
            if (random() % 4 == 0) row.romOf = pick(kGames);
            ASSERT_TRUE(db->addRom(row)) << db->lastError();
            rows.push_back(row);
        }
    }
    std::vector<RomRow> rows;
    const std::vector<std::string> kSystems{"Sys", "Sys", "Other"};
    const std::vector<std::string> kGames{"g0", "g1", "g2", "g3", "g4", "g5"};
    const std::vector<std::string> kCrcs{"0000000a", "0000000b", "0000000c", "0000000d", "0000000e",
                                         "0000000f", "00000010", "00000011"};
    const std::vector<std::string> kNames{"r0", "r1", "r2"};
    const std::vector<std::string> kSizes{"10", "20", "30"};
    const std::vector<std::string> kMd5s{"", "", "aa", "bb"};
    const std::vector<std::string> kContainers{"g0.zip", "g1.zip", "g2", "G3.zip", "g4.7z", "x.zip"};
};

TEST_F(PlacementsTest, QuickLookReachesWhatIdentifyingAndMarkingReach) {
    std::mt19937 random(7);
    addRandomRows(random);
    Placements reference(*db, settings), quick(*db, settings);
    const RomLookup find = reference.lookup();
    auto pick = [&random](const std::vector<std::string>& from) {
        return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
    };
    int found = 0, inPlace = 0, notInPlace = 0;
    for (int i = 0; i < 600; ++i) {
        File file(pick(kNames));
        file.crc = random() % 8 == 0 ? "00000001" : pick(kCrcs);
        file.size = pick(kSizes);
        file.md5 = pick(kMd5s);
        std::string container = pick(kContainers);
        if (random() % 2 == 0) {
            // A file of a row, in that row's set.
            const RomRow& row = rows[random() % rows.size()];
            file = File(row.romName);
            file.crc = row.crc;
            file.size = row.size;
            file.md5 = row.md5;
            container = row.game + (random() % 4 == 0 ? "" : ".zip");
        }
        SCOPED_TRACE(container + "/" + file.name + " " + file.crc + " " + file.size + " md5 " + file.md5);

        std::vector<RomMatch> matches;
        find.find(matches, file.crc, file.size, file.md5, file.sha1);
        // Each look adds its list behind one made before.
        FoundRowLists quickRows, referenceRows;
        const std::vector<FoundRow> before{{99, true}};
        quickRows.addList(before);
        referenceRows.addList(before);
        std::vector<std::uint64_t> quickMarked{1}, referenceMarked{1};
        const std::optional<bool> quickInPlace = quick.markInPlace(file, "Sys", container, &quickRows, &quickMarked);
        if (matches.empty()) {
            EXPECT_FALSE(quickInPlace);
            EXPECT_EQ(quickRows, referenceRows);
            EXPECT_EQ(quickMarked, (std::vector<std::uint64_t>{1}));
            continue;
        }
        ++found;
        bool referenceInPlace = true;
        for (size_t m = 0; m < matches.size(); ++m) {
            if (!isInPlace(matches[m], "Sys", container, file.name)) {
                referenceInPlace = false;
                continue;
            }
            reference.markMatch(m, RomStatus::Have, &referenceMarked);
        }
        ASSERT_TRUE(quickInPlace);
        EXPECT_EQ(*quickInPlace, referenceInPlace);
        reference.addLastRows(referenceRows);
        EXPECT_EQ(quickRows, referenceRows);
        EXPECT_EQ(quickMarked, referenceMarked);
        ++(referenceInPlace ? inPlace : notInPlace);
    }
    // The rows make every outcome common enough to be tried many times.
    EXPECT_GT(found, 200);
    EXPECT_GT(inPlace, 10);
    EXPECT_GT(notInPlace, 100);
}

TEST_F(PlacementsTest, QuickLookLeavesOtherModesToTheFullIdentification) {
    addRom("Sys", "g0", "r0", "content");
    settings.systemMergeMode["Other"] = MergeMode::Merged;
    Placements placements(*db, settings);
    File file("r0");
    file.crc = crcOf("content");
    file.size = "7";
    std::vector<std::uint64_t> marked;
    EXPECT_FALSE(placements.markInPlace(file, "Sys", "g0.zip", nullptr, &marked));
    EXPECT_TRUE(marked.empty());
    EXPECT_EQ(statusOf("Sys", "g0"), "N");
}

}  // namespace
}  // namespace quorvane::testing
