#pragma once

namespace quorvane {
// Starts the desktop program; returns its exit status.
int runDesktop(int argc, char** argv);
}  // namespace quorvane
