#include "engine/scan_job.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <optional>

#include "archive/torrent_zip.h"
#include "archive/zip_status.h"
#include "core/file_util.h"
#include "engine/analysis_text.h"
#include "engine/scan_outcome.h"

namespace quorvane {

namespace text = analysis_text;

bool ScanJob::prepare() {
    if (!prepareSystems(text::scanCaption(systemName()), text::kScanningSystems)) return false;
    report().command = JobReport::Command::Scan;
    clearMessages();
    return true;
}

JobResult ScanJob::execute() {
    eachSystem([this](SystemFolder& system) { scanSystem(system); });
    if (cancelled()) postMessage(text::kScanCancelled);
    return finishJob(oneChosen() ? text::romsetScanned(systemName()) : std::string(text::kRomsetsScanned));
}

struct ScanJob::LastScanRead {
    ScanCache known;  // its rows not yet believed: read before the catalogue's stamp was known
    std::optional<ScanOutcome> kept;
    // Of the files `known` names; null when `kept` is not there or the scan is full.
    std::shared_ptr<FolderStamps> stamps;
};

ScanJob::~ScanJob() { dropLastScanRead(); }

void ScanJob::beforeListing(const std::string& system, const std::string& path) {
    dropLastScanRead();
    const unsigned threads = analysisOptions().loadThreads;
    if (threads == OrderedLoader::kOnCallingThread) return;
    // Helpers beside this thread, which lists the folder meanwhile.
    const unsigned helpers = std::max(1u, (threads == 0 ? OrderedLoader::defaultThreads() : threads) - 1);
    if (!readAhead_) readAhead_ = std::make_unique<TaskPool>(helpers);
    auto promise = std::make_shared<std::promise<std::shared_ptr<LastScanRead>>>();
    lastScanRead_ = promise->get_future();
    readAheadSystem_ = system;
    // A full scan tests every file: it wants the last scan only to compare.
    const bool stampsWanted = !settings().fullScan && settingsAllowAsKept(system);
    const std::string cachePath = ScanCache::pathFor(db().basePath(), system);
    const std::string outcomePath = ScanOutcome::pathFor(db().basePath(), system);
    const ScanCache::Digests digests{settings().useMD5, settings().useSHA1};
    readAhead_->run([=, pool = readAhead_.get()] {
        std::shared_ptr<FolderStamps> stamps;
        try {
            auto read = std::make_shared<LastScanRead>();
            read->known = ScanCache::read(cachePath, path, digests);
            read->kept = ScanOutcome::read(outcomePath);
            if (stampsWanted && read->kept && !read->known.empty())
                read->stamps = std::make_shared<FolderStamps>(path, read->known.names(), read->known.stamps());
            stamps = read->stamps;
            promise->set_value(std::move(read));
        } catch (...) {
            // The scan reads it again itself.
            promise->set_value(nullptr);
            return;
        }
        if (!stamps) return;
        for (unsigned h = 1; h < helpers; ++h) pool->run([stamps] { stamps->take(); });
        stamps->take();
    });
}

std::shared_ptr<ScanJob::LastScanRead> ScanJob::takeLastScanRead(const std::string& system) {
    if (!lastScanRead_.valid() || readAheadSystem_ != system) return nullptr;
    return lastScanRead_.get();
}

void ScanJob::dropLastScanRead() {
    if (!lastScanRead_.valid()) return;
    if (const std::shared_ptr<LastScanRead> read = lastScanRead_.get(); read && read->stamps) read->stamps->stop();
}

void ScanJob::scanSystem(SystemFolder& system) {
    // Whatever was read ahead is taken or stopped here.
    std::shared_ptr<LastScanRead> readAhead = takeLastScanRead(system.name);
    if (db().openDB() != StoreStatus::Ok) {
        if (readAhead && readAhead->stamps) readAhead->stamps->stop();
        postMessage(db().lastError());
        return;
    }
    postMessage(text::scanningSystem(text::timeStamp(std::time(nullptr)), system.name, system.path));
    // The last scan's tests, kept beside the catalogue; a full scan makes
    // its own and keeps them for the next.
    const std::string cachePath = ScanCache::pathFor(db().basePath(), system.name);
    const ScanCache::Digests digests{settings().useMD5, settings().useSHA1};
    const std::string catalogue = catalogueStamp();
    const std::string outcomePath = ScanOutcome::pathFor(db().basePath(), system.name);
    ScanCache known;
    std::optional<ScanOutcome> kept;
    std::shared_ptr<FolderStamps> stamps;
    auto readLastScan = [&] {
        if (readAhead) {
            known = std::move(readAhead->known);
            known.believeRowsUnder(catalogue);
            kept = std::move(readAhead->kept);
            stamps = std::move(readAhead->stamps);
            return;
        }
        known = lastScan(system, catalogue);
        kept = ScanOutcome::read(outcomePath);
    };
    // A full scan tests every file whatever the cache says: it only compares
    // its findings with it at the end, and takes it while the files load.
    if (!settings().fullScan) readLastScan();
    // An unchanged folder is told by its files' stamps.
    const bool asKept =
        !settings().fullScan && mayBeAsKept(system) && kept && everyFileAsKept(system, known, *kept, catalogue, stamps);
    if (stamps) stamps->stop();
    if (asKept) {
        // Every status is as this scan would leave it.
        systemReport().status = kept->counts;
        gamesCounted_ = true;
        db().closeDB();
        return;
    }
    const bool noLeftovers = system.leftoverLines.empty();
    system.keepListings = true;
    system.keepRows = true;
    // Every status starts from missing; held in memory, so that only the
    // rows whose status this scan changes are written.
    firstPass(system, true, settings().fullScan ? nullptr : &known, [&] {
        db().holdSystemStatus(system.name);
        if (settings().fullScan) readLastScan();
    });
    secondPass(system);
    scanDisks(system);
    // The rows are read once to write them and to count the games.
    const bool counted = db().writeHeldStatus(gameCounter(), &gamesCounted_) && gamesCounted_ &&
                         db().commitDB() == StoreStatus::Ok;
    // Taken while the catalogue is still locked: no other process's write is in it.
    const FileStamp records = stampOf(db().recordPath());
    db().closeDB();
    // The rows found are kept only when nothing changed the catalogue's rows meanwhile.
    const bool rowsHold = !catalogue.empty() && catalogueStamp() == catalogue;
    const std::string writtenUnder = rowsHold ? catalogue : std::string();
    ScanOutcome outcome{system.path, catalogue, 0, 0, records, systemReport().status};
    const bool outcomeHolds = counted && rowsHold && noLeftovers && everyFileInPlace(system) &&
                              settled(records);
    // Kept only beside a cache that holds every file: the statuses written
    // are then what its records give.
    auto keepOutcome = [&](const ScanCache& cache) {
        if (!outcomeHolds || cache.size() != system.files.size()) return;
        outcome.cacheSize = cache.fileSize();
        outcome.cacheCrc = cache.fileCrc();
        // A re-scan that finds it as it was writes nothing.
        if (!kept || !(*kept == outcome)) outcome.write(outcomePath);
    };
    if (everyFileTakenWhole(system, known, writtenUnder)) return keepOutcome(known);
    const ScanCache next = takeTestedFiles(system, known, rowsHold, writtenUnder);
    // The file as it is already holds this cache: a re-scan of an unchanged
    // folder writes nothing.
    if (next.sameAsRead(known, writtenUnder)) return keepOutcome(known);
    // A cache that cannot be written costs the next scan time, never a wrong result.
    if ((!next.empty() || pathExists(cachePath)) && next.write(cachePath, system.path, digests, writtenUnder))
        keepOutcome(next);
}

bool ScanJob::mayBeAsKept(const SystemFolder& system) const {
    // Anything a scan would say beyond the statuses, or that could change
    // them, takes the whole scan: leftovers, disk images, the TorrentZip check.
    return system.leftoverLines.empty() && !system.mayHoldDisks && settingsAllowAsKept(system.name);
}

bool ScanJob::settingsAllowAsKept(const std::string& system) const {
    return !settings().checkTorrentZip && settings().outputFor(system) != ArchiveOutput::TorrentZip;
}

bool ScanJob::everyFileAsKept(const SystemFolder& system, const ScanCache& known, const ScanOutcome& kept,
                              const std::string& catalogue, std::shared_ptr<FolderStamps> stamps) {
    if (known.size() != system.files.size() || !known.readUnder(catalogue) ||
        !kept.holdsFor(system.path, catalogue, known.fileSize(), known.fileCrc(), stampOf(db().recordPath())))
        return false;
    if (!stamps) stamps = std::make_shared<FolderStamps>(system.path, known.names(), known.stamps());
    // A stamp each is quick: the progress and a cancel are looked at now and then.
    const std::vector<FileStamp>& taken = stamps->all([&](size_t at) {
        if (at < system.files.size()) setCurrentFile(at, system.files[at]);
        showProgress();
        return !cancelled();
    });
    if (cancelled() || stamps->differs()) return false;
    ScanCache::Glance glance;
    for (size_t i = 0; i < system.files.size(); ++i) {
        // The stamps are of the names the cache holds, which must be the folder's.
        if (stamps->names()[i] != system.files[i] || !known.glance(system.files[i], glance, i) || !glance.allInPlace ||
            !(glance.stamp == taken[i]))
            return false;
    }
    if (!system.files.empty()) setCurrentFile(system.files.size() - 1, system.files.back());
    showProgress();
    return true;
}

bool ScanJob::everyFileInPlace(const SystemFolder& system) const {
    if (cancelled() || system.mayHoldDisks || system.tested.size() != system.files.size()) return false;
    for (const SystemFolder::Tested& t : system.tested)
        if (!t.stamp.valid || !zipTestPassed(t.status) || !t.allInPlace) return false;
    return true;
}

bool ScanJob::settled(const FileStamp& records) const {
    const long long now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    const long long settledBefore = now - analysisOptions().settleTime.count();
    return records.valid && records.modifiedNs < settledBefore && records.changedNs < settledBefore;
}

bool ScanJob::everyFileTakenWhole(const SystemFolder& system, const ScanCache& known, const std::string& writtenUnder) {
    // Each file's record is the one read for its name, and the cache holds
    // no other names: the cache written would be the one read, so it is
    // known without building it.
    if (cancelled() || !known.readUnder(writtenUnder) || known.size() != system.files.size() ||
        system.tested.size() != system.files.size())
        return false;
    for (const SystemFolder::Tested& t : system.tested)
        if (!t.placed) return false;
    return true;
}

void ScanJob::secondPass(const SystemFolder& system) {
    // Nothing is written here, so the listings can be read ahead in parallel.
    const RomLookup find = finder();
    const bool checkTorrentZip =
        settings().checkTorrentZip || settings().outputFor(system.name) == ArchiveOutput::TorrentZip;
    std::vector<RomMatch> matches;
    eachListedFile(system, false, [&](size_t i, LoadedItem& item) {
        if (checkTorrentZip && item.collection.isZip) reportTorrentZip(item.collection.path);
        // Each entry in place and nothing else: no finding, no status to give.
        if (i < system.tested.size() && system.tested[i].allInPlace) return;
        for (size_t k = 0; k < item.collection.files.size(); ++k) {
            File& f = item.collection.files[k];
            // The first pass's rows, read again with the statuses it left.
            identify(item.collection, f, find, system.firstPassRows(i, k), matches);
            if (matches.empty()) postFileMessage(text::cannotBeIdentified(f.name));
            bool wanted = false;
            for (size_t m = 0; m < matches.size(); ++m) {
                const RomMatch& r = matches[m];
                switch (classifyMatch(r, system.name, currentFile(), f.name)) {
                    case MatchClass::InPlace: wanted = true; break;
                    case MatchClass::MisplacedMissing:
                        postFileMessage(text::identifiedAs(f.name, r));
                        placements().markMatch(m, RomStatus::Present);
                        wanted = true;
                        break;
                    case MatchClass::ForeignMissing:
                        postFileMessage(text::identifiedAs(f.name, r));
                        placements().markMatch(m, RomStatus::Present);
                        break;
                    case MatchClass::MisplacedFound:
                    case MatchClass::ForeignFound: break;
                }
            }
            if (!wanted) postFileMessage(text::shouldBeDeleted(f.name));
        }
    }, nullptr, checkTorrentZip ? PlacedFiles::Unlisted : PlacedFiles::Skipped);
}

void ScanJob::reportTorrentZip(const std::string& path) {
    ++systemReport().zipsChecked;
    if (isTorrentZip(path)) ++systemReport().torrentZips;
    else postFileMessage(text::kNotTorrentZip);
}

}  // namespace quorvane
