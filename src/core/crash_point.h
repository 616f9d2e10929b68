// Crash testing of everything that writes to disk. When the environment
// variable QUORVANE_CRASH_AFTER_CALLS holds N > 0, the process kills itself
// with SIGKILL on entering its N-th counted file-system call, so a test can
// stop the program at any step of its disk work. N = 0 only counts; either
// way the count is written to standard error at a normal exit
// ("quorvane: N file-system calls"). The archive layer and the catalogue
// share this one count.
#pragma once

namespace quorvane {

// Counts one file-system call; never returns at the chosen one.
void crashPoint();

}  // namespace quorvane
