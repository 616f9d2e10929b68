// quorvane zip FOLDER... | unzip FOLDER...: the multi-zipper over whole
// folder trees; one archive per file, or every archive unpacked beside itself.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "archive/zip_status.h"
#include "cli/cli_context.h"
#include "tools/multi_zipper.h"

namespace quorvane {

namespace {

struct Options {
    std::vector<std::string> folders;
};

int runZipper(const Options& o, bool unzip) {
    ZipWorkList list;
    for (const std::string& folder : o.folders) {
        if (unzip) addFolderToUnzip(folder, list);
        else addFolderToZip(folder, list);
    }
    std::printf("Total Files: %zu\n", list.count());
    int failures = 0;
    ozippatore engine(list, {nullptr, [&failures](const std::string& path, int status) {
                                 if (status == 0) {
                                     std::printf("%s\n", path.c_str());
                                     return;
                                 }
                                 ++failures;
                                 std::fprintf(stderr, "%s: %s\n", path.c_str(), zipStatusText(status).c_str());
                             }});
    engine.wait();
    return failures ? kExitFailed : kExitOk;
}

}  // namespace

void addZipCommands(CLI::App& app, CliContext& ctx) {
    auto zip = std::make_shared<Options>();
    CLI::App* z = app.add_subcommand("zip", "Zip every file below the folders, one archive per file");
    z->add_option("FOLDER", zip->folders, "Folders")->required()->check(CLI::ExistingDirectory);
    z->callback([&ctx, zip] { ctx.action = [zip] { return runZipper(*zip, false); }; });

    auto unzip = std::make_shared<Options>();
    CLI::App* u = app.add_subcommand("unzip", "Unpack every zip archive below the folders, beside itself");
    u->add_option("FOLDER", unzip->folders, "Folders")->required()->check(CLI::ExistingDirectory);
    u->callback([&ctx, unzip] { ctx.action = [unzip] { return runZipper(*unzip, true); }; });
}

}  // namespace quorvane
