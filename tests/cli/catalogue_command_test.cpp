#include "catalogue/catalogue.h"
#include "cli_fixture.h"
#include "core/file_util.h"

namespace quorvane {
namespace {

class CatalogueCommands : public testing::CliTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(makeFolders(home.path() + "/databases"));
        Catalogue db(home.path() + "/databases/roms");
        ASSERT_TRUE(db.addRom({.system = "Sys",
                               .game = "b",
                               .crc = "00000001",
                               .romName = "b1.bin",
                               .size = "10",
                               .version = "1.2",
                               .author = "me"}));
        ASSERT_TRUE(db.addRom({.system = "Sys",
                               .game = "a",
                               .crc = "00000002",
                               .romName = "a1.bin",
                               .size = "20",
                               .version = "1.2",
                               .author = "me"}));
        ASSERT_TRUE(db.addRom({.system = "Sys",
                               .game = "a",
                               .crc = "00000003",
                               .romName = "a\"2.bin",
                               .size = "0",
                               .cloneOf = "b",
                               .version = "1.2",
                               .author = "me"}));
        ASSERT_TRUE(db.addRom({.system = "Other",
                               .game = "z",
                               .crc = "00000004",
                               .romName = "z.bin",
                               .size = "5",
                               .version = "7",
                               .author = "me"}));
        db.setHave("00000002", "20", "a1.bin", "a", "Sys");
        db.setHave("00000001", "10", "b1.bin", "b", "Sys");
    }
};

TEST_F(CatalogueCommands, SystemsGamesAndRomsViews) {
    std::string out;
    ASSERT_EQ(run("systems", out), 0);
    EXPECT_EQ(out, "Total sets: 2\nOther\nSys\n");
    ASSERT_EQ(run("games Sys", out), 0);
    EXPECT_EQ(out, "Sys (1.2): 2 games total\nincomplete a\ncomplete   b\n");
    ASSERT_EQ(run("games Sys --mode missing", out), 0);
    EXPECT_EQ(out, "Sys: No missing games\n");
    ASSERT_EQ(run("games Sys --mode available --json", out), 0);
    EXPECT_EQ(out, "{\"caption\": \"Sys (1.2): 1 games available\", \"games\": [{\"name\": \"b\", \"state\": "
                   "\"complete\", \"status\": \"Y\"}]}\n");
    ASSERT_EQ(run("systems --incomplete --json", out), 0);
    EXPECT_EQ(out, "{\"caption\": \"Incomplete sets: 2\", \"systems\": [\"Other\", \"Sys\"]}\n");
    ASSERT_EQ(run("roms Sys a", out), 0);
    EXPECT_EQ(out, "Game: a\nRom name\tcrc32\tsize\tmd5\tsha1\tcloneof\tpartof\n"
                   "a1.bin\t00000002\t20\t\t\t\t\na\"2.bin\t00000003\t-\t\t\tb\t\n");
    EXPECT_EQ(run("roms Sys nope 2>/dev/null", out), 1);
    EXPECT_EQ(run("games Sys --mode bogus 2>/dev/null", out), 2);
}

TEST_F(CatalogueCommands, DatabaseActionsAskAndDeclineWithoutATerminal) {
    std::string out;
    // Declined (no terminal to ask, no --yes): nothing done, and the status says so.
    ASSERT_EQ(run("clean </dev/null", out), 1);
    EXPECT_NE(out.find("Are you sure you want to clean roms status?"), std::string::npos);
    ASSERT_EQ(run("games Sys --mode available", out), 0);
    EXPECT_EQ(out, "Sys (1.2): 1 games available\ncomplete   b\n");  // declined: untouched

    ASSERT_EQ(run("clean --yes", out), 0);
    ASSERT_EQ(run("games Sys --mode available", out), 0);
    EXPECT_EQ(out, "Sys: No games available\n");

    EXPECT_EQ(run("delete-system Nope 2>/dev/null", out), 2);
    ASSERT_EQ(run("delete-system Other", out), 0);
    ASSERT_EQ(run("systems", out), 0);
    EXPECT_EQ(out, "Total sets: 1\nSys\n");

    ASSERT_EQ(run("delete-db </dev/null", out), 1);
    ASSERT_EQ(run("systems", out), 0);
    EXPECT_EQ(out, "Total sets: 1\nSys\n");
    ASSERT_EQ(run("delete-db --yes", out), 0);
    ASSERT_EQ(run("systems", out), 0);
    EXPECT_EQ(out, "Total sets: 0\n");
}

}  // namespace
}  // namespace quorvane
