// quorvane check: verifies the current category's database.
// quorvane repair: rebuilds its indexes from the record file.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_check.h"
#include "catalogue/catalogue_repair.h"
#include "cli/cli_context.h"
#include "core/file_util.h"

namespace quorvane {

namespace {

int cannotLock(const char* what, const std::string& base, StoreStatus code) {
    std::fprintf(stderr, "Cannot %s database %s: %s\n", what, base.c_str(), storeStatusText(code).c_str());
    return kExitFailed;
}

int runCheck(const CliContext& ctx) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    if (!ensureDatabasesFolder(settings)) return kExitFailed;
    const std::string base = settings.currentDatabasePath();
    CatalogueReport report;
    if (const StoreStatus rc = checkCatalogue(base, report); rc != StoreStatus::Ok)
        return cannotLock("check", base, rc);
    std::printf("%s\n", checkSummary(base, report).c_str());
    if (report.sound()) {
        std::printf("No damage found.\n");
        return kExitOk;
    }
    for (const std::string& line : report.problems) std::printf("  %s\n", line.c_str());
    std::printf("The catalogue is damaged. \"quorvane repair\" rebuilds its indexes from the record file.\n");
    return kExitFailed;
}

int runRepair(const CliContext& ctx) {
    Settings settings;
    if (!ctx.loadSettings(settings)) return kExitUsage;
    if (!ensureDatabasesFolder(settings)) return kExitFailed;
    const std::string base = settings.currentDatabasePath();
    RepairReport report;
    if (const StoreStatus rc = repairCatalogue(base, settings.backupDir, report); rc != StoreStatus::Ok) {
        if (!report.error.empty()) {
            std::fprintf(stderr, "%s\n", report.error.c_str());
            return kExitFailed;
        }
        return cannotLock("repair", base, rc);
    }
    for (const std::string& line : report.lines) std::printf("%s\n", line.c_str());
    return kExitOk;
}

}  // namespace

void addCheckCommands(CLI::App& app, CliContext& ctx) {
    app.add_subcommand("check", "Verify every file of the current database")->callback([&ctx] {
        ctx.action = [&ctx] { return runCheck(ctx); };
    });
    app.add_subcommand("repair", "Rebuild the current database's indexes from its record file (a copy of the "
                                 "damaged files goes to the backup folder first)")
        ->callback([&ctx] { ctx.action = [&ctx] { return runRepair(ctx); }; });
}

}  // namespace quorvane
