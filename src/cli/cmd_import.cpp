// quorvane import FILE|FOLDER|ZIP... [--yes | --ignore] [--merge-mode MODE]: the DAT import job.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "cli/console_host.h"
#include "cli/json_host.h"
#include "cli/json_writer.h"
#include "core/settings_keys.h"
#include "core/text.h"
#include "jobs/catalogue_jobs.h"

namespace quorvane {

namespace {

struct ImportOptions {
    std::vector<std::string> files;
    bool yes = false;
    bool ignore = false;
    bool json = false;
    std::optional<std::string> mergeMode;
};

constexpr const char* kMergeModeKey = "merge-mode";

// {"command": "import", "cancelled", "summary": {"imported", "notReplaced",
// "failed"}, "files": [{"path", "outcome", "system", "roms"}], "messages", "findings"}
void printDocument(const JsonHost& host) {
    JsonWriter out;
    out.beginObject().field("command", "import").field("cancelled", false);
    int imported = 0, kept = 0, failed = 0;
    const std::vector<ImportedFile> none;
    const std::vector<ImportedFile>& files = host.report() ? host.report()->importedFiles : none;
    for (const ImportedFile& f : files) {
        imported += f.outcome == "imported";
        kept += f.outcome == "not replaced";
        failed += f.outcome == "failed";
    }
    out.key("summary").beginObject().field("imported", imported).field("notReplaced", kept).field("failed", failed);
    out.endObject().key("files").beginArray();
    for (const ImportedFile& f : files) {
        out.beginObject().field("path", f.path).field("outcome", f.outcome);
        out.field("system", f.system).field("roms", f.roms).endObject();
    }
    out.endArray();
    host.writeMessages(out);
    std::printf("%s\n", out.endObject().text().c_str());
}

// Only the systems the import stored take the mode; one kept as it was keeps its own.
int setMergeModes(Settings& settings, const JobReport* report, const std::string& mode) {
    if (!report) return kExitOk;
    int rc = kExitOk;
    for (const ImportedFile& f : report->importedFiles) {
        if (f.outcome != "imported" || f.system.empty()) continue;
        if (const std::string error = setSystemSetting(settings, f.system, kMergeModeKey, mode); !error.empty()) {
            std::fprintf(stderr, "The merge mode of %s was not set: %s\n", terminalText(f.system).c_str(),
                         terminalText(error).c_str());
            rc = kExitFailed;
        }
    }
    return rc;
}

int runImport(const CliContext& ctx, const ImportOptions& o) {
    if (o.mergeMode)
        if (const std::string problem = systemValueProblem(kMergeModeKey, *o.mergeMode); !problem.empty()) {
            std::fprintf(stderr, "%s\n", terminalText(problem).c_str());
            return kExitUsage;
        }
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    std::unique_ptr<CatalogueJobs> db = ctx.openDatabase(settings);
    if (!db) return kExitFailed;
    JsonHost jsonHost;
    ConsoleHost consoleHost;
    ConsoleHost& host = o.json ? jsonHost : consoleHost;
    host.setQuestionPolicy(o.yes ? QuestionPolicy::Yes : o.ignore ? QuestionPolicy::No : QuestionPolicy::Ask);
    if (!db->startImport(host, settings, o.files)) {
        jsonHost.printMessages(stderr);
        if (db->catalogue().lastError().empty()) std::fprintf(stderr, "%s\n", kAnotherJobRunning);
        return kExitFailed;
    }
    db->wait();
    const int modeRc = o.mergeMode ? setMergeModes(settings, host.report().get(), *o.mergeMode) : kExitOk;
    if (o.json) printDocument(jsonHost);
    return host.failedSteps() > 0 ? kExitFailed : modeRc;
}

}  // namespace

void addImportCommand(CLI::App& app, CliContext& ctx) {
    auto o = std::make_shared<ImportOptions>();
    CLI::App* cmd = app.add_subcommand("import", "Import DAT files into the current category");
    cmd->add_option("FILE", o->files,
                    "DAT files, folders of DAT files (read with their subfolders) or zipped DAT packs, "
                    "imported in this order")
        ->required();
    CLI::Option* yes = cmd->add_flag("--yes", o->yes, "Replace every system that already exists");
    cmd->add_flag("--ignore", o->ignore, "Keep every system that already exists")->excludes(yes);
    cmd->add_option("--merge-mode", o->mergeMode,
                    "Give every system the import stores this merge mode (split, merged, non-merged or "
                    "full-non-merged)");
    cmd->add_flag("--json", o->json, "Print one JSON document (see README.md)");
    cmd->callback([&ctx, o] { ctx.action = [&ctx, o] { return runImport(ctx, *o); }; });
}

}  // namespace quorvane
