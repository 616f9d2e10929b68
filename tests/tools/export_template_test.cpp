#include <gtest/gtest.h>

#include <tuple>

#include "core/ini_file.h"
#include "support/temp_dir.h"
#include "tools/export_template.h"
#include "tools/file_formats.h"

namespace quorvane {
namespace {

using testing::TempDir;
using testing::writeFile;

TEST(ExportTemplate, PlaceholdersIgnoreCaseAndFollowTheFixedOrder) {
    EXPECT_EQ(fillGame("<$GAMENAME$|$gamename$|$System$>", "S", "G"), "<G|G|S>");
    // A system name holding a later placeholder is replaced again...
    EXPECT_EQ(fillRom("$SYSTEM$", "x$ROMNAME$", "g", "r"), "xr");
    // ...but a ROM name holding an earlier one is not.
    EXPECT_EQ(fillRom("$ROMNAME$", "s", "g", "$SYSTEM$"), "$SYSTEM$");
    // Inserted text is not searched again by the same placeholder.
    EXPECT_EQ(replaceIgnoringCase("$SYSTEM$", "$SYSTEM$", "$system$"), "$system$");
    EXPECT_EQ(templateText({"a", "", "$ROMNAME$"}), "a\r\n\r\n$ROMNAME$\r\n");
}

// The stored form round-trips; hand-edited texts parse like the settings
// file reader's (unquoted items trimmed, a quote closes an item).
TEST(ExportTemplate, DelimitedFormRoundTripsAndHandEditedTextsParse) {
    const std::vector<std::tuple<TemplateLines, std::string, bool>> cases = {
        {{}, "", true},
        {{""}, "**", true},
        {{"a", "", "c"}, "a,,c", true},
        {{"a", ""}, "a,", true},
        {{"Game $GAMENAME$", "x*y", "p,q"}, "*Game $GAMENAME$*,*x**y*,*p,q*", true},
        {{"\tTab", "$ROMNAME$"}, "*\tTab*,$ROMNAME$", true},
        {{"Game", "$GAMENAME$"}, "Game $GAMENAME$", false},
        {{"a", "b"}, "  a ,  b  ", false},
        {{"ab", "cd"}, "*ab*cd", false},
        {{"unclosed, still one"}, "*unclosed, still one", false},
        {{"", ""}, ",", false}};
    for (const auto& [lines, stored, roundTrips] : cases) {
        EXPECT_EQ(fromDelimited(stored), lines) << stored;
        if (roundTrips) {
            EXPECT_EQ(toDelimited(lines), stored);
        }
    }
}

TEST(FileFormats, SaveRegistersOnceAndKeepsTemplatesIntact) {
    TempDir dir;
    const std::string ini = dir.file("quorvane.INI");
    writeFile(ini, "[Quorvane]\r\nbasedir=/x\r\n");
    ExportFormat f{"newFormat", {"System $SYSTEM$"}, {"", "  $GAMENAME$"}, {"$ROMNAME$"}};
    std::string error;
    ASSERT_TRUE(saveFormat(ini, f, error)) << error;
    f.rom = {"* $ROMNAME$ *"};
    ASSERT_TRUE(saveFormat(ini, f, error)) << error;
    f.name = "NEWFORMAT";  // the same section
    ASSERT_TRUE(saveFormat(ini, f, error)) << error;

    EXPECT_EQ(listFormats(ini), std::vector<std::string>{"newFormat"});
    const IniFile file(ini);
    EXPECT_EQ(file.readInteger("FileFormats", "number", 0), 1);
    EXPECT_EQ(file.readString("newFormat", "game", ""), ",*  $GAMENAME$*");
    EXPECT_EQ(file.readString("Quorvane", "basedir", ""), "/x");
    const ExportFormat back = loadFormat(ini, "newFormat");
    EXPECT_EQ(std::tie(back.system, back.game, back.rom), std::tie(f.system, f.game, f.rom));

    // A format whose system template reads "NONE" is still one format.
    ExportFormat none{"other", {"NONE"}, {}, {}};
    ASSERT_TRUE(saveFormat(ini, none, error));
    ASSERT_TRUE(saveFormat(ini, none, error));
    EXPECT_EQ(listFormats(ini), (std::vector<std::string>{"newFormat", "other"}));

    for (const char* bad : {"Quorvane", "fileformats", "a]b", "", " pad"}) {
        EXPECT_FALSE(saveFormat(ini, ExportFormat{bad, {"x"}, {}, {}}, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(IniFile(ini).readString("Quorvane", "system", "unset"), "unset");
}

}  // namespace
}  // namespace quorvane
