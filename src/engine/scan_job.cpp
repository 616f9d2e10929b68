#include "engine/scan_job.h"

#include <ctime>

#include "archive/torrent_zip.h"
#include "core/file_util.h"
#include "engine/analysis_text.h"

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

void ScanJob::scanSystem(SystemFolder& system) {
    if (db().openDB() != StoreStatus::Ok) {
        postMessage(db().lastError());
        return;
    }
    postMessage(text::scanningSystem(text::timeStamp(std::time(nullptr)), system.name, system.path));
    db().cleanSystemStatus(system.name);
    // The last scan's tests, kept beside the catalogue; a full scan makes
    // its own and keeps them for the next.
    const std::string cachePath = ScanCache::pathFor(db().basePath(), system.name);
    const ScanCache::Digests digests{settings().useMD5, settings().useSHA1};
    const ScanCache known = ScanCache::read(cachePath, system.path, digests);
    system.keepListings = true;
    firstPass(system, true, settings().fullScan ? nullptr : &known);
    secondPass(system);
    scanDisks(system);
    db().closeDB();
    const ScanCache next = testedFiles(system, known);
    // A cache that cannot be written costs the next scan time, never a wrong result.
    if (!next.empty() || pathExists(cachePath)) next.write(cachePath, system.path, digests);
}

void ScanJob::secondPass(const SystemFolder& system) {
    // Nothing is written here, so the listings can be read ahead in parallel.
    const RomLookup find = finder();
    const bool checkTorrentZip =
        settings().checkTorrentZip || settings().outputFor(system.name) == ArchiveOutput::TorrentZip;
    eachListedFile(system, false, [&](size_t, LoadedItem& item) {
        if (checkTorrentZip && item.collection.isZip) reportTorrentZip(item.collection.path);
        for (File& f : item.collection.files) {
            const std::vector<RomMatch> matches = identifyFile(item.collection, f, find);
            if (matches.empty()) postFileMessage(text::cannotBeIdentified(f.name));
            bool wanted = false;
            for (const RomMatch& r : matches) {
                switch (classifyMatch(r, system.name, currentFile(), f.name)) {
                    case MatchClass::InPlace: wanted = true; break;
                    case MatchClass::MisplacedMissing:
                        postFileMessage(text::identifiedAs(f.name, r));
                        placements().setPresent(f.crc, f.size, r.name, r.game, system.name);
                        wanted = true;
                        break;
                    case MatchClass::ForeignMissing:
                        postFileMessage(text::identifiedAs(f.name, r));
                        placements().setPresent(f.crc, f.size, r.name, r.game, r.system);
                        break;
                    case MatchClass::MisplacedFound:
                    case MatchClass::ForeignFound: break;
                }
            }
            if (!wanted) postFileMessage(text::shouldBeDeleted(f.name));
        }
    });
}

void ScanJob::reportTorrentZip(const std::string& path) {
    ++systemReport().zipsChecked;
    if (isTorrentZip(path)) ++systemReport().torrentZips;
    else postFileMessage(text::kNotTorrentZip);
}

}  // namespace quorvane
