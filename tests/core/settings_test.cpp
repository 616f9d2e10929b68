#include <gtest/gtest.h>

#include "core/file_util.h"
#include "core/ini_file.h"
#include "core/preferences.h"
#include "core/settings.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

class SettingsTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    const std::string d = dir.path();
    Settings load(const std::string& ini = "", std::vector<std::string>* warnings = nullptr) {
        if (!ini.empty()) testing::writeFile(dir.file("quorvane.INI"), ini);
        return loadSettings(programFoldersIn(d), warnings);
    }
};

TEST_F(SettingsTest, WithoutAFileEverythingLivesInTheProgramFolderAndSavingMakesOne) {
    Settings s = load();
    EXPECT_EQ(s.categoryDir, s.tosecdir);
    EXPECT_EQ(s.basedir + "|" + s.currentDatabasePath() + "|" + s.settingsPath,
              d + "/|" + d + "/databases/roms|" + d + "/quorvane.INI");
    s.top = 12;
    s.miscdir = "$BASEDIR$/misc";
    s.mergeMode = MergeMode::FullNonMerged;
    ASSERT_TRUE(saveWindowSettings(s) && saveGlobalSettings(s));  // both sections
    EXPECT_EQ(std::to_string(load().top) + load().miscdir + mergeModeName(load().mergeMode),
              "12$BASEDIR$/miscfull-non-merged");
}

TEST_F(SettingsTest, FolderDefaultsFollowBasedirAndLowerCaseNamesAreRead) {
    const Settings s = load("[window]\r\ntop=0x20\r\nleft=abc\r\ninitmax=1\r\n"
                            "[quorvane]\r\nbasedir=/emu\r\nusesha1=2\r\ncurrentdb=romsGood\r\n");
    EXPECT_EQ(std::pair(s.top, s.left), std::pair(32LL, 100LL));  // a bad number: the default
    EXPECT_TRUE(s.initMax && s.useSHA1);
    EXPECT_EQ(s.gooddir + "|" + s.sourcedir + "|" + s.categoryDir, "/emu/romsets/Good|/emu/sourceroms|" + s.gooddir);
}

TEST_F(SettingsTest, CurrentdbChoosesFolderExactlyAndUnsafeNamesAreRefused) {
    Settings s = load("[Quorvane]\ncurrentdb=romsgood\n");
    EXPECT_EQ(s.categoryDir, s.tosecdir);  // not romsGood: the Tosec folder, but a database of that name
    EXPECT_EQ(s.currentDatabasePath(), d + "/databases/romsgood");
    for (const std::string bad : {"../evil", "..", ".", "a/b"}) {
        std::vector<std::string> warnings;
        EXPECT_EQ(load("[Quorvane]\ncurrentdb=" + bad + "\n", &warnings).currentdb, "roms") << bad;
        EXPECT_EQ(warnings.size(), 1u) << bad;
    }
    s.selectCategory(kCategories[2]);
    EXPECT_EQ(s.currentdb + "|" + s.categoryDir, "romsArcade|" + s.arcadedir);
    EXPECT_EQ(categoryByAnyName("arcade unemulated")->databaseName, "romsArcadeUnemu");
    EXPECT_EQ(categoryByAnyName("nope"), nullptr);
}

// The base folder placeholder in any letter case; the system one only in
// upper case; a folder that cannot be made is reported to the caller.
TEST_F(SettingsTest, SystemFolderPlaceholdersAndCreation) {
    Settings s = load();
    s.basedir = d + "/emu";
    testing::writeFile(dir.file("file"), "x");
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"$BASEDIR$/Arcade", d + "/emu/Arcade/Pac", true}, {"$basedir$/Arcade", d + "/emu/Arcade/Pac", true},
        {d + "/sets/$SYSTEM$/roms", d + "/sets/Pac/roms", true}, {d + "/sets/$system$", d + "/sets/$system$/Pac", true},
        {d + "/file", d + "/file/Pac", false}};
    for (const auto& [category, folder, made] : cases) {
        s.categoryDir = category;
        bool exists = !made;
        EXPECT_EQ(resolveSystemFolder(s, "Pac", &exists), folder);
        EXPECT_EQ(exists && isDirectory(folder), made) << folder;
    }
}

