#include "engine/scan_job.h"

#include <ctime>

#include "engine/analysis_text.h"

namespace quorvane {

namespace text = analysis_text;

ScanJob::ScanJob(std::shared_ptr<Catalogue> db, JobHost& host, Settings settings, std::string system,
                       AnalysisOptions options)
    : FolderJob(std::move(db), host, std::move(settings), options) {
    systemName = std::move(system);
}

bool ScanJob::prepare() {
    if (!prepareSystemFolder(text::scanCaption(systemName))) return false;
    clearMessages();
    return true;
}

void ScanJob::execute() {
    scanOneSystem();
    if (cancelled()) postMessage(text::kScanCancelled);
    finishJob(text::romsetScanned(systemName));
}

void ScanJob::scanOneSystem() {
    if (db().openDB() != StoreStatus::Ok) {
        postMessage(db().lastError());
        return;
    }
    postMessage(text::scanningSystem(text::timeStamp(std::time(nullptr)), systemName));
    db().cleanSystemStatus(systemName);
    firstPass(true);
    secondPass();
    db().closeDB();
}

void ScanJob::secondPass() {
    // Nothing is written here, so the listings can be read ahead in parallel.
    const RomFinder find = finder();
    eachListedFile(false, [&](size_t, LoadedItem& item) {
        for (File& f : item.collection.files) {
            const std::vector<GenericRom> matches = identifyFile(f, find);
            if (matches.empty()) postFileMessage(text::cannotBeIdentified(f.name));
            bool wanted = false;
            for (const GenericRom& r : matches) {
                switch (classifyMatch(r, systemName, currentFile, f.name)) {
                    case MatchClass::InPlace: wanted = true; break;
                    case MatchClass::MisplacedMissing:
                        postFileMessage(text::identifiedAs(f.name, r));
                        db().setPresent(f.crc, f.size, r.name, r.game, systemName);
                        wanted = true;
                        break;
                    case MatchClass::ForeignMissing:
                        postFileMessage(text::identifiedAs(f.name, r));
                        db().setPresent(f.crc, f.size, r.name, r.game, r.system);
                        break;
                    case MatchClass::MisplacedFound:
                    case MatchClass::ForeignFound: break;
                }
            }
            if (!wanted) postFileMessage(text::shouldBeDeleted(f.name));
        }
    });
}

MultiScanJob::MultiScanJob(std::shared_ptr<Catalogue> db, JobHost& host, Settings settings,
                                 std::vector<std::string> systems, AnalysisOptions options)
    : ScanJob(std::move(db), host, std::move(settings), std::string(), options), systemList(std::move(systems)) {}

bool MultiScanJob::prepare() {
    host().startProgress(text::kScanningSystems, 0);
    host().updateProgress(text::kInitializing, 0);
    clearMessages();
    return true;
}

void MultiScanJob::execute() {
    eachSystem(systemList, [this] { scanOneSystem(); });
    if (cancelled()) postMessage(text::kScanCancelled);
    finishJob(text::kRomsetsScanned);
}

}  // namespace quorvane
