// The desktop program, which the command line starts when it is given no
// command; given one, it runs it as the command line would.
#include "cli/cli_context.h"
#include "core/allocator_tuning.h"
#include "ui/desktop_main.h"

int main(int argc, char** argv) {
    using namespace quorvane;
    return runCli(argc, argv, [argv](const CliContext& ctx) {
        // A session fills much fresh memory.
        restartWithTunedAllocator(argv, kLargeHeapStep);
        Settings settings;
        if (!ctx.loadSettings(settings)) return kExitUsage;
        return runDesktop(argv[0], settings);
    });
}
