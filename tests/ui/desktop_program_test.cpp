// The built program without a command: the desktop program, on the home and
// category given, or a plain refusal when there is no display.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::TempDir;

constexpr const char* kNoDisplay = "No display found: run a command (see quorvane --help)\n";

// Without a display (none named, or one named that is not there) the
// program refuses plainly rather than with Qt's abort; commands and help
// are the command line's, display or not.
TEST(DesktopProgram, WithoutADisplayItSaysSoAndFails) {
    TempDir home;
    const std::string noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " QUORVANE_EXE " ";
    const std::string homeArg = "--home " + home.path();
    const struct {
        std::string command;
        int status;
        std::string said;  // "": no refusal
        bool whole;        // `said` is all the output
    } cases[] = {
        {noDisplay, 1, kNoDisplay, true},
        {noDisplay + homeArg, 1, kNoDisplay, true},
        {noDisplay + homeArg + " --category Good", 1, kNoDisplay, true},
        {"env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:987 " QUORVANE_EXE " " + homeArg, 1, kNoDisplay, false},
        {noDisplay + "--help", 0, "Usage", false},
        {noDisplay + homeArg + " settings", 0, "", false},
        {noDisplay + homeArg + " --category Nope", 2, "Unknown category \"Nope\"", false},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(testing::runCapture(c.command + " 2>&1 </dev/null", out), c.status) << c.command;
        if (c.whole) EXPECT_EQ(out, c.said) << c.command;
        else if (c.said.empty()) EXPECT_EQ(out.find(kNoDisplay), std::string::npos) << c.command << ": " << out;
        else EXPECT_NE(out.find(c.said), std::string::npos) << c.command << ": " << out;
    }
}

bool holdsFileStartingWith(const std::string& folder, const std::string& prefix) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) return true;
    return false;
}

// The desktop program opens the category's catalogue in the home's databases
// folder at start: that is where its files appear.
TEST(DesktopProgram, HomeAndCategoryOptionsStartTheDesktopOnThem) {
    TempDir home;
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::execl(QUORVANE_EXE, QUORVANE_EXE, "--home", home.path().c_str(), "--category", "arcade", nullptr);
        ::_exit(127);
    }
    const std::string databases = home.file("databases");
    bool opened = false;
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 600 && !opened && !ended; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        opened = holdsFileStartingWith(databases, "romsArcade_");
        ended = ::waitpid(pid, &status, WNOHANG) == pid;
    }
    if (!ended) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, &status, 0);
    }
    EXPECT_FALSE(ended) << "the program ended by itself with status " << status;
    EXPECT_TRUE(opened) << "no catalogue of the Arcade category in " << databases;
    EXPECT_FALSE(holdsFileStartingWith(databases, "roms_")) << "the Tosec catalogue was opened";
}

}  // namespace
}  // namespace quorvane
