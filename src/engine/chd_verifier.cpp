#include "engine/chd_verifier.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

extern char** environ;

namespace quorvane {

namespace {

// How often a running verification looks for a cancel.
constexpr int kPollMilliseconds = 200;
// Enough of chdman's output to hold its last lines; its progress lines are
// rewritten with "\r", so a long run repeats them many times.
constexpr size_t kOutputKept = 64 * 1024;

// chdman ends a failure with "Fatal error occurred: <code>"; the line that
// says what was wrong comes before it and starts with "Error".
std::string verdictLine(const std::string& output) {
    std::string last, lastError;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find_first_of("\r\n", start);
        if (end == std::string::npos) end = output.size();
        const size_t first = output.find_first_not_of(" \t", start);
        if (first < end) {
            last = output.substr(first, end - first);
            if (last.rfind("Error", 0) == 0) lastError = last;
        }
        start = end + 1;
    }
    return lastError.empty() ? last : lastError;
}

// Reads the child's output until it closes it, keeping the tail. False when
// `cancelled` answered true first.
bool collectOutput(int fd, std::string& output, const std::function<bool()>& cancelled) {
    char buffer[4096];
    for (;;) {
        if (cancelled && cancelled()) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kPollMilliseconds);
        if (ready < 0 && errno != EINTR) return true;
        if (ready <= 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return true;
        output.append(buffer, static_cast<size_t>(n));
        if (output.size() > 2 * kOutputKept) output.erase(0, output.size() - kOutputKept);
    }
}

}  // namespace

ChdVerification verifyChd(const std::string& path, const std::function<bool()>& cancelled) {
    using Outcome = ChdVerification::Outcome;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return {Outcome::NotRun, std::string("cannot run chdman: ") + std::strerror(errno)};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    std::vector<std::string> args = {"chdman", "verify", "-i", path};
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, "chdman", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        if (spawned == ENOENT) return {Outcome::ToolMissing, "chdman was not found"};
        return {Outcome::NotRun, std::string("cannot run chdman: ") + std::strerror(spawned)};
    }
    std::string output;
    const bool finished = collectOutput(pipeFds[0], output, cancelled);
    ::close(pipeFds[0]);
    if (!finished) ::kill(pid, SIGTERM);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!finished) return {Outcome::NotRun, "stopped"};
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {Outcome::Passed, {}};
    if (WIFSIGNALED(status)) return {Outcome::NotRun, "chdman was ended by signal " + std::to_string(WTERMSIG(status))};
    const std::string line = verdictLine(output);
    return {Outcome::Failed,
            line.empty() ? "chdman verify failed with status " + std::to_string(WEXITSTATUS(status)) : line};
}

}  // namespace quorvane
