// No arguments start the desktop program (when built); anything else is the
// command line. "--has-gui" answers whether the desktop program is built in
// (the set-up scripts ask).
#include <cstring>

#include "cli/cli_context.h"

#ifdef QUORVANE_HAVE_GUI
#include "ui/desktop_main.h"
#endif

int main(int argc, char** argv) {
#ifdef QUORVANE_HAVE_GUI
    if (argc == 1) return quorvane::runDesktop(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "--has-gui") == 0) return 0;
#else
    if (argc == 2 && std::strcmp(argv[1], "--has-gui") == 0) return 1;
#endif
    return quorvane::runCli(argc, argv);
}
