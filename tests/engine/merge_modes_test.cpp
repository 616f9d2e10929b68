// An arcade system stored in each merge mode: scan, fix from every mode into
// every other, and rebuild.
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/fix_job.h"
#include "engine/folder_listing.h"
#include "engine/rebuild_job.h"
#include "engine/scan_job.h"

namespace quorvane::testing {
namespace {

// A BIOS, a device, a parent booting the BIOS with the device, its clone
// (one ROM shared, one of its own, one whose name the parent uses for other
// content) and a game on its own. Rows as an import of a MAME list stores
// them: a ROM held by the parent or BIOS names it.
struct Row {
    const char* game;
    const char* rom;
    const char* content;
    const char* cloneOf;
    const char* romOf;
};
constexpr Row kRows[] = {
    {"bios", "b.rom", "bios-b", "", ""},     {"dev", "d.rom", "dev-d", "", ""},
    {"pa", "p1.rom", "pa-p1", "", ""},       {"pa", "p2.rom", "pa-p2", "", ""},
    {"pa", "b.rom", "bios-b", "", "bios"},   {"pa", "d.rom", "dev-d", "", "dev"},
    {"cl", "p1.rom", "pa-p1", "pa", ""},     {"cl", "c2.rom", "cl-c2", "", ""},
    {"cl", "p2.rom", "cl-p2", "", ""},       {"cl", "b.rom", "bios-b", "", "bios"},
    {"cl", "d.rom", "dev-d", "", "dev"},     {"solo", "s1.rom", "solo-s1", "", ""},
};

using Sets = std::map<std::string, std::set<std::string>>;  // zip name -> "entry=content"

// What a complete collection holds in each mode.
Sets layoutOf(MergeMode mode) {
    const Sets common{{"bios.zip", {"b.rom=bios-b"}}, {"dev.zip", {"d.rom=dev-d"}}, {"solo.zip", {"s1.rom=solo-s1"}}};
    Sets own;
    switch (mode) {
        case MergeMode::Split:
            own = {{"pa.zip", {"p1.rom=pa-p1", "p2.rom=pa-p2"}}, {"cl.zip", {"c2.rom=cl-c2", "p2.rom=cl-p2"}}};
            break;
        case MergeMode::Merged:
            own = {{"pa.zip", {"p1.rom=pa-p1", "p2.rom=pa-p2", "c2.rom=cl-c2", "cl/p2.rom=cl-p2"}}};
            break;
        case MergeMode::NonMerged:
            own = {{"pa.zip", {"p1.rom=pa-p1", "p2.rom=pa-p2"}},
                   {"cl.zip", {"p1.rom=pa-p1", "c2.rom=cl-c2", "p2.rom=cl-p2"}}};
            break;
        case MergeMode::FullNonMerged:
            own = {{"pa.zip", {"p1.rom=pa-p1", "p2.rom=pa-p2", "b.rom=bios-b", "d.rom=dev-d"}},
                   {"cl.zip", {"p1.rom=pa-p1", "c2.rom=cl-c2", "p2.rom=cl-p2", "b.rom=bios-b", "d.rom=dev-d"}}};
            break;
    }
    own.insert(common.begin(), common.end());
    return own;
}

class MergeModeTest : public EngineTest {
protected:
    void SetUp() override {
        for (const Row& r : kRows)
            ASSERT_TRUE(db->addRom({.system = "Arc", .game = r.game, .crc = crcOf(r.content), .romName = r.rom,
                                    .size = std::to_string(std::string(r.content).size()), .cloneOf = r.cloneOf,
                                    .romOf = r.romOf, .version = "1", .author = "t"}));
        for (const GameFacts& facts : {GameFacts{"bios", SetKind::Bios, "", ""},
                                       {"dev", SetKind::Device, "", ""},
                                       {"pa", SetKind::Game, "", "bios"},
                                       {"cl", SetKind::Game, "pa", "bios"}})
            ASSERT_TRUE(db->addGameFacts("Arc", "1", "t", facts));
        makeFolders(folder());
    }
    std::string folder() const { return systemFolder("Arc"); }
    void emptyFolder() {
        std::filesystem::remove_all(folder());
        makeFolders(folder());
    }
    void useMode(MergeMode mode) { settings.systemMergeMode["Arc"] = mode; }

