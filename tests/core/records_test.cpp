#include <gtest/gtest.h>

#include "core/records.h"

namespace quorvane {
namespace {

TEST(GameClassification, FollowsStatusLetters) {
    const std::pair<const char*, GameState> cases[] = {{"Y", GameState::Complete},    {"YYP", GameState::Incomplete},
                                                       {"PP", GameState::Incomplete}, {"P", GameState::Incomplete},
                                                       {"YN", GameState::Incomplete}, {"NP", GameState::Incomplete},
                                                       {"NN", GameState::Missing},    {"", GameState::Missing}};
    for (const auto& [letters, state] : cases) EXPECT_EQ(classifyStatusString(letters), state) << letters;
}

TEST(GameClassification, StatusStringHasOneLetterPerRom) {
    Game g("pacman");
    Rom r{"12345678", "a.bin", "16", "Y", "", "", "", ""};
    g.appendRom(r);
    g.appendRom(r);
    r.status = "N";
    g.appendRom(r);
    EXPECT_EQ(g.statusString, "YYN");
    EXPECT_EQ(g.roms.size(), 3u);
    EXPECT_EQ(g.state(), GameState::Incomplete);
}

TEST(ContainerFiles, IsZipIsAContainmentTestOnTheLowerCasedPath) {
    EXPECT_TRUE(ContainerFiles("GAME.ZIP").isZip);
    EXPECT_TRUE(ContainerFiles("set.zip.bak").isZip);
    EXPECT_TRUE(ContainerFiles("old.zips/a.bin").isZip);
    EXPECT_FALSE(ContainerFiles("a.bin").isZip);
    EXPECT_FALSE(ContainerFiles("a.zi").isZip);
}

TEST(DuplicatePolicy, EachDialogChoiceSetsItsFlags) {
    auto flags = [](DupesChoice c) {
        const DuplicatePolicy b = dupesBehaviourFor(c);
        return std::string{b.askUser ? '1' : '0', b.onlySelected ? '1' : '0', b.onlyNameMatches ? '1' : '0',
                           b.neverBuild ? '1' : '0'};
    };
    EXPECT_EQ(flags(DupesChoice::RebuildAllListed), "1000");
    EXPECT_EQ(flags(DupesChoice::OnlySelected), "1100");
    EXPECT_EQ(flags(DupesChoice::AlwaysAll), "0000");
    EXPECT_EQ(flags(DupesChoice::Never), "0001");
    EXPECT_EQ(flags(DupesChoice::OnlyNameMatches), "1010");
}

}  // namespace
}  // namespace quorvane
