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

// The program run without any display named; standard output and error together.
int runWithoutDisplay(const std::string& args, std::string& out) {
    return testing::runCapture(
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " QUORVANE_EXE " " + args + " 2>&1 </dev/null", out);
}

TEST(DesktopProgram, WithoutADisplayItSaysSoAndFails) {
    TempDir home;
    for (const std::string& args :
         {std::string(), "--home " + home.path(), "--home " + home.path() + " --category Good"}) {
        std::string out;
        EXPECT_EQ(runWithoutDisplay(args, out), 1) << args;
        EXPECT_EQ(out, kNoDisplay) << args;
    }
    // A display named but not there: the same refusal, not Qt's abort.
    std::string out;
    EXPECT_EQ(testing::runCapture("env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:987 " QUORVANE_EXE " --home " +
                                      home.path() + " 2>&1 </dev/null",
                                  out),
              1);
    EXPECT_NE(out.find(kNoDisplay), std::string::npos) << out;

    // Commands and help are the command line's, display or not.
    EXPECT_EQ(runWithoutDisplay("--help", out), 0);
    EXPECT_NE(out.find("Usage"), std::string::npos) << out;
    EXPECT_EQ(runWithoutDisplay("--home " + home.path() + " settings", out), 0);
    EXPECT_EQ(out.find(kNoDisplay), std::string::npos) << out;
    EXPECT_EQ(runWithoutDisplay("--home " + home.path() + " --category Nope", out), 2);
    EXPECT_NE(out.find("Unknown category \"Nope\""), std::string::npos) << out;
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
