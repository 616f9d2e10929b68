// Without a command (only --home and --category, or nothing) the desktop
// program starts, when built; a command runs on the command line.
// "--has-gui" answers whether the desktop program is built in (the set-up
// scripts ask).
#include <cstring>

#include "cli/cli_context.h"

#ifdef QUORVANE_HAVE_GUI
#include "ui/desktop_main.h"
#endif

int main(int argc, char** argv) {
    using namespace quorvane;
#ifdef QUORVANE_HAVE_GUI
    if (argc == 2 && std::strcmp(argv[1], "--has-gui") == 0) return 0;
    return runCli(argc, argv, [argv](const CliContext& ctx) {
        Settings settings;
        if (!ctx.loadSettings(settings)) return kExitUsage;
        return runDesktop(argv[0], settings);
    });
#else
    if (argc == 2 && std::strcmp(argv[1], "--has-gui") == 0) return 1;
    return runCli(argc, argv);
#endif
}
