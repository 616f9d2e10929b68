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

std::string effective(const Settings& s, const std::string& system) {
    std::string value;
    EXPECT_TRUE(systemSettingValue(s, system, "output", value));
    return value;
}

class SettingsKeysTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    Settings load() const { return loadSettings(programFoldersIn(dir.path())); }
};

// What was set is what the next run reads: the global value, a system's own,
// the same system named in another case, and one put back on the global value.
TEST_F(SettingsKeysTest, OutputRoundTripsGloballyAndPerSystem) {
    Settings s = load();
    ASSERT_EQ(setSetting(s, "output", "7z", nullptr), "");
    struct Step {
        const char* system;
        const char* value;
    };
    for (const Step& step : {Step{"A", "torrentzip"}, Step{"b", "zip"}, Step{"B", "torrentzip"}, Step{"C", "zip"},
                             Step{"A", "default"}, Step{"Never set", "default"}})
        ASSERT_EQ(setSystemSetting(s, step.system, "output", step.value), "") << step.system;
    const Settings reloaded = load();
    for (const Settings* each : {static_cast<const Settings*>(&s), &reloaded}) {
        EXPECT_EQ(each->output, ArchiveOutput::SevenZip);
        EXPECT_EQ(ownValuesText(*each), "output[b]=torrentzip;output[C]=zip;");
        EXPECT_EQ(effective(*each, "A") + effective(*each, "B") + effective(*each, "c") + effective(*each, "D"),
                  "7ztorrentzipzip7z");
    }
    const std::string file = testing::readFile(s.settingsPath);
    EXPECT_EQ(file.find("[System A]"), std::string::npos);
    EXPECT_EQ(file.find("[System B]"), std::string::npos);  // b's section took the new value
    EXPECT_NE(file.find("[System b]\r\noutput=torrentzip\r\n"), std::string::npos);
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
        {"A", "headers", "keep", "There is no per-system setting \"headers\". The per-system settings are: output."},
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
    EXPECT_FALSE(pathExists(s.settingsPath));
    EXPECT_TRUE(s.systemOutput.empty());
    EXPECT_EQ(s.output, ArchiveOutput::Zip);
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
