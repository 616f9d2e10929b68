// quorvane zip FOLDER... | unzip FOLDER...: the multi-zipper over whole
// folder trees; one archive per file, or every archive unpacked beside itself.
// Entries a zip replaces go to the backup folder. Exit 1 when any step failed.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "core/text.h"
#include "tools/multi_zipper.h"

namespace quorvane {

namespace {

struct Options {
    std::vector<std::string> folders;
};

int runZipper(const CliContext& ctx, const Options& o, bool unzip) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    ZipWorkList list;
    for (const std::string& folder : o.folders) {
        if (unzip) addFolderToUnzip(folder, list);
        else addFolderToZip(folder, list);
    }
    std::printf("Total Files: %zu\n", list.count());
    std::fflush(stdout);
    int failures = 0;
    auto processed = [&failures](const std::string& path, const ZipperResult& result) {
        if (result.ok()) std::printf("%s\n", terminalText(path).c_str());
        for (const std::string& line : result.kept) std::printf("%s\n", terminalText(line).c_str());
        std::fflush(stdout);
        for (const std::string& line : result.failures) std::fprintf(stderr, "%s\n", terminalText(line).c_str());
        failures += static_cast<int>(result.failures.size());
    };
    MultiZipper engine(list, {nullptr, processed}, {.backupRoot = settings.backupDir});
    engine.wait();
    if (failures > 0) std::fprintf(stderr, "%d step%s failed.\n", failures, failures == 1 ? "" : "s");
    return failures ? kExitFailed : kExitOk;
}

}  // namespace

void addZipCommands(CLI::App& app, CliContext& ctx) {
    auto zip = std::make_shared<Options>();
    CLI::App* z = app.add_subcommand("zip", "Zip every file below the folders, one archive per file");
    z->add_option("FOLDER", zip->folders, "Folders")->required()->check(CLI::ExistingDirectory);
    z->callback([&ctx, zip] { ctx.action = [&ctx, zip] { return runZipper(ctx, *zip, false); }; });

    auto unzip = std::make_shared<Options>();
    CLI::App* u = app.add_subcommand("unzip", "Unpack every zip archive below the folders, beside itself");
    u->add_option("FOLDER", unzip->folders, "Folders")->required()->check(CLI::ExistingDirectory);
    u->callback([&ctx, unzip] { ctx.action = [&ctx, unzip] { return runZipper(ctx, *unzip, true); }; });
}

}  // namespace quorvane
