// A fresh temporary folder per test, removed afterwards.
#pragma once

#include <cstdint>
#include <functional>
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
// Runs `body` with this process's files limited to `bytes`, as on a full
// disk: a write past the limit fails (EFBIG) instead of raising SIGXFSZ.
void withFileSizeLimit(std::uint64_t bytes, const std::function<void()>& body);
// Runs a shell command; returns its exit status.
int runShell(const std::string& command);
// Runs a shell command, capturing its standard output; returns the exit status.
int runCapture(const std::string& command, std::string& output);

}  // namespace quorvane::testing
