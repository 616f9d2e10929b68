#include <gtest/gtest.h>

#include "core/ini_file.h"
#include "core/preferences.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

TEST(Preferences, ShowsBasedirAsPlaceholderAndSavesEverything) {
    testing::TempDir dir;
    Settings s = loadSettings(programFoldersIn(dir.path()));
    s.basedir = "/prog/";
    s.tosecdir = "/prog//romsets/Tosec";
    s.gooddir = "/PROG//romsets/Good";  // the base folder in another letter case
    s.arcadedir = "/elsewhere/Arcade";
    s.currentdb = "romsArcadeUnemu";
    PreferenceValues v = preferencesForDisplay(s);
    EXPECT_EQ(v.defaultDb, "Arcade Unemulated");
    EXPECT_EQ(v.basedir, "/prog/");
    EXPECT_EQ(v.tosecdir, "$BASEDIR$/romsets/Tosec");
    EXPECT_EQ(v.gooddir, "$BASEDIR$/romsets/Good");
    EXPECT_EQ(v.arcadedir, "/elsewhere/Arcade");

    const std::string categoryBefore = s.categoryDir;
    v.basedir = dir.path() + "/emu/";
    v.defaultDb = "Good";
    v.useMD5 = true;
    ASSERT_TRUE(savePreferences(v, s));
    EXPECT_EQ(s.currentdb, "romsArcadeUnemu");  // the open category stays
    EXPECT_EQ(s.categoryDir, categoryBefore);
    EXPECT_TRUE(s.useMD5);
    EXPECT_EQ(s.tosecdir, "$BASEDIR$/romsets/Tosec");

    const Settings reread = loadSettings(programFoldersIn(dir.path()));
    EXPECT_EQ(reread.currentdb, "romsGood");
    EXPECT_EQ(reread.basedir, dir.path() + "/emu/");
    EXPECT_TRUE(reread.useMD5);
    EXPECT_EQ(reread.categoryDir, "$BASEDIR$/romsets/Good");
    EXPECT_EQ(resolveSystemFolder(reread, "Pac"), dir.path() + "/emu//romsets/Good/Pac");

    v.defaultDb = "Nonsense";
    ASSERT_TRUE(savePreferences(v, s));
    EXPECT_EQ(IniFile(s.settingsPath).readString("Quorvane", "currentdb", "x"), "");
}

}  // namespace
}  // namespace quorvane
