#pragma once

#include "core/settings.h"

namespace quorvane {

inline constexpr const char* kNoDisplayText = "No display found: run a command (see quorvane --help)";

// Starts the desktop program on `settings` (already chosen home and
// category); returns its exit status, 1 with kNoDisplayText on standard
// error when there is no display to show it on.
int runDesktop(const char* programPath, Settings& settings);

}  // namespace quorvane
