// quorvane identify PATH... [--json] [--rebuild]: what the entries of some
// archives (zip, 7z, RAR, gzip, tar) and some CHD disk images are, then a
// summary naming the entries that matched nothing;
// --rebuild hands the archives of every line not had to the rebuild job
// ("Rebuild All"). Inputs that cannot be read are named on standard error
// (or in the JSON document), and the exit status is then 1.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "cli/console_host.h"
#include "cli/json_host.h"
#include "cli/json_writer.h"
#include "cli/report_output.h"
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

void writeHits(JsonWriter& out, const IdentifiedList& list) {
    out.key("hits").beginArray();
    for (const RomMatch& h : list.items()) {
        out.beginObject()
            .field("filename", identifiedFileName(h))
            .field("path", h.foundIn.archivePath)
            .field("system", h.system)
            .field("game", h.game)
            .field("rom", h.name)
            .field("status", h.status)
            .endObject();
    }
    out.endArray();
}

void printHits(const IdentifiedList& list) {
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
    JsonHost jsonHost;
    ConsoleHost consoleHost(stderr, stderr);
    ConsoleHost& host = o.json ? jsonHost : consoleHost;
    if (o.yes) host.setQuestionPolicy(QuestionPolicy::Yes);
    IdentifiedList list;
    // The job hands its hits over on its own thread; reading them after
    // waitForJob needs no further lock.
    if (!db->startIdentify(host, settings, o.paths, [&list](const std::vector<RomMatch>& hits) { list.append(hits); })) {
        if (db->catalogue().lastError().empty()) std::fprintf(stderr, "%s\n", kAnotherJobRunning);
        return kExitFailed;
    }
    db->wait();
    const std::shared_ptr<const JobReport> identified = host.report();
    JsonWriter out;
    if (o.json) {
        out.beginObject().field("command", "identify");
        writeHits(out, list);
        if (identified) writeIdentifyReport(out, *identified);
    } else {
        printHits(list);
        printSummary(identified.get());
    }
    // Each input that could not be read was reported as a failed step.
    const auto outcome = [&] {
        if (o.json) {
            jsonHost.writeMessages(out);
            std::printf("%s\n", out.endObject().text().c_str());
        }
        return host.failedSteps() > 0 ? kExitFailed : kExitOk;
    };
    // A note of the command's own: in the document, or on standard error.
    const auto note = [&](const char* text) {
        if (o.json) jsonHost.addMessage(text);
        else std::fprintf(stderr, "%s\n", text);
    };
    if (!o.rebuild) return outcome();
    std::vector<std::string> paths = list.rebuildAllPaths();
    if (paths.empty()) {
        note("Nothing to rebuild.");
        return outcome();
    }
    if (!db->startRebuild(host, settings, std::move(paths))) {
        if (db->catalogue().lastError().empty()) note(kAnotherJobRunning);
        outcome();
        return kExitFailed;
    }
    db->wait();
    if (host.report() && host.report() != identified) {
        if (o.json) {
            out.key("rebuild").beginObject();
            writeRebuildReport(out, *host.report());
            out.endObject();
        } else {
            printSummary(host.report().get(), stderr);
        }
    }
    return outcome();
}

}  // namespace

void addIdentifyCommand(CLI::App& app, CliContext& ctx) {
    auto o = std::make_shared<Options>();
    CLI::App* c = app.add_subcommand("identify", "Identify the entries of archives (zip, 7z, RAR, gzip, tar) in the current database");
    c->add_option("PATH", o->paths, "Archives (zip, 7z, RAR, gzip, tar) or CHD disk images")->required();
    c->add_flag("--json", o->json, "Print JSON");
    c->add_flag("--rebuild", o->rebuild, "Rebuild sets from the archives of every line not had yet");
    c->add_flag("--yes", o->yes, "Answer Yes to the rebuild's questions");
    c->callback([&ctx, o] { ctx.action = [&ctx, o] { return runIdentify(ctx, *o); }; });
}

}  // namespace quorvane
