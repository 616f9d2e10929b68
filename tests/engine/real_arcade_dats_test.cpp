// Published arcade DATs in each merge mode: every place holds one content,
// merged mode gives clones no set, and an empty folder scans as missing.
#include <map>

#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/scan_job.h"
#include "engine/set_layout.h"
#include "import/import_job.h"

namespace quorvane::testing {
namespace {

class RealArcadeDats : public EngineTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RealArcadeDats, EachModePutsOneContentInEachPlace) {
    const std::string dat = std::string(QUORVANE_SOURCE_DIR "/../shared/dats/") + GetParam();
    if (!isRegularFile(dat)) GTEST_SKIP() << "no shared DAT folder: " << GetParam();
    settings.databasesDir = dir.file("databases/");
    ASSERT_TRUE(ensureDatabasesFolder(settings));
    db = std::make_shared<Catalogue>(settings.currentDatabasePath());
    ImportJob import(host, db, settings, {dat});
    ASSERT_TRUE(import.prepare());
    import.execute();
    const std::vector<std::string> systems = db->getSystems();
    ASSERT_EQ(systems.size(), 1u);
    const std::string& system = systems[0];
    std::map<std::string, std::string> parentOf;
    for (const GameFacts& facts : db->gameFacts(system)) parentOf[facts.game] = facts.cloneOf;
    makeFolders(systemFolder(system));
    for (MergeMode mode : {MergeMode::Split, MergeMode::Merged, MergeMode::NonMerged, MergeMode::FullNonMerged}) {
        SCOPED_TRACE(mergeModeName(mode));
        const SetLayout layout = SetLayout::load(*db, system, mode);
        std::map<std::pair<std::string, std::string>, std::string> contentAt;
        size_t rows = 0;
        db->forEachSystemRow(system, [&](const RomRow& row) {
            ++rows;
            RomMatch match(row.romName, row.game, row.system, "N", row.md5, row.sha1, row.cloneOf, row.romOf);
            const Slot place = layout.slotOf(match);
            const std::string content = row.crc + "/" + row.size + "/" + row.sha1;
            const auto [at, added] = contentAt.emplace(std::pair{place.game, place.name}, content);
            EXPECT_EQ(at->second, content) << row.game << "/" << row.romName << " at " << place.game << "/" << place.name;
            if (mode == MergeMode::Merged) {
                EXPECT_EQ(parentOf[place.game], "") << place.game << " is a clone";
            }
            if (mode == MergeMode::FullNonMerged) {
                EXPECT_EQ(place.game, row.game);
            }
        });
        EXPECT_GT(rows, 0u);
        settings.mergeMode = mode;
        ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, system)));
        for (const Game& game : db->getRomset(system, 0).games) EXPECT_EQ(game.state(), GameState::Missing) << game.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Dats, RealArcadeDats,
                         ::testing::Values("xml/logiqx-zinc-v1.1.xml.dat", "parenthesised/logiqx-zinc-v1.1.dat",
                                           "sectioned/logiqx-zinc-v1.1.dat",
                                           "xml/progettosnaps-mame-bios-0.287.xml.dat",
                                           "softlist/mame-softlist-a7800.xml"));

}  // namespace
}  // namespace quorvane::testing
