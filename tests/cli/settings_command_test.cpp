#include "cli_fixture.h"

namespace quorvane {
namespace {

class SettingsCommand : public testing::CliTest {};

TEST_F(SettingsCommand, PrintsEverySettingInOrderWithTheFilesInTheHomeFolder) {
    std::string out;
    ASSERT_EQ(run("settings", out), 0);
    std::vector<std::string> keys;
    for (size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
        keys.push_back(out.substr(at, out.find(" = ", at) - at));
    EXPECT_EQ(keys, (std::vector<std::string>{"Top", "Left", "InitMax", "useMD5", "useSHA1", "headers", "basedir", "sourcedir",
                                              "currentdb", "tosecdir", "gooddir", "arcadedir", "arcadeunemudir",
                                              "miscdir", "customdir", "categoryDir", "databasesDir", "settingsFile"}));
    for (const char* line :
         {"\nbasedir = $HOME/\n", "\ndatabasesDir = $HOME/databases/\n", "\nsettingsFile = $HOME/quorvane.INI\n"})
        EXPECT_THAT(out, testing::HasSubstr(expand(line)));
}

TEST_F(SettingsCommand, HomeFromEnvironmentCategoryAndUsageErrors) {
    writeSettings("basedir=/emu");
    std::string out;
    ASSERT_EQ(
        testing::runCapture("QUORVANE_HOME=" + home.path() + " " + QUORVANE_EXE + " --category good settings", out), 0);
    for (const char* line :
         {"gooddir = /emu/romsets/Good\n", "currentdb = romsGood\n", "categoryDir = /emu/romsets/Good\n"})
        EXPECT_THAT(out, testing::HasSubstr(line));
    runSteps({{.args = "--category nope settings 2>/dev/null", .status = 2},
              {.args = "--no-such-flag 2>/dev/null", .status = 2},
              {.args = "--version", .has = {"Quorvane "}}});
}

}  // namespace
}  // namespace quorvane
