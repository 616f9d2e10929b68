// What an import says about a DAT's copier-header rule and its nameless ROMs.
#include <gtest/gtest.h>

#include "import_fixture.h"

namespace quorvane {
namespace {

using testing::ImportFixture;
using V = std::vector<std::string>;

TEST(HeaderRule, NamedRulesAreReportedAndNamelessRomsSkipped) {
    ImportFixture f;
    const std::string nes = f.dat("nes.xml",
                                  "<?xml version=\"1.0\"?>\n<datafile>\n<header><name>NES</name><version>1</version>"
                                  "<author>a</author><clrmamepro header=\"No-Intro_NES.xml\"/></header>\n"
                                  "<game name=\"G\">\n<rom name=\"\" size=\"4\" crc=\"01020304\"/>\n"
                                  "<rom name=\"g.nes\" size=\"4\" crc=\"0a0b0c0d\"/>\n</game>\n</datafile>\n");
    const std::string other = f.dat("other.dat",
                                    "clrmamepro (\n\tname Other\n\theader Custom_GBA.xml\n\tversion 2\n\tauthor b\n)\n"
                                    "game (\n\tname H\n\trom ( name h.bin size 4 crc 11223344 )\n)\n");
    f.import({nes, other});
    EXPECT_EQ(
        f.host.messages(),
        (V{nes + " names the header rule \"No-Intro_NES.xml\": files are matched with and without their iNES header.",
           "Line 5 of " + nes + ": a ROM of game \"G\" has no name and was not imported.",
           other + " names the header rule \"Custom_GBA.xml\", which is not known here; files are matched as "
                   "they are and without any known header."}));
    ASSERT_EQ(f.rows().size(), 2u);
    EXPECT_EQ(f.rows()[0].romName, "g.nes");
}

}  // namespace
}  // namespace quorvane
