// The command line. Without a command (only --home and --category, or
// nothing) it hands over to the desktop program beside it when that was
// built, so that no command pays for loading Qt. "--has-gui" answers
// whether there is one (the set-up scripts ask).
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/cli_context.h"
#include "core/program_folders.h"
#include "core/text.h"

int main(int argc, char** argv) {
    using namespace quorvane;
    const std::string desktop = executableFolder() + "quorvane-desktop";
    const bool hasDesktop = ::access(desktop.c_str(), X_OK) == 0;
    if (argc == 2 && std::strcmp(argv[1], "--has-gui") == 0) return hasDesktop ? 0 : 1;
    if (!hasDesktop) return runCli(argc, argv);
    return runCli(argc, argv, [&desktop, argv](const CliContext&) {
        ::execv(desktop.c_str(), argv);
        std::fprintf(stderr, "Cannot start the desktop program %s: %s\n", terminalText(desktop).c_str(),
                     std::strerror(errno));
        return kExitFailed;
    });
}
