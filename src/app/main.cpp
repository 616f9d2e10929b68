// No arguments start the desktop program (when built); anything else is the
// command line.
#include "cli/cli_context.h"

#ifdef QUORVANE_HAVE_GUI
#include "ui/desktop_main.h"
#endif

int main(int argc, char** argv) {
#ifdef QUORVANE_HAVE_GUI
    if (argc == 1) return quorvane::runDesktop(argc, argv);
#endif
    return quorvane::runCli(argc, argv);
}
