// quorvane identify PATH... [--json] [--rebuild]: what the entries of some
// zip archives are; --rebuild hands the archives of every line not had to
// the rebuild job ("Rebuild All"). Inputs that cannot be read are named on
// standard error, and the exit status is then 1.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "cli/console_host.h"
#include "core/json.h"
#include "core/text.h"
#include "jobs/catalogue_jobs.h"
#include "tools/identified_list.h"

namespace quorvane {

namespace {

struct Options {
    std::vector<std::string> paths;
    bool json = false;
    bool rebuild = false;
    bool yes = false;
};

void printHits(const IdentifiedList& list, bool json) {
    if (json) {
        std::printf("{\"hits\": [");
        bool first = true;
        for (const RomMatch& h : list.items()) {
            std::printf("%s{\"filename\": %s, \"path\": %s, \"system\": %s, \"game\": %s, \"rom\": %s, \"status\": %s}",
                        first ? "" : ", ", jsonString(identifiedFileName(h)).c_str(),
                        jsonString(h.foundIn.archivePath).c_str(), jsonString(h.system).c_str(),
                        jsonString(h.game).c_str(), jsonString(h.name).c_str(), jsonString(h.status).c_str());
            first = false;
        }
        std::printf("]}\n");
        return;
    }
    if (list.empty()) return;
    std::printf("Filename\tSystem\tGamename\tRomname\tStatus\n");
    for (const RomMatch& h : list.items())
        std::printf("%s\t%s\t%s\t%s\t%s\n", terminalText(identifiedFileName(h)).c_str(),
                    terminalText(h.system).c_str(), terminalText(h.game).c_str(), terminalText(h.name).c_str(),
                    terminalText(h.status).c_str());
}

int runIdentify(const CliContext& ctx, const Options& o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    ConsoleHost host(stderr, stderr);
    if (o.yes) host.setQuestionPolicy(QuestionPolicy::Yes);
    IdentifiedList list;
    // The job hands its hits over on its own thread; reading them after
    // waitForJob needs no further lock.
    if (!db->startIdentify(host, settings, o.paths, [&list](const std::vector<RomMatch>& hits) { list.append(hits); })) {
        if (db->catalogue().lastError().empty()) std::fprintf(stderr, "%s\n", kAnotherJobRunning);
        return kExitFailed;
    }
    db->wait();
    printHits(list, o.json);
    // Each input that could not be read was reported as a failed step.
    const auto outcome = [&host] { return host.failedSteps() > 0 ? kExitFailed : kExitOk; };
    if (!o.rebuild) return outcome();
    std::vector<std::string> paths = list.rebuildAllPaths();
    if (paths.empty()) {
        std::fprintf(stderr, "Nothing to rebuild.\n");
        return outcome();
    }
    if (!db->startRebuild(host, settings, std::move(paths))) {
        if (db->catalogue().lastError().empty()) std::fprintf(stderr, "%s\n", kAnotherJobRunning);
        return kExitFailed;
    }
    db->wait();
    return outcome();
}

}  // namespace

void addIdentifyCommand(CLI::App& app, CliContext& ctx) {
    auto o = std::make_shared<Options>();
    CLI::App* c = app.add_subcommand("identify", "Identify the entries of zip archives in the current database");
    c->add_option("PATH", o->paths, "Zip archives")->required();
    c->add_flag("--json", o->json, "Print JSON");
    c->add_flag("--rebuild", o->rebuild, "Rebuild sets from the archives of every line not had yet");
    c->add_flag("--yes", o->yes, "Answer Yes to the rebuild's questions");
    c->callback([&ctx, o] { ctx.action = [&ctx, o] { return runIdentify(ctx, *o); }; });
}

}  // namespace quorvane
