#include <gtest/gtest.h>

#include "core/file_util.h"
#include "core/settings_keys.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

std::string ownValuesText(const Settings& s) {
    std::string text;
    for (const OwnSystemValue& v : ownSystemValues(s)) text += v.key + "[" + v.system + "]=" + v.value + ";";
    return text;
}

std::string effective(const Settings& s, const std::string& system, const std::string& key = "output") {
    std::string value;
    EXPECT_TRUE(systemSettingValue(s, system, key, value));
    return value;
}

class SettingsKeysTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    Settings load() const { return loadSettings(programFoldersIn(dir.path())); }
};

// What was set is what the next run reads: the global value, a system's own,
// the same system named in another case, and one put back on the global value.
// A system's two keys share its section.
TEST_F(SettingsKeysTest, PerSystemKeysRoundTripGloballyAndPerSystem) {
    Settings s = load();
    ASSERT_EQ(setSetting(s, "output", "7z", nullptr), "");
    ASSERT_EQ(setSetting(s, "merge-mode", "non-merged", nullptr), "");
    struct Step {
        const char* system;
        const char* key;
        const char* value;
    };
    for (const Step& step :
         {Step{"A", "output", "torrentzip"}, Step{"b", "output", "zip"}, Step{"B", "output", "torrentzip"},
          Step{"C", "output", "zip"}, Step{"A", "output", "default"}, Step{"Never set", "output", "default"},
          Step{"A", "merge-mode", "merged"}, Step{"c", "merge-mode", "full-non-merged"},
          Step{"b", "merge-mode", "split"}, Step{"B", "merge-mode", "default"}})
        ASSERT_EQ(setSystemSetting(s, step.system, step.key, step.value), "") << step.system << " " << step.key;
    const Settings reloaded = load();
    for (const Settings* each : {static_cast<const Settings*>(&s), &reloaded}) {
        EXPECT_EQ(each->output, ArchiveOutput::SevenZip);
        EXPECT_EQ(each->mergeMode, MergeMode::NonMerged);
        EXPECT_EQ(ownValuesText(*each),
                  "merge-mode[A]=merged;output[b]=torrentzip;output[C]=zip;merge-mode[C]=full-non-merged;");
        EXPECT_EQ(effective(*each, "A") + effective(*each, "B") + effective(*each, "c") + effective(*each, "D"),
                  "7ztorrentzipzip7z");
        EXPECT_EQ(effective(*each, "a", "merge-mode") + "|" + effective(*each, "B", "merge-mode") + "|" +
                      effective(*each, "C", "merge-mode"),
                  "merged|non-merged|full-non-merged");
    }
    const std::string file = testing::readFile(s.settingsPath);
    EXPECT_EQ(file.find("[System B]"), std::string::npos);  // b's section took the new value
    EXPECT_NE(file.find("[System b]\r\noutput=torrentzip\r\n\r\n"), std::string::npos);
    EXPECT_NE(file.find("[System C]\r\noutput=zip\r\nmerge-mode=full-non-merged\r\n"), std::string::npos);
}

// Each flag is its own: setting one leaves the others, and the next run reads it.
TEST_F(SettingsKeysTest, FlagsAreSetOneByOne) {
    Settings s = load();
    ASSERT_EQ(setSetting(s, "fullScan", "1", nullptr), "");
    ASSERT_EQ(setSetting(s, "useMD5", "1", nullptr), "");
    EXPECT_EQ(setSetting(s, "fullScan", "yes", nullptr), "fullScan takes 0 or 1, not \"yes\".");
    for (const Settings& each : {s, load()}) {
        std::string full, sha1;
        ASSERT_TRUE(settingValue(each, "fullScan", full) && settingValue(each, "useSHA1", sha1));
        EXPECT_EQ(full + sha1, "10");
        EXPECT_TRUE(each.fullScan && each.useMD5 && !each.useSHA1 && !each.initMax);
    }
}

TEST_F(SettingsKeysTest, RefusedValuesSayWhyAndWriteNothing) {
    struct Case {
        const char* system;
        const char* key;
        const char* value;
        const char* said;
    };
    const Case cases[] = {
        {"A", "output", "rar", "output takes zip, torrentzip or 7z, not \"rar\"."},
        {"A", "output", "TorrentZip", "output takes zip, torrentzip or 7z, not \"TorrentZip\"."},
        {"A", "merge-mode", "full", "merge-mode takes split, merged, non-merged or full-non-merged, not \"full\"."},
        {"A", "merge-mode", "Merged", "not \"Merged\"."},
        {"A", "headers", "keep",
         "There is no per-system setting \"headers\". The per-system settings are: output, merge-mode."},
        {"", "output", "7z", "The system name \"\" cannot head a section"},
        {" A", "output", "7z", "The system name \" A\" cannot head a section"},
        {"A\nB", "output", "7z", "cannot head a section"},
    };
    Settings s = load();
    for (const Case& c : cases) {
        const std::string error = setSystemSetting(s, c.system, c.key, c.value);
        EXPECT_NE(error.find(c.said), std::string::npos) << error;
    }
    EXPECT_EQ(setSetting(s, "output", "rar", nullptr), "output takes zip, torrentzip or 7z, not \"rar\".");
    EXPECT_EQ(setSetting(s, "merge-mode", "default", nullptr),
              "merge-mode takes split, merged, non-merged or full-non-merged, not \"default\".");
    EXPECT_FALSE(pathExists(s.settingsPath));
    EXPECT_TRUE(s.systemOutput.empty() && s.systemMergeMode.empty());
    EXPECT_EQ(std::pair(s.output, s.mergeMode), std::pair(ArchiveOutput::Zip, MergeMode::Split));
}

// As for a global setting, the value holds for the run; the caller is told the file did not take it.
TEST_F(SettingsKeysTest, AnUnwritableFileIsReportedAndTheValueHoldsForTheRun) {
    Settings s = load();
    testing::writeFile(dir.file("blocker"), "a regular file");
    s.settingsPath = dir.file("blocker") + "/quorvane.INI";
    EXPECT_EQ(setSystemSetting(s, "A", "output", "7z"), "Cannot write the settings file " + s.settingsPath + ".");
    EXPECT_EQ(s.outputFor("A"), ArchiveOutput::SevenZip);
}

}  // namespace
}  // namespace quorvane
