#include "display_server.h"

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace quorvane::testing {

namespace {

bool onPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// In a child: end with the test, even when the test is killed.
void endWithParent() { ::prctl(PR_SET_PDEATHSIG, SIGTERM); }

void end(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

}  // namespace

DisplayServer::~DisplayServer() {
    end(manager_);
    end(server_);
    if (!readyFile_.empty()) std::filesystem::remove(readyFile_);
}

bool DisplayServer::start() {
    if (!onPath("Xvfb") || !onPath("openbox")) return false;
    // Xvfb picks a free display number and writes it to the pipe once it
    // takes connections.
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return false;
    server_ = ::fork();
    if (server_ == 0) {
        endWithParent();
        ::close(pipeFds[0]);
        const std::string fd = std::to_string(pipeFds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string number;
    char c;
    while (server_ > 0 && ::read(pipeFds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(pipeFds[0]);
    if (number.empty()) return false;
    display_ = ":" + number;

    // openbox runs its start-up command once it manages the display.
    readyFile_ = (std::filesystem::temp_directory_path() / ("quorvane-wm-ready-" + number)).string();
    std::filesystem::remove(readyFile_);
    manager_ = ::fork();
    if (manager_ == 0) {
        endWithParent();
        ::setenv("DISPLAY", display_.c_str(), 1);
        const std::string startup = "touch " + readyFile_;
        ::execlp("openbox", "openbox", "--sm-disable", "--startup", startup.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 300 && manager_ > 0; ++i) {
        if (std::filesystem::exists(readyFile_)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace quorvane::testing
