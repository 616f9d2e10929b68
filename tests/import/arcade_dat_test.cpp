// Arcade DATs: BIOS and device sets, parents, disks, and the set each ROM's
// reference names.
#include <gtest/gtest.h>

#include "import_fixture.h"

namespace quorvane {
namespace {

using testing::ImportFixture;
using testing::V;

const std::string kHdd(40, '1'), kOwn(40, '2'), kOther(40, '3');

// Device names that take more than one scratch row to carry.
std::string manyDeviceRefs() {
    std::string out;
    for (int i = 0; i < 40; ++i) out += "<device_ref name=\"no-such-device-" + std::to_string(100 + i) + "\"/>";
    return out + "<device_ref name=\"dev\"/>";
}

// A clone listed before its parent, BIOS and device; the clone names its
// device twice, one without ROMs and one that is no machine of the file.
const std::string kMameList =
    "<?xml version=\"1.0\"?>\n<mame build=\"0.1\">\n"
    "<machine name=\"clo\" cloneof=\"par\" romof=\"par\">\n"
    " <rom name=\"bios.rom\" merge=\"bios.rom\" bios=\"b1\" size=\"4\" crc=\"0000000b\"/>\n"
    " <rom name=\"par.rom\" merge=\"par.rom\" size=\"4\" crc=\"0000000a\"/>\n"
    " <rom name=\"clo.rom\" size=\"4\" crc=\"0000000c\"/>\n"
    " <disk name=\"hdd\" merge=\"hdd\" sha1=\"" + kHdd + "\"/>\n"
    " <disk name=\"own\" sha1=\"" + kOwn + "\" status=\"baddump\"/>\n"
    " <disk name=\"gone\" status=\"nodump\"/>\n"
    " <device_ref name=\"dev\"/><device_ref name=\"dev\"/><device_ref name=\"cpu\"/><device_ref name=\"nowhere\"/>\n"
    "</machine>\n"
    "<machine name=\"par\" romof=\"bios\">\n"
    " <biosset name=\"b1\" description=\"v1\"/>\n"
    " <rom name=\"bios.rom\" merge=\"bios.rom\" bios=\"b1\" size=\"4\" crc=\"0000000b\"/>\n"
    " <rom name=\"par.rom\" size=\"4\" crc=\"0000000a\"/>\n"
    " <disk name=\"hdd\" sha1=\"" + kHdd + "\"/>\n"
    " <device_ref name=\"dev\"/>\n"
    "</machine>\n"
    "<machine name=\"alt\" cloneof=\"par\" romof=\"par\">\n"
    " <rom name=\"par.rom\" size=\"4\" crc=\"0000000e\"/>\n"
    " <disk name=\"hdd\" sha1=\"" + kOther + "\"/>\n"
    "</machine>\n"
    "<machine name=\"bios\" isbios=\"yes\"><biosset name=\"b1\"/>"
    "<rom name=\"bios.rom\" bios=\"b1\" size=\"4\" crc=\"0000000b\"/></machine>\n"
    "<machine name=\"dev\" isdevice=\"yes\" runnable=\"no\">"
    "<rom name=\"dev.rom\" size=\"4\" crc=\"0000000d\"/></machine>\n"
    "<machine name=\"cpu\" isdevice=\"yes\" runnable=\"no\"/>\n"
    "<machine name=\"many\">" + manyDeviceRefs() + "</machine>\n"
    "<machine name=\"solo\"><rom name=\"dev.rom\" size=\"4\" crc=\"0000000d\"/><device_ref name=\"dev\"/></machine>\n"
    "</mame>\n";

// The same sets as far as the parenthesised syntax carries them: no devices.
const std::string kParenthesised =
    "clrmamepro (\n\tname Arc\n\tversion 1\n\tauthor T\n)\n"
    "game (\n\tname clo\n\tcloneof par\n\tromof par\n"
    "\trom ( name bios.rom merge bios.rom size 4 crc 0000000b )\n"
    "\trom ( name par.rom merge par.rom size 4 crc 0000000a )\n"
    "\trom ( name clo.rom size 4 crc 0000000c )\n"
    "\tdisk ( name hdd merge hdd sha1 " + kHdd + " )\n"
    "\tdisk ( name own sha1 " + kOwn + " flags baddump )\n"
    "\tdisk ( name gone flags nodump )\n)\n"
    "game (\n\tname par\n\tromof bios\n"
    "\trom ( name bios.rom merge bios.rom size 4 crc 0000000b )\n"
    "\trom ( name par.rom size 4 crc 0000000a )\n"
    "\tdisk ( name hdd sha1 " + kHdd + " )\n)\n"
    "game (\n\tname alt\n\tcloneof par\n\tromof par\n"
    "\trom ( name par.rom size 4 crc 0000000e )\n"
    "\tdisk ( name hdd sha1 " + kOther + " )\n)\n"
    "resource (\n\tname bios\n\trom ( name bios.rom size 4 crc 0000000b )\n)\n";

struct ArcadeCase {
    const char* name;
    std::string file, content, system;
    V rows, facts;
};

void PrintTo(const ArcadeCase& c, std::ostream* os) { *os << c.name; }

class ArcadeDats : public ::testing::TestWithParam<ArcadeCase> {};

// A clone's BIOS ROM names the BIOS, not the parent it reaches it through; a
// device's ROMs join each set that names it; a disk is "<name>.chd" and its
// parent's only where name and SHA-1 agree.
TEST_P(ArcadeDats, KeepEachSetsFactsAndNameTheSetHoldingEachRom) {
    const ArcadeCase& c = GetParam();
    ImportFixture f;
    f.import({f.dat(c.file, c.content)});
    EXPECT_EQ(f.said(), V{"info: Import completed: 1 file imported, 0 failed."});
    EXPECT_EQ(testing::digest(f.rows()), c.rows);
    EXPECT_EQ(f.facts(c.system), c.facts);
    EXPECT_FALSE(f.leftovers());
}

INSTANTIATE_TEST_SUITE_P(
    Syntaxes, ArcadeDats,
    ::testing::Values(
        ArcadeCase{"MameList",
                   "mame.xml",
                   kMameList,
                   "MAME",
                   {"[MAME|0.1|]", "alt/par.rom:4:0000000e", "alt/hdd.chd:-:::" + kOther, "bios/bios.rom:4:0000000b",
                    "clo/bios.rom:4:0000000b::::bios", "clo/par.rom:4:0000000a:::par", "clo/clo.rom:4:0000000c",
                    "clo/hdd.chd:-:::" + kHdd + ":par", "clo/own.chd:-:::" + kOwn, "clo/dev.rom:4:0000000d::::dev",
                    "dev/dev.rom:4:0000000d", "many/dev.rom:4:0000000d::::dev", "par/bios.rom:4:0000000b::::bios",
                    "par/par.rom:4:0000000a", "par/hdd.chd:-:::" + kHdd, "par/dev.rom:4:0000000d::::dev",
                    "solo/dev.rom:4:0000000d"},
                   {"alt 0 par", "bios 1", "clo 0 par", "dev 2", "par 0  bios"}},
        ArcadeCase{"Parenthesised",
                   "arc.dat",
                   kParenthesised,
                   "Arc",
                   {"[Arc|1|T]", "alt/par.rom:4:0000000e", "alt/hdd.chd:-:::" + kOther, "bios/bios.rom:4:0000000b",
                    "clo/bios.rom:4:0000000b::::bios", "clo/par.rom:4:0000000a:::par", "clo/clo.rom:4:0000000c",
                    "clo/hdd.chd:-:::" + kHdd + ":par", "clo/own.chd:-:::" + kOwn, "par/bios.rom:4:0000000b::::bios",
                    "par/par.rom:4:0000000a", "par/hdd.chd:-:::" + kHdd},
                   {"alt 0 par", "bios 1", "clo 0 par", "par 0  bios"}}));

}  // namespace
}  // namespace quorvane