// A system's section is found in any letter case and the first of a name
// wins; a word that is none of the choices is warned of and ignored.
TEST_F(SettingsTest, PerSystemChoicesAreReadGloballyAndPerSystemAndBadWordsAreWarnedOf) {
    std::vector<std::string> warnings;
    const Settings s = load(
        "[Quorvane]\noutput=7z\nmerge-mode=merged\n[System SNES]\noutput=torrentzip\nmerge-mode=non-merged\n"
        "[system snes]\noutput=zip\nmerge-mode=split\n[SYSTEM Amiga - [ADF]]\noutput=zip\n"
        "[System Bad]\noutput=rar\nmerge-mode=full\n[System Quiet]\nx=1\n[System Neo]\nmerge-mode=full-non-merged\n"
        "[Systemic]\noutput=zip\n[System ]\noutput=zip\n",
        &warnings);
    using enum MergeMode;
    const std::tuple<const char*, ArchiveOutput, MergeMode> expected[] = {
        {"SNES", ArchiveOutput::TorrentZip, NonMerged}, {"snes", ArchiveOutput::TorrentZip, NonMerged},
        {"Amiga - [ADF]", ArchiveOutput::Zip, Merged},  {"Bad", ArchiveOutput::SevenZip, Merged},
        {"Quiet", ArchiveOutput::SevenZip, Merged},     {"Neo", ArchiveOutput::SevenZip, FullNonMerged},
        {"ic", ArchiveOutput::SevenZip, Merged}};
    for (const auto& [system, output, mode] : expected) {
        EXPECT_EQ(s.outputFor(system), output) << system;
        EXPECT_EQ(s.mergeModeFor(system), mode) << system;
    }
    EXPECT_EQ(s.systemOutput.size(), 2u);
    EXPECT_EQ(s.systemMergeMode.size(), 2u);
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "Warning: the output \"rar\" of system \"Bad\" in the settings file is not zip, "
                            "torrentzip or 7z; the system uses the global output.",
                            "Warning: the merge mode \"full\" of system \"Bad\" in the settings file is not split, "
                            "merged, non-merged or full-non-merged; the system uses the global merge mode."}));
    warnings.clear();
    const Settings bad = load("[Quorvane]\noutput=TorrentZip\nmerge-mode=Merged\n", &warnings);
    EXPECT_EQ(std::pair(bad.output, bad.mergeMode), std::pair(ArchiveOutput::Zip, Split));
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "Warning: the output \"TorrentZip\" in the settings file is not zip, torrentzip or 7z; "
                            "using \"zip\".",
                            "Warning: the merge mode \"Merged\" in the settings file is not split, merged, non-merged "
                            "or full-non-merged; using \"split\"."}));
}

// Saving through the window is the desktop test's; here the base folder in
// another letter case and a default catalogue that names none.
TEST_F(SettingsTest, PreferencesShowBasedirAsPlaceholderInAnyCase) {
    Settings s = load();
    s.basedir = "/prog/";
    s.gooddir = "/PROG//romsets/Good";
    s.arcadedir = "/elsewhere/Arcade";
    s.currentdb = "romsArcadeUnemu";
    PreferenceValues v = preferencesForDisplay(s);
    EXPECT_EQ(v.defaultDb + "|" + v.gooddir + "|" + v.arcadedir,
              "Arcade Unemulated|$BASEDIR$/romsets/Good|/elsewhere/Arcade");
    v.defaultDb = "Nonsense";
    v.output = ArchiveOutput::TorrentZip;
    v.mergeMode = MergeMode::NonMerged;
    ASSERT_TRUE(savePreferences(v, s));
    EXPECT_EQ(IniFile(s.settingsPath).readString("Quorvane", "currentdb", "x"), "");
    EXPECT_EQ(std::pair(load().output, load().mergeMode), std::pair(ArchiveOutput::TorrentZip, MergeMode::NonMerged));
}

}  // namespace
}  // namespace quorvane
