// How the command-line tests run the built program: each test has a home
// folder of its own (settings file, databases/, Backup/) and passes it with
// --home. Arguments are shell text, so a test redirects as it needs.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/catalogue_rows.h"
#include "support/temp_dir.h"

namespace quorvane::testing {

using ::testing::HasSubstr;
using ::testing::Not;

// The shell command that runs the program on `homeDir` with `args`.
std::string programCommand(const std::string& homeDir, const std::string& args);

// One run of the program and what it must give. In every text "$HOME"
// stands for the test's home folder.
struct Step {
    std::string args;
    int status = 0;
    std::optional<std::string> out = {};                          // the whole standard output
    std::vector<std::string> has = {};                            // texts the output holds
    std::vector<std::string> lacks = {};                          // texts it must not hold
    std::vector<std::pair<std::string, std::string>> files = {};  // file -> its content afterwards
    std::vector<std::string> absent = {};                         // paths that must not exist afterwards
};

class CliTest : public ::testing::Test {
protected:
    TempDir home;

    std::string cmd(const std::string& args) const { return programCommand(home.path(), args); }
    // Runs the program; its standard output goes to `out`. The exit status.
    int run(const std::string& args, std::string& out) const { return runCapture(cmd(args), out); }
    // Writes the settings file: a [Quorvane] section of these lines.
    void writeSettings(const std::string& lines) const;
    // Settings that put every category's folder at $HOME/roms.
    void useRomsFolder() const;
    // Adds `rows` to the database of the default category, then marks those
    // whose status is Have or Present as such.
    void addRoms(const std::vector<RomRow>& rows) const;
    std::string expand(std::string text) const;
    // Runs the steps in order, checking each.
    void runSteps(const std::vector<Step>& steps) const;
};

// Settings lines that put every category's folder at the base folder.
inline constexpr const char* kCategoriesAtBasedir =
    "tosecdir=$BASEDIR$\ngooddir=$BASEDIR$\narcadedir=$BASEDIR$\narcadeunemudir=$BASEDIR$\nmiscdir=$BASEDIR$\n"
    "customdir=$BASEDIR$\n";

// Runs the program without a terminal; `log` gets its standard error and
// output together. `crashAt` > 0 kills it at that file-system call, 0 only
// counts its calls, < 0 does neither. The shell's status (128 + signal when
// killed, -1 when the shell itself was).
int runKillable(const std::string& homeDir, const std::string& args, long long crashAt, std::string& log);
// The calls a run with `crashAt` 0 counted; 0 when its log names none.
long long countedCalls(const std::string& log);
// Where to kill a command that makes `total` calls: QUORVANE_CRASH_POINTS
// of them ("all": every call; unset: `byDefault`), spread evenly from the
// first to the last.
std::vector<long long> killPoints(long long total, long long byDefault);

// The crash tests: a home folder made once as a template, and copied afresh
// before each run that may be killed.
class TemplateHomeTest : public ::testing::Test {
protected:
    TempDir root;
    std::string templ() const { return root.file("template"); }
    std::string home() const { return root.file("home"); }
    void fresh() const;
    // The template's settings: every category's folder at the home's roms/.
    void writeTemplateSettings() const;
};

}  // namespace quorvane::testing
