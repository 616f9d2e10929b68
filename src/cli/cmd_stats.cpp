// quorvane stats [--json]: the statistics window's fourteen rows.
#include <CLI/CLI.hpp>
#include <array>
#include <cstdio>
#include <mutex>

#include "cli/cli_context.h"
#include "cli/console_host.h"
#include "core/json.h"
#include "core/text.h"
#include "jobs/catalogue_jobs.h"
#include "tools/catalogue_stats.h"

namespace quorvane {

namespace {

struct Options {
    bool json = false;
};

int runStats(const CliContext& ctx, const Options& o) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    ConsoleHost host(stderr, stderr);
    auto values = std::make_shared<std::array<std::string, kStatCount + 1>>();
    auto mutex = std::make_shared<std::mutex>();
    const bool started = db->startStats(host, [values, mutex](int number, const std::string& text) {
        std::lock_guard lock(*mutex);
        (*values)[static_cast<size_t>(number)] = text;
    });
    if (!started) {
        // The starter has said why when the database could not be opened.
        if (db->catalogue().lastError().empty()) std::fprintf(stderr, "%s\n", kAnotherJobRunning);
        return kExitFailed;
    }
    db->wait();
    const std::string error = db->catalogue().lastError();
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", terminalText(error).c_str());
        return kExitFailed;
    }
    if (o.json) {
        std::printf("{\"database\": %s, \"stats\": [", jsonString(settings.currentdb).c_str());
        bool first = true;
        for (const StatRow& row : statRowsTopToBottom()) {
            std::printf("%s{\"number\": %d, \"label\": %s, \"caption\": %s, \"value\": %s}", first ? "" : ", ",
                        row.number, jsonString(row.label).c_str(), jsonString(row.caption).c_str(),
                        jsonString((*values)[static_cast<size_t>(row.number)]).c_str());
            first = false;
        }
        std::printf("]}\n");
        return kExitOk;
    }
    std::printf("DataBase: %s\n", terminalText(settings.currentdb).c_str());
    for (const StatRow& row : statRowsTopToBottom())
        std::printf("%s %s\n", row.caption, terminalText((*values)[static_cast<size_t>(row.number)]).c_str());
    return kExitOk;
}

}  // namespace

void addStatsCommand(CLI::App& app, CliContext& ctx) {
    auto o = std::make_shared<Options>();
    CLI::App* c = app.add_subcommand("stats", "Show the statistics of the current database");
    c->add_flag("--json", o->json, "Print JSON");
    c->callback([&ctx, o] { ctx.action = [&ctx, o] { return runStats(ctx, *o); }; });
}

}  // namespace quorvane
