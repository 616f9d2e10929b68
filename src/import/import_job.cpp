#include "import/import_job.h"

#include <unistd.h>

#include "archive/zip_reader.h"
#include "core/file_util.h"
#include "core/line_reader.h"
#include "import/import_context.h"
#include "import/parenthesised_dat.h"
#include "import/sectioned_dat.h"
#include "import/xml_dat.h"

namespace quorvane {

namespace {

// Beside the databases: DATs unpacked from zips, one at a time.
constexpr const char* kUnpackFolder = "DatUnpack";

}  // namespace

ImportJob::ImportJob(JobHost& host, std::shared_ptr<Catalogue> db, Settings settings,
                                       std::vector<std::string> files)
    : host_(host), db_(std::move(db)), settings_(std::move(settings)), files_(std::move(files)) {}

void ImportJob::startFile(const std::string& path) {
    host_.startProgress("Importing datfile " + path, 1);
    host_.updateProgress("Initializing...", 0);
}

bool ImportJob::prepare() {
    if (files_.empty()) return false;
    startFile(files_.front());
    return true;
}

void ImportJob::importFile(ImportContext& context) {
    if (!LineReader(context.file()).isOpen()) {
        context.message("Cannot open " + context.path() + " (" + fileProblemText(context.path()) + ")");
        return;
    }
    if (importXmlDat(context)) return;
    if (importSectionedDat(context)) return;
    if (importParenthesisedDat(context)) return;
    context.message(context.path() + " is not a DAT file; nothing imported.");
}

std::string ImportJob::unpack(const DatSource& source) {
    const std::string folder = settings_.databasesDir + kUnpackFolder;
    if (!makeFolders(folder)) {
        host_.addMessage("Cannot create the folder " + folder + " to unpack " + source.path + " (" +
                         fileProblemText(folder) + "); nothing imported.");
        return {};
    }
    ZipReader zip(source.archive);
    std::string written;
    ZipStatus status = zip.open();
    if (status == ZipStatus::Ok) status = zip.extractFile(source.entry, folder, false, &written);
    zip.close();
    if (status != ZipStatus::Ok) {
        if (!written.empty()) ::unlink(written.c_str());
        host_.addMessage("Cannot unpack " + source.path + " (" + zipStatusText(status) + "); nothing imported.");
        return {};
    }
    return written;
}

FileOutcome ImportJob::importOne(const DatSource& source, ImportedFile& record) {
    if (!source.problem.empty()) {
        host_.addMessage(source.problem);
        return FileOutcome::Failed;
    }
    if (source.archive.empty()) return importFrom(source.path, source.path, record);
    const std::string file = unpack(source);
    if (file.empty()) return FileOutcome::Failed;
    const FileOutcome outcome = importFrom(source.path, file, record);
    // Our own copy; the zip the user named is never touched.
    ::unlink(file.c_str());
    ::rmdir(dirName(file).c_str());
    return outcome;
}

FileOutcome ImportJob::importFrom(const std::string& path, const std::string& file, ImportedFile& record) {
    if (db_->openDB() != StoreStatus::Ok) {
        host_.addMessage(db_->lastError() + ". Nothing of " + path + " was imported.");
        db_->closeDB();
        return FileOutcome::Failed;
    }
    startFile(path);
    ImportContext context(host_, *db_, settings_, path, file);
    importFile(context);
    record.system = context.systemName();
    record.roms = static_cast<int>(context.storedRows());
    if (db_->closeDB() != StoreStatus::Ok) {
        host_.addMessage(db_->lastError());
        return FileOutcome::Failed;
    }
    // A file read to its end that yields no ROM (garbage after a valid
    // header, nothing but unclosed blocks) imported nothing a user can use.
    if (context.outcome() == FileOutcome::Imported && context.storedRows() == 0) {
        host_.addMessage("No ROMs found in " + path + "; nothing imported.");
        return FileOutcome::Failed;
    }
    return context.outcome();
}

std::string importSummary(const ImportCounts& counts) {
    auto files = [](size_t n) { return std::to_string(n) + (n == 1 ? " file" : " files"); };
    std::string text = "Import completed: " + files(counts.imported) + " imported";
    if (counts.kept) text += ", " + std::to_string(counts.kept) + " not replaced";
    return text + ", " + std::to_string(counts.failed) + " failed.";
}

JobResult ImportJob::execute() {
    counts_ = {};
    auto report = std::make_shared<JobReport>();
    report->command = JobReport::Command::Import;
    for (const DatSource& source : findDatSources(files_)) {
        ImportedFile record{.path = source.path};
        switch (importOne(source, record)) {
            case FileOutcome::Imported:
                ++counts_.imported;
                record.outcome = "imported";
                break;
            case FileOutcome::Kept:
                ++counts_.kept;
                record.outcome = "not replaced";
                break;
            case FileOutcome::Failed:
                ++counts_.failed;
                record.outcome = "failed";
                host_.countFailedStep();
                break;
        }
        report->importedFiles.push_back(std::move(record));
    }
    host_.addReport(std::move(report));
    host_.closeProgress();
    host_.showInformation(importSummary(counts_));
    return {JobResult::Refresh::SystemsAndGames, {}};
}

}  // namespace quorvane
