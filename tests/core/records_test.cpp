#include <gtest/gtest.h>

#include "core/records.h"

namespace quorvane {
namespace {

TEST(GameClassification, FollowsStatusLetters) {
    EXPECT_EQ(classifyStatusString("YYP"), GameState::Incomplete);
    EXPECT_EQ(classifyStatusString("PP"), GameState::Incomplete);
    EXPECT_EQ(classifyStatusString("P"), GameState::Incomplete);
    EXPECT_EQ(classifyStatusString("NN"), GameState::Missing);
    EXPECT_EQ(classifyStatusString("Y"), GameState::Complete);
    EXPECT_EQ(classifyStatusString("YN"), GameState::Incomplete);
    EXPECT_EQ(classifyStatusString("NP"), GameState::Incomplete);
    EXPECT_EQ(classifyStatusString(""), GameState::Missing);
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

TEST(RomMatch, SearchHitIsFoundNowhere) {
    RomMatch g("a.bin", "game", "sys", "N", "m", "s", "c", "r");
    EXPECT_EQ(g.name, "a.bin");
    EXPECT_EQ(g.romOf, "r");
    EXPECT_TRUE(g.foundIn.archivePath.empty());
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
    const DuplicatePolicy fresh;
    EXPECT_TRUE(fresh.askUser);
    EXPECT_FALSE(fresh.onlySelected || fresh.onlyNameMatches || fresh.neverBuild);
}

}  // namespace
}  // namespace quorvane
