// An arcade system end to end: a MAME-like DAT imported, a split collection
// scanned, the games view with and without its BIOS and device sets.
#include "cli_fixture.h"
#include "support/content_crc.h"

namespace quorvane {
namespace {

using testing::crcOf;
using testing::runShell;
using testing::writeFile;

// Each ROM's content is its own name.
std::string rom(const std::string& name) {
    return "<rom name=\"" + name + "\" size=\"" + std::to_string(name.size()) + "\" crc=\"" + crcOf(name) + "\"/>";
}

class ArcadeSets : public testing::CliTest {
protected:
    void SetUp() override {
        useRomsFolder();
        writeFile(home.file("arc.xml"),
                  "<?xml version=\"1.0\"?>\n<datafile><header><name>Arc</name><version>1</version></header>\n"
                  "<machine name=\"clo\" cloneof=\"par\" romof=\"par\">" + rom("bios.rom") + rom("par.rom") +
                      rom("clo.rom") + "<device_ref name=\"dev\"/></machine>\n"
                  "<machine name=\"par\" romof=\"bios\">" + rom("bios.rom") + rom("par.rom") +
                      "<device_ref name=\"dev\"/></machine>\n"
                  "<machine name=\"oth\" romof=\"bios2\">" + rom("b2a.rom") + rom("b2b.rom") + rom("oth.rom") +
                      "</machine>\n"
                  "<machine name=\"bios\" isbios=\"yes\">" + rom("bios.rom") + "</machine>\n"
                  "<machine name=\"bios2\" isbios=\"yes\">" + rom("b2a.rom") + rom("b2b.rom") + "</machine>\n"
                  "<machine name=\"dev\" isdevice=\"yes\">" + rom("dev.rom") + "</machine>\n</datafile>\n");
        // Split sets: each holds only what no parent, BIOS or device holds; b2b.rom is nowhere.
        std::string make = "mkdir -p " + home.file("content") + " " + home.file("roms/Arc") + " && cd " +
                           home.file("content");
        for (const char* name : {"bios", "b2a", "dev", "par", "clo", "oth"})
            make += std::string(" && printf ") + name + ".rom >" + name + ".rom";
        make += " && zip -q ../roms/Arc/bios.zip bios.rom && zip -q ../roms/Arc/bios2.zip b2a.rom && "
                "zip -q ../roms/Arc/dev.zip dev.rom && zip -q ../roms/Arc/par.zip par.rom && "
                "zip -q ../roms/Arc/clo.zip clo.rom && zip -q ../roms/Arc/oth.zip oth.rom";
        ASSERT_EQ(runShell(make), 0);
    }
};

std::string gameJson(const char* name, const char* state, const char* status, const char* kind, const char* bios,
                     bool biosIncomplete) {
    return std::string("{\"name\": \"") + name + "\", \"state\": \"" + state + "\", \"status\": \"" + status +
           "\", \"kind\": \"" + kind + "\", \"bios\": \"" + bios +
           "\", \"biosIncomplete\": " + (biosIncomplete ? "true" : "false") + "}";
}

// The clone's BIOS ROM is had through the BIOS set, its device's ROM through
// the device's; the game on the BIOS that lacks a ROM says so.
TEST_F(ArcadeSets, ScanFindsEachRomThroughItsSetAndTheViewTellsAnIncompleteBios) {
    runSteps({{.args = "import $HOME/arc.xml 2>/dev/null"},
              {.args = "scan Arc >/dev/null 2>&1"},
              {.args = "games Arc --json",
               .out = "{\"caption\": \"Arc (1): 6 games total\", \"games\": [" +
                      gameJson("bios", "complete", "Y", "bios", "", false) + ", " +
                      gameJson("bios2", "incomplete", "YN", "bios", "", false) + ", " +
                      gameJson("clo", "complete", "YYYY", "game", "bios", false) + ", " +
                      gameJson("dev", "complete", "Y", "device", "", false) + ", " +
                      gameJson("oth", "incomplete", "YNY", "game", "bios2", true) + ", " +
                      gameJson("par", "complete", "YYY", "game", "bios", false) + "]}\n"},
              {.args = "games Arc --mode incomplete",
               .out = "Arc (1): 2 incomplete games\nincomplete bios2 (BIOS)\n"
                      "incomplete oth (BIOS bios2 incomplete)\n"},
              {.args = "games Arc --no-bios",
               .out = "Arc (1): 3 games total\ncomplete   clo\nincomplete oth (BIOS bios2 incomplete)\n"
                      "complete   par\n"}});
}

}  // namespace
}  // namespace quorvane
