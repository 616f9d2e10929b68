#include <gtest/gtest.h>

#include "core/file_util.h"
#include "core/settings.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::TempDir;
using testing::writeFile;

TEST(Settings, WithoutAFileEverythingLivesInTheProgramFolder) {
    TempDir dir;
    const Settings s = loadSettings(programFoldersIn(dir.path()));
    const std::string base = dir.path() + "/";
    EXPECT_EQ(s.basedir, base);
    EXPECT_EQ(s.categoryDir, s.tosecdir);
    EXPECT_EQ(s.currentDatabasePath(), base + "databases/roms");
    EXPECT_EQ(s.settingsPath, base + "quorvane.INI");
}

TEST(Settings, FolderDefaultsFollowBasedirAndLowerCaseNamesAreRead) {
    TempDir dir;
    writeFile(dir.file("quorvane.INI"),
              "[window]\r\ntop=0x20\r\nleft=abc\r\ninitmax=1\r\n"
              "[quorvane]\r\nbasedir=/emu\r\nusesha1=2\r\ncurrentdb=romsGood\r\n");
    const Settings s = loadSettings(programFoldersIn(dir.path()));
    EXPECT_EQ(s.top, 32);
    EXPECT_EQ(s.left, 100);
    EXPECT_TRUE(s.initMax);
    EXPECT_TRUE(s.useSHA1);
    EXPECT_EQ(s.gooddir, "/emu/romsets/Good");
    EXPECT_EQ(s.sourcedir, "/emu/sourceroms");
    EXPECT_EQ(s.categoryDir, "/emu/romsets/Good");
}

TEST(Settings, CurrentdbChoosesFolderExactlyAndUnsafeNamesAreRefused) {
    TempDir dir;
    writeFile(dir.file("quorvane.INI"), "[Quorvane]\ncurrentdb=romsgood\n");
    Settings s = loadSettings(programFoldersIn(dir.path()));
    EXPECT_EQ(s.currentdb, "romsgood");            // opens a database of that name
    EXPECT_EQ(s.categoryDir, s.tosecdir);           // but the Tosec folder
    EXPECT_EQ(s.currentDatabasePath(), dir.path() + "/databases/romsgood");

    for (const char* bad : {"../evil", "..", ".", "a/b"}) {
        writeFile(dir.file("quorvane.INI"), std::string("[Quorvane]\ncurrentdb=") + bad + "\n");
        std::vector<std::string> warnings;
        s = loadSettings(programFoldersIn(dir.path()), &warnings);
        EXPECT_EQ(s.currentdb, "roms") << bad;
        EXPECT_EQ(warnings.size(), 1u) << bad;
    }
}

TEST(Settings, SaveRoundTripsBothSections) {
    TempDir dir;
    Settings s = loadSettings(programFoldersIn(dir.path()));
    s.top = 12;
    s.initMax = true;
    s.useMD5 = true;
    s.miscdir = "$BASEDIR$/misc";
    ASSERT_TRUE(saveWindowSettings(s));
    ASSERT_TRUE(saveGlobalSettings(s));
    const Settings r = loadSettings(programFoldersIn(dir.path()));
    EXPECT_EQ(r.top, 12);
    EXPECT_TRUE(r.initMax);
    EXPECT_TRUE(r.useMD5);
    EXPECT_EQ(r.miscdir, "$BASEDIR$/misc");
}

TEST(ResolveSystemFolder, PlaceholdersAndCreation) {
    TempDir dir;
    Settings s = loadSettings(programFoldersIn(dir.path()));
    s.basedir = dir.path() + "/emu";
    const std::string d = dir.path();
    // The base folder placeholder in any letter case; the system one only in upper case.
    const std::pair<std::string, std::string> cases[] = {
        {"$BASEDIR$/Arcade", d + "/emu/Arcade/Pac"},
        {"$basedir$/Arcade", d + "/emu/Arcade/Pac"},
        {d + "/sets/$SYSTEM$/roms", d + "/sets/Pac/roms"},
        {d + "/sets/$system$", d + "/sets/$system$/Pac"},
    };
    for (const auto& [category, folder] : cases) {
        s.categoryDir = category;
        bool exists = false;
        EXPECT_EQ(resolveSystemFolder(s, "Pac", &exists), folder);
        EXPECT_TRUE(exists && isDirectory(folder)) << folder;
    }
    // A folder that cannot be made is reported to the caller.
    writeFile(dir.file("file"), "x");
    s.categoryDir = d + "/file";
    bool exists = true;
    resolveSystemFolder(s, "Pac", &exists);
    EXPECT_FALSE(exists);
}

TEST(Settings, CategorySwitchKeepsFolderCopy) {
    TempDir dir;
    Settings s = loadSettings(programFoldersIn(dir.path()));
    s.selectCategory(kCategories[2]);
    EXPECT_EQ(s.currentdb, "romsArcade");
    EXPECT_EQ(s.categoryDir, s.arcadedir);
    s.arcadedir = "/changed";  // the preferences change the value ...
    EXPECT_NE(s.categoryDir, "/changed");  // ... but not the folder in use
    EXPECT_EQ(categoryByAnyName("arcade unemulated")->databaseName, "romsArcadeUnemu");
    EXPECT_EQ(categoryByAnyName("nope"), nullptr);
}

}  // namespace
}  // namespace quorvane
