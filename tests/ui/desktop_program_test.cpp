// The built program without a command: the desktop program, on the home and
// category given, or a plain refusal when there is no display.
#include <gtest/gtest.h>

#include <string>
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

// The desktop program opens the category's catalogue in the home's databases
// folder at start: that is where its files appear (within 30 s), and it is
// still running then.
TEST(DesktopProgram, HomeAndCategoryOptionsStartTheDesktopOnThem) {
    TempDir home;
    std::string out;
    ASSERT_EQ(testing::runCapture(
                  "QT_QPA_PLATFORM=offscreen " QUORVANE_EXE " --home " + home.path() + " --category arcade & pid=$!; " +
                      "for i in $(seq 600); do ls " + home.file("databases") +
                      " 2>/dev/null | grep -q '^romsArcade_' && break; sleep 0.05; done; kill -0 $pid && echo running; "
                      "kill $pid; wait $pid; ls " +
                      home.file("databases"),
                  out),
              0);
    EXPECT_NE(out.find("running\n"), std::string::npos) << "the program ended by itself: " << out;
    EXPECT_NE(out.find("romsArcade_"), std::string::npos) << "no catalogue of the Arcade category: " << out;
    EXPECT_EQ(out.find("roms_"), std::string::npos) << "the Tosec catalogue was opened: " << out;
}

// The command line never loads Qt: a command starts as quickly as in a
// build without the desktop program, which it still finds and starts.
TEST(DesktopProgram, TheCommandLineHandsOverToItAndLoadsNoQtOfItsOwn) {
    std::string out;
    ASSERT_EQ(testing::runCapture("ldd " QUORVANE_EXE, out), 0);
    EXPECT_EQ(out.find("libQt6"), std::string::npos) << out;
    EXPECT_NE(out.find("libc.so"), std::string::npos) << out;
    EXPECT_EQ(testing::runCapture(QUORVANE_EXE " --has-gui", out), 0);
}

}  // namespace
}  // namespace quorvane
