// An X server of its own for a test (Xvfb on a free display number) with a
// window manager on it (openbox), both ended with the object.
#pragma once

#include <sys/types.h>

#include <string>

namespace quorvane::testing {

class DisplayServer {
public:
    DisplayServer() = default;
    ~DisplayServer();
    DisplayServer(const DisplayServer&) = delete;
    DisplayServer& operator=(const DisplayServer&) = delete;

    // True once both run and the window manager has taken the display (so
    // a program that connects now sees the manager's frames). False when
    // Xvfb or openbox is not installed or either did not come up.
    bool start();
    // ":N"
    const std::string& displayName() const { return display_; }

private:
    pid_t server_ = -1;
    pid_t manager_ = -1;
    std::string display_;
    std::string readyFile_;
};

}  // namespace quorvane::testing
