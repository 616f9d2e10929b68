#include "cli_fixture.h"

namespace quorvane {
namespace {

using testing::CliTest;
using testing::runCapture;

class SettingsCommand : public CliTest {};

TEST_F(SettingsCommand, PrintsEverySettingInOrderWithTheFilesInTheHomeFolder) {
    std::string out;
    ASSERT_EQ(run("settings", out), 0);
    std::vector<std::string> keys;
    for (size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
        keys.push_back(out.substr(at, out.find(" = ", at) - at));
    EXPECT_EQ(keys, (std::vector<std::string>{"Top", "Left", "InitMax", "useMD5", "useSHA1", "basedir", "sourcedir",
                                              "currentdb", "tosecdir", "gooddir", "arcadedir", "arcadeunemudir",
                                              "miscdir", "customdir", "categoryDir", "databasesDir", "settingsFile"}));
    const std::string b = home.path() + "/";
    EXPECT_NE(out.find("\nbasedir = " + b + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\ndatabasesDir = " + b + "databases/\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nsettingsFile = " + b + "quorvane.INI\n"), std::string::npos) << out;
}

TEST_F(SettingsCommand, HomeFromEnvironmentCategoryAndUsageErrors) {
    writeSettings("basedir=/emu");
    std::string out;
    ASSERT_EQ(runCapture("QUORVANE_HOME=" + home.path() + " " + QUORVANE_EXE + " --category good settings", out), 0);
    EXPECT_NE(out.find("gooddir = /emu/romsets/Good\n"), std::string::npos);
    EXPECT_NE(out.find("currentdb = romsGood\n"), std::string::npos);
    EXPECT_NE(out.find("categoryDir = /emu/romsets/Good\n"), std::string::npos);

    EXPECT_EQ(run("--category nope settings 2>/dev/null", out), 2);
    EXPECT_EQ(run("--no-such-flag 2>/dev/null", out), 2);
    ASSERT_EQ(run("--version", out), 0);
    EXPECT_EQ(out.rfind("Quorvane ", 0), 0u);
}

}  // namespace
}  // namespace quorvane
