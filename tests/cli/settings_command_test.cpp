#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::runCapture;
using testing::TempDir;

std::string exe() { return QUORVANE_EXE; }

TEST(SettingsCommand, PrintsDefaultsInOrder) {
    TempDir dir;
    std::string out;
    ASSERT_EQ(runCapture(exe() + " --home " + dir.path() + " settings", out), 0);
    const std::string b = dir.path() + "/";
    EXPECT_EQ(out, "Top = 100\nLeft = 100\nInitMax = 0\nuseMD5 = 0\nuseSHA1 = 0\n"
                   "basedir = " + b + "\nsourcedir = " + b + "/sourceroms\ncurrentdb = roms\n"
                   "tosecdir = " + b + "/romsets/Tosec\ngooddir = " + b + "/romsets/Good\n"
                   "arcadedir = " + b + "/romsets/Arcade\narcadeunemudir = " + b + "/romsets/Arcadeunemu\n"
                   "miscdir = " + b + "/romsets/Misc\ncustomdir = " + b + "/romsets/Custom\n"
                   "categoryDir = " + b + "/romsets/Tosec\ndatabasesDir = " + b + "databases/\n"
                   "settingsFile = " + b + "quorvane.INI\n");
}

TEST(SettingsCommand, HomeFromEnvironmentCategoryAndUsageErrors) {
    TempDir dir;
    testing::writeFile(dir.file("quorvane.INI"), "[quorvane]\nbasedir=/emu\n");
    std::string out;
    ASSERT_EQ(runCapture("QUORVANE_HOME=" + dir.path() + " " + exe() + " --category good settings", out), 0);
    EXPECT_NE(out.find("gooddir = /emu/romsets/Good\n"), std::string::npos);
    EXPECT_NE(out.find("currentdb = romsGood\n"), std::string::npos);
    EXPECT_NE(out.find("categoryDir = /emu/romsets/Good\n"), std::string::npos);

    EXPECT_EQ(runCapture(exe() + " --home " + dir.path() + " --category nope settings 2>/dev/null", out), 2);
    EXPECT_EQ(runCapture(exe() + " --no-such-flag 2>/dev/null", out), 2);
    ASSERT_EQ(runCapture(exe() + " --version", out), 0);
    EXPECT_EQ(out.rfind("Quorvane ", 0), 0u);
}

}  // namespace
}  // namespace quorvane
