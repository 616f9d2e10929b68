// How the command-line tests run the built program: each test has a home
// folder of its own (settings file, databases/, Backup/) and passes it with
// --home. Arguments are shell text, so a test redirects as it needs.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace quorvane::testing {

// The shell command that runs the program on `homeDir` with `args`.
std::string programCommand(const std::string& homeDir, const std::string& args);

class CliTest : public ::testing::Test {
protected:
    TempDir home;

    std::string cmd(const std::string& args) const { return programCommand(home.path(), args); }
    // Runs the program; its standard output goes to `out`. The exit status.
    int run(const std::string& args, std::string& out) const { return runCapture(cmd(args), out); }
    // Writes the settings file: a [Quorvane] section of these lines.
    void writeSettings(const std::string& lines) const;
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

}  // namespace quorvane::testing
