// A fresh temporary folder per test, removed afterwards.
#pragma once

#include <string>

namespace quorvane::testing {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, without a trailing "/".
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes `content` to `path` (creating parent folders). Fails the test on error.
void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
// Runs a shell command; returns its exit status.
int runShell(const std::string& command);
// Runs a shell command, capturing its standard output; returns the exit status.
int runCapture(const std::string& command, std::string& output);

}  // namespace quorvane::testing
