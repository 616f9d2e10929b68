#include "support/temp_dir.h"

#include <sys/resource.h>

#include <gtest/gtest.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quorvane::testing {

// temp_directory_path() follows TMPDIR.
TempDir::TempDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/quorvane-test-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() { std::error_code ec; std::filesystem::remove_all(path_, ec); }

void writeFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    ASSERT_TRUE(out << content) << "cannot write " << path;
}

// A folder or a missing file reads as empty (a stream copy, which does not throw).
std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void withFileSizeLimit(std::uint64_t bytes, const std::function<void()>& body) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = bytes;
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    body();
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, handler);
}

static int exitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

int runShell(const std::string& command) { return exitStatus(std::system(command.c_str())); }

int runCapture(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    return exitStatus(::pclose(pipe));
}

}  // namespace quorvane::testing
