#include "cli_fixture.h"

namespace quorvane {
namespace {

class CatalogueCommands : public testing::CliTest {
protected:
    void SetUp() override {
        using enum RomStatus;
        RomRow clone = testing::romRow("Sys", "a", "00000003", "a\"2.bin", "0", Missing, "1.2");
        clone.cloneOf = std::string(1, 'b');  // not a literal: GCC 12 warns wrongly (-Wrestrict) at -O2
        addRoms({testing::romRow("Sys", "b", "00000001", "b1.bin", "10", Have, "1.2"),
                 testing::romRow("Sys", "a", "00000002", "a1.bin", "20", Have, "1.2"), clone,
                 testing::romRow("Other", "z", "00000004", "z.bin", "5", Missing, "7")});
    }
};

TEST_F(CatalogueCommands, SystemsGamesAndRomsViews) {
    runSteps({{.args = "systems", .out = "Total sets: 2\nOther\nSys\n"},
              {.args = "games Sys", .out = "Sys (1.2): 2 games total\nincomplete a\ncomplete   b\n"},
              {.args = "games Sys --mode missing", .out = "Sys: No missing games\n"},
              {.args = "games Sys --mode available --json",
               .out = "{\"caption\": \"Sys (1.2): 1 games available\", \"games\": [{\"name\": \"b\", \"state\": "
                      "\"complete\", \"status\": \"Y\"}]}\n"},
              {.args = "systems --incomplete --json",
               .out = "{\"caption\": \"Incomplete sets: 2\", \"systems\": [\"Other\", \"Sys\"]}\n"},
              {.args = "roms Sys a",
               .out = "Game: a\nRom name\tcrc32\tsize\tmd5\tsha1\tcloneof\tpartof\n"
                      "a1.bin\t00000002\t20\t\t\t\t\na\"2.bin\t00000003\t-\t\t\tb\t\n"},
              {.args = "roms Sys nope 2>/dev/null", .status = 1},
              {.args = "games Sys --mode bogus 2>/dev/null", .status = 2}});
}

// Declined (no terminal to ask, no --yes): nothing done, and the status says so.
TEST_F(CatalogueCommands, DatabaseActionsAskAndDeclineWithoutATerminal) {
    runSteps({{.args = "clean </dev/null", .status = 1, .has = {"Are you sure you want to clean roms status?"}},
              {.args = "games Sys --mode available", .out = "Sys (1.2): 1 games available\ncomplete   b\n"},
              {.args = "clean --yes"},
              {.args = "games Sys --mode available", .out = "Sys: No games available\n"},
              {.args = "delete-system Nope 2>/dev/null", .status = 2},
              {.args = "delete-system Other"},
              {.args = "systems", .out = "Total sets: 1\nSys\n"},
              {.args = "delete-db </dev/null", .status = 1},
              {.args = "systems", .out = "Total sets: 1\nSys\n"},
              {.args = "delete-db --yes"},
              {.args = "systems", .out = "Total sets: 0\n"}});
}

}  // namespace
}  // namespace quorvane
