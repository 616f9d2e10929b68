// Random adds and deletes of whole systems, checked against an in-memory
// model after each round and after reopening the files.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>

#include "catalogue/catalogue.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

struct ModelRow {
    std::string game, rom, crc, size;
};

std::string render(std::vector<ModelRow> sorted) {
    std::stable_sort(sorted.begin(), sorted.end(), [](const ModelRow& a, const ModelRow& b) { return a.game < b.game; });
    std::string out;
    for (const ModelRow& r : sorted) out += r.game + "/" + r.rom + "/" + r.crc + "/" + r.size + ";";
    return out;
}

std::string render(const Romset& set) {
    std::string out;
    for (const Game& g : set.games)
        for (const Rom& r : g.roms) out += g.name + "/" + r.name + "/" + r.crc + "/" + r.size + ";";
    return out;
}

class RomsDbModel : public ::testing::TestWithParam<unsigned> {};

TEST_P(RomsDbModel, AddsDeletesAndReopensAgreeWithModel) {
    testing::TempDir dir;
    std::mt19937 rng(GetParam());
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::map<std::string, std::vector<ModelRow>> model;
    auto db = std::make_unique<Catalogue>(dir.file("cat"));
    size_t totalRows = 0;

    for (int round = 0; round < 12; ++round) {
        ASSERT_EQ(db->openDB(), StoreStatus::Ok);
        for (int op = 0; op < 6; ++op) {
            const std::string system = "Sys" + std::to_string(pick(8));
            if (model.count(system) && pick(2) == 0) {
                ASSERT_TRUE(db->deleteSystem(system));
                totalRows -= model[system].size();
                model.erase(system);
                continue;
            }
            const int rows = 1 + pick(120);
            for (int i = 0; i < rows; ++i) {
                char crc[9];
                std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(pick(400)));
                ModelRow r{"game" + std::to_string(pick(30)), "rom" + std::to_string(pick(1000)) + std::string(pick(4), 'x'),
                           crc, std::to_string(1 + pick(5))};
                ASSERT_TRUE(db->addRom({.system = system, .game = r.game, .crc = r.crc, .romName = r.rom, .size = r.size}));
                model[system].push_back(r);
                ++totalRows;
            }
        }
        ASSERT_EQ(db->closeDB(), StoreStatus::Ok);
        if (round % 3 == 2) db = std::make_unique<Catalogue>(dir.file("cat"));

        ASSERT_EQ(db->getSystems().size(), model.size()) << "round " << round;
        ASSERT_EQ(db->getCount(1), std::to_string(totalRows));
        for (const auto& [name, rows] : model) {
            ASSERT_TRUE(db->hasSystem(name)) << name;
            ASSERT_EQ(render(db->getRomset(name, 0)), render(rows)) << name << " round " << round;
            const ModelRow& probe = rows[static_cast<size_t>(pick(static_cast<int>(rows.size())))];
            long expected = 0;
            for (const auto& other : model)
                expected += std::count_if(other.second.begin(), other.second.end(),
                                          [&](const ModelRow& r) { return r.crc == probe.crc && r.size == probe.size; });
            std::vector<RomMatch> found;
            db->findRom(found, probe.crc, probe.size, "", "");
            EXPECT_EQ(static_cast<long>(found.size()), expected);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RomsDbModel, ::testing::Values(1u, 7u, 2026u));

}  // namespace
}  // namespace quorvane
