// quorvane torrentzip FOLDER|SYSTEM...: rewrites the zips of each folder (a
// system's name stands for its folder) as TorrentZip; valid ones are left
// alone, each original of a converted one goes to the backup folder. One
// line per archive, a count at the end; exit 1 when any failed.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "catalogue/catalogue.h"
#include "cli/cli_context.h"
#include "core/file_util.h"
#include "core/text.h"
#include "engine/journaling_file_ops.h"
#include "jobs/catalogue_jobs.h"
#include "tools/torrent_zip_folder.h"

namespace quorvane {

namespace {

struct Options {
    std::vector<std::string> targets;
};

int runTorrentZip(const CliContext& ctx, const Options& o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    std::vector<std::string> folders;
    std::vector<std::string> systems;
    for (const std::string& target : o.targets) {
        if (isDirectory(target)) folders.push_back(target);
        else systems.push_back(target);
    }
    if (!systems.empty()) {
        std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
        if (!db) return kExitFailed;
        if (const int rc = checkSystemNames(db->catalogue(), systems)) return rc;
        for (const std::string& system : systems) folders.push_back(systemFolderPath(settings, system));
    }
    ZipperBackup backup(settings.backupDir);
    JournaledRun journaled(backup.path(), "torrentzip");
    for (const std::string& target : o.targets) journaled.noteSystem(target);
    TorrentZipCounts total;
    for (const std::string& folder : folders) {
        const TorrentZipCounts counts = torrentZipFolder(folder, backup, [](const TorrentZipStep& step) {
            const std::string path = terminalText(step.path);
            if (step.status != ZipStatus::Ok)
                std::fprintf(stderr, "%s was not converted: %s.\n", path.c_str(), zipStatusWithReason(step.status).c_str());
            else if (step.converted)
                std::printf("%s: converted; the original is %s\n", path.c_str(), terminalText(step.keptAs).c_str());
            else
                std::printf("%s: TorrentZip already\n", path.c_str());
            std::fflush(stdout);
        });
        total.valid += counts.valid;
        total.converted += counts.converted;
        total.failed += counts.failed;
    }
    std::printf("Converted: %d, TorrentZip already: %d, failed: %d\n", total.converted, total.valid, total.failed);
    return total.failed ? kExitFailed : kExitOk;
}

}  // namespace

void addTorrentZipCommand(CLI::App& app, CliContext& ctx) {
    auto o = std::make_shared<Options>();
    CLI::App* c = app.add_subcommand("torrentzip", "Rewrite the zips of folders or systems as TorrentZip");
    c->add_option("TARGET", o->targets, "Folders, or systems of the current database (their folders)")->required();
    c->callback([&ctx, o] { ctx.action = [&ctx, o] { return runTorrentZip(ctx, *o); }; });
}

}  // namespace quorvane