    void writeCollection(const Sets& sets) {
        std::vector<std::pair<std::string, Entries>> zips;
        for (const auto& [zip, entries] : sets) {
            Entries list;
            for (const std::string& e : entries) list.emplace_back(e.substr(0, e.find('=')), e.substr(e.find('=') + 1));
            zips.emplace_back(folder() + "/" + zip, list);
        }
        makeZips(zips);
    }
    Sets collection() const {
        Sets out;
        for (const std::string& name : listPlainFiles(folder())) {
            std::istringstream entries(zipContents(folder() + "/" + name));
            for (std::string e; entries >> e;) out[name].insert(e);
        }
        return out;
    }
    // Every game's status letters, "game:letters" in name order.
    std::string allStatuses() {
        std::string out;
        for (const Game& g : db->getRomset("Arc", 0).games) out += g.name + ":" + g.statusString + " ";
        return out;
    }
    std::string complete() {
        std::string out;
        for (const Game& g : db->getRomset("Arc", 0).games) out += g.name + ":" + std::string(g.roms.size(), 'Y') + " ";
        return out;
    }
};

constexpr MergeMode kModes[] = {MergeMode::Split, MergeMode::Merged, MergeMode::NonMerged, MergeMode::FullNonMerged};

TEST_F(MergeModeTest, ACompleteCollectionScansCompleteInItsOwnMode) {
    // With another mode as the default, split is looked up through the
    // layout rather than the catalogue's own split lookups.
    for (const auto& [mode, global] : {std::pair{MergeMode::Split, MergeMode::Split}, {MergeMode::Split, MergeMode::Merged},
                                      {MergeMode::Merged, MergeMode::Split}, {MergeMode::NonMerged, MergeMode::Split},
                                      {MergeMode::FullNonMerged, MergeMode::Split}}) {
        SCOPED_TRACE(std::string(mergeModeName(mode)) + ", default " + mergeModeName(global));
        settings.mergeMode = global;
        emptyFolder();
        writeCollection(layoutOf(mode));
        useMode(mode);
        ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Arc")));
        EXPECT_EQ(allStatuses(), complete());
        // The same sets read in another mode are not complete there.
        useMode(mode == MergeMode::Merged ? MergeMode::Split : MergeMode::Merged);
        ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Arc")));
        EXPECT_NE(allStatuses(), complete());
    }
}

TEST_F(MergeModeTest, AFixConvertsBetweenEveryPairOfModesLosingNothing) {
    for (MergeMode from : kModes) {
        for (MergeMode to : kModes) {
            if (from == to) continue;
            SCOPED_TRACE(std::string(mergeModeName(from)) + " to " + mergeModeName(to));
            emptyFolder();
            std::filesystem::remove_all(dir.file("Backup"));
            writeCollection(layoutOf(from));
            useMode(to);
            ASSERT_TRUE(run(std::make_unique<FixJob>(db, host, settings, "Arc")));
            EXPECT_EQ(collection(), layoutOf(to));
            EXPECT_EQ(allStatuses(), complete());
            // Every entry removed from a set is in the backup folder.
            std::multiset<std::string> before, after;
            for (const auto& [zip, entries] : layoutOf(from))
                for (const std::string& e : entries) before.insert(e.substr(e.find('=') + 1));
            for (const auto& [zip, entries] : layoutOf(to))
                for (const std::string& e : entries) after.insert(e.substr(e.find('=') + 1));
            std::multiset<std::string> removed, backedUp;
            std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                                std::inserter(removed, removed.end()));
            for (const std::string& b : backupContents()) backedUp.insert(b.substr(b.find('=') + 1));
            EXPECT_TRUE(std::includes(backedUp.begin(), backedUp.end(), removed.begin(), removed.end()));
            ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Arc")));
            EXPECT_EQ(allStatuses(), complete());
        }
    }
}

TEST_F(MergeModeTest, ARebuildWritesTheSetsOfTheMode) {
    settings.sourcedir = dir.file("source");
    makeFolders(settings.sourcedir);
    for (const Row& r : kRows) writeFile(settings.sourcedir + "/" + r.content + ".bin", r.content);
    for (MergeMode mode : kModes) {
        SCOPED_TRACE(mergeModeName(mode));
        emptyFolder();
        db->cleanSystemStatus("Arc");
        useMode(mode);
        host.dupesAnswers.push_back({dupesBehaviourFor(DupesChoice::AlwaysAll), {}});
        ASSERT_TRUE(run(std::make_unique<RebuildJob>(db, host, settings, settings.sourcedir)));
        EXPECT_EQ(collection(), layoutOf(mode));
        EXPECT_EQ(allStatuses(), complete());
    }
}

TEST_F(EngineTest, MergedModeOnACatalogueWithoutParentsSaysToImportAgain) {
    addRom("Old", "pa", "p1.rom", "pa-p1");
    ASSERT_TRUE(db->addRom({.system = "Old", .game = "cl", .crc = crcOf("pa-p1"), .romName = "p1.rom", .size = "5",
                            .cloneOf = "pa", .version = "1", .author = "t"}));
    makeFolders(systemFolder("Old"));
    const std::string warning = "Warning: the catalogue of Old does not say which games are clones of which; import "
                                "its DAT again before using merged mode.";
    settings.mergeMode = MergeMode::NonMerged;
    ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Old")));
    settings.mergeMode = MergeMode::Merged;
    ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, "Old")));
    const std::vector<std::string> lines = transcript();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), warning), 1);
}

}  // namespace
}  // namespace quorvane::testing
