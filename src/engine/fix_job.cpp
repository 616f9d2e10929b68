#include "engine/fix_job.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "archive/zip_status.h"
#include "core/file_util.h"
#include "core/names.h"
#include "core/text.h"
#include "engine/analysis_text.h"
#include "engine/safe_move.h"
#include "engine/set_conversion.h"

namespace quorvane {

namespace text = analysis_text;

namespace {

// Disk steps at once: they wait on their syncs more than on the processor.
// Where a sync takes 5 ms, 24 fix the damaged 10,000 games in 0.78 s where
// 12 took 1.09 s; on a fast disk they make no difference.
constexpr unsigned kDiskStepThreads = 24;

}  // namespace

void FixJob::makeBackupFolder() {
    backupFolder_ = uniqueRunFolder(settings().backupDir, std::time(nullptr));
    makeFolders(backupFolder_);  // a failure shows as files that stay where they are
}

bool FixJob::prepare() {
    if (!prepareSystems(text::scanCaption(systemName()), text::kFixingSystems)) return false;
    makeBackupFolder();
    report().command = JobReport::Command::Fix;
    report().backupFolder = backupFolder_;
    clearMessages();
    return true;
}

JobResult FixJob::execute() {
    runJournaled(backupFolder_, "fix", [this] { eachSystem([this](SystemFolder& system) { fixSystem(system); }); });
    if (cancelled()) postMessage(text::kScanCancelled);
    if (oneChosen())
        return finishJob(failedSteps() == 0 ? text::romsetFixed(systemName())
                                            : text::romsetNotFullyFixed(systemName(), failedSteps()));
    return finishJob(failedSteps() == 0 ? std::string(text::kRomsetsFixed)
                                        : text::romsetsNotFullyFixed(failedSteps()));
}

void FixJob::beforeListing(const std::string& system, const std::string& path) {
    // A read not taken is waited for as it is dropped.
    lastScanRead_ = {};
    if (settings().fullScan || analysisOptions().loadThreads == OrderedLoader::kOnCallingThread) return;
    lastScanFor_ = system;
    lastScanRead_ =
        std::async(std::launch::async, [cachePath = ScanCache::pathFor(db().basePath(), system), path,
                                        digests = ScanCache::Digests{settings().useMD5, settings().useSHA1}] {
            return ScanCache::read(cachePath, path, digests);
        });
}

ScanCache FixJob::readLastScan(const SystemFolder& system, const std::string& catalogue) {
    if (lastScanRead_.valid() && lastScanFor_ == system.name) {
        try {
            ScanCache known = lastScanRead_.get();
            known.believeRowsUnder(catalogue);
            return known;
        } catch (...) {
            // Read again here, where a failure is the job's.
        }
    }
    return lastScan(system, catalogue);
}

void FixJob::fixSystem(SystemFolder& system) {
    if (db().openDB() != StoreStatus::Ok) {
        postMessage(db().lastError());
        failStep();
        return;
    }
    const int failedBefore = failedSteps();
    postMessage(text::fixingSystem(text::timeStamp(std::time(nullptr)), system.name, system.path));
    // The second pass then reads no unchanged archive again.
    system.keepListings = true;
    // The last scan's test of an archive unchanged since holds for its data;
    // what the fix acts on, the entries, it reads from the archive itself.
    system.confirmCachedListings = true;
    const std::string catalogue = catalogueStamp();
    const std::string cachePath = ScanCache::pathFor(db().basePath(), system.name);
    // A full fix tests every file; it reads the last scan only to keep its
    // records of the files found as they were.
    ScanCache known = settings().fullScan ? ScanCache() : readLastScan(system, catalogue);
    // Every status starts from missing, held in memory: most come back as
    // they were, and only the rows whose status the fix changes are written.
    firstPass(system, false, settings().fullScan ? nullptr : &known, [&] {
        db().holdSystemStatus(system.name);
        if (settings().fullScan) known = lastScan(system, catalogue);
    });
    // The names the first pass tested the files under: the fix renames some.
    std::vector<std::string> testedNames = system.files;
    {
        // A job that loads on its own thread takes its disk steps there too,
        // in the order given.
        DiskStepQueue steps(
            analysisOptions().loadThreads == OrderedLoader::kOnCallingThread ? 0 : kDiskStepThreads, fileOps());
        steps_ = &steps;
        // Gone with the queue, whichever way the block is left.
        const std::unique_ptr<DiskStepQueue*, void (*)(DiskStepQueue**)> forget(&steps_, [](DiskStepQueue** p) {
            *p = nullptr;
        });
        secondPass(system, moveUnreadableAside(system));
        steps.finishAll();
        releaseFindings();
    }
    rebuildFromDisplaced(system);
    applyOutputForms();
    fixDisks(system);
    // The rows are read once to write them and to count the games.
    if (!db().writeHeldStatus(gameCounter(), &gamesCounted_)) {
        postMessage(db().lastError());
        failStep();
    }
    if (failedSteps() > failedBefore) postMessage(text::stepsFailed(failedSteps() - failedBefore));
    db().closeDB();
    system.files = std::move(testedNames);
    keepTests(system, known, catalogue, cachePath);
}

void FixJob::keepTests(SystemFolder& system, const ScanCache& known, const std::string& catalogue,
                       const std::string& cachePath) {
    const bool rowsHold = !catalogue.empty() && catalogueStamp() == catalogue;
    const std::string writtenUnder = rowsHold ? catalogue : std::string();
    if (everyFileAsRecorded(system, known, writtenUnder)) return;
    // A record is of the file as the first pass found it: one this fix
    // changed or renamed since has another stamp or name, and is tested
    // again when next met.
    const ScanCache next = takeTestedFiles(system, known, rowsHold, writtenUnder);
    if (next.sameAsRead(known, writtenUnder)) return;
    // A cache that cannot be written costs the next run time, never a wrong result.
    if (!next.empty() || pathExists(cachePath))
        next.write(cachePath, system.path, {settings().useMD5, settings().useSHA1}, writtenUnder);
}

bool FixJob::everyFileAsRecorded(const SystemFolder& system, const ScanCache& known, const std::string& writtenUnder) {
    if (cancelled() || !known.readUnder(writtenUnder) || system.tested.size() != system.files.size()) return false;
    ScanCache::Glance glance;
    size_t recorded = 0;
    for (size_t i = 0; i < system.files.size(); ++i) {
        const SystemFolder::Tested& t = system.tested[i];
        if (!t.stamp.valid) return false;
        // A file that failed has no record, and gets none.
        if (!zipTestPassed(t.status)) {
            if (known.glance(system.files[i], glance, i)) return false;
            continue;
        }
        if (!foundAsRecorded(known, system.files[i], i, t.stamp, t.kind, t.listingKept())) return false;
        ++recorded;
    }
    return recorded == known.size();
}

namespace {

// Why a move failed, for a person.
std::string failureReason(ZipStatus status, int savedErrno) {
    if (status == ZipStatus::Error && savedErrno != 0) return std::strerror(savedErrno);
    return zipStatusText(status);
}

}  // namespace

std::vector<bool> FixJob::moveUnreadableAside(const SystemFolder& system) {
    std::vector<bool> movedAside(system.files.size(), false);
    for (size_t i = 0; i < system.files.size(); ++i) {
        if (cancelled()) break;
        const ZipStatus status = system.firstPassStatus(i);
        if (zipTestPassed(status)) continue;
        setCurrentFile(i, system.files[i]);
        moveAside(system, i, status);
        movedAside[i] = true;
    }
    return movedAside;
}

void FixJob::moveAside(const SystemFolder& system, size_t index, ZipStatus status) {
    struct Move {
        FileAction action;
        int error = 0;
        bool moved = false;
    };
    auto move = std::make_shared<Move>();
    move->action = {.name = currentFile(), .from = system.pathOf(index)};
    diskStep(
        {move->action.from},
        [move, place = backupOf(system.path).forFile(move->action.from)] {
            errno = 0;
            move->moved = moveIntoBackup(move->action.from, place, &move->action.to) == 0;
            move->error = errno;
        },
        [this, move, status]() -> std::function<void()> {
            if (!move->moved) failStep();
            return [this, move, status] {
                setCurrentFile(move->action.name);
                postMessage(text::errorInZip(currentFile(), status));
                if (move->moved) {
                    postFileMessage(text::corruptDeleted(currentFile()));
                    move->action.kind = FileAction::Kind::MovedToBackup;
                } else {
                    move->action.error = failureReason(ZipStatus::Error, move->error);
                    postFileMessage(text::corruptNotMoved(currentFile(), move->action.error));
                }
                recordAction(std::move(move->action));
            };
        });
}

void FixJob::secondPass(SystemFolder& system, const std::vector<bool>& movedAside) {
    // A copy may change an archive further down the list: each waits for the
    // steps touching it before it is read again.
    for (size_t i = 0; i < system.files.size(); ++i) {
        if (cancelled()) break;
        if (i < movedAside.size() && movedAside[i]) continue;
        steps_->endFinished();
        setCurrentFile(i, system.files[i]);
        showProgress();
        if (inPlaceAsFound(system, i)) continue;
        fixFile(system, i);
    }
}

bool FixJob::inPlaceAsFound(const SystemFolder& system, size_t index) {
    if (index >= system.tested.size() || !system.tested[index].allInPlace) return false;
    // An archive no step of this job named is as the first pass found it.
    const std::string path = system.pathOf(index);
    if (steps_ && !steps_->mayHaveTouched(path)) return true;
    // A copy into the set may be under way; one that ended changed its stamp.
    settle(path);
    return stampOf(path) == system.tested[index].stamp;
}

void FixJob::diskStep(std::vector<std::string> keys, std::function<void()> work,
                      std::function<std::function<void()>()> ending) {
    if (!steps_) {
        work();
        if (const std::function<void()> show = ending()) show();
        return;
    }
    // Findings made meanwhile wait behind the step's.
    holdFindings();
    const size_t place = keepPlace();
    steps_->add(std::move(keys), std::move(work), [this, place, file = currentFile(), ending = std::move(ending)] {
        std::function<void()> show = ending();
        if (show)
            show = [this, file, show = std::move(show)] {
                setCurrentFile(file);
                show();
            };
        fillPlace(place, std::move(show));
        releaseFindings();
    });
}

bool FixJob::settle(const std::string& key) { return steps_ && steps_->waitFor(key); }

std::string FixJob::romKey(const RomMatch& r) { return "rom\n" + r.system + "\n" + r.game + "\n" + r.name; }

namespace {

// What a disk step needs of a collection: not its files.
ContainerFiles withoutFiles(const ContainerFiles& collection) {
    ContainerFiles shell(collection.path);
    shell.isZip = collection.isZip;
    shell.isPacked = collection.isPacked;
    return shell;
}

}  // namespace

void FixJob::fixFile(SystemFolder& system, size_t index) {
    if (const auto it = converted_.find(system.pathOf(index)); it != converted_.end()) {
        system.files[index] = baseName(it->second);
        setCurrentFile(index, system.files[index]);
    }
    ContainerFiles collection(system.pathOf(index));
    settle(collection.path);
    ZipStatus status = reload(system, index, collection, true);
    if (status == ZipStatus::FileNotFound && collection.isZip) return;  // emptied by an earlier step
    if (!zipTestPassed(status)) {
        ++systemReport().archivesUnreadable;
        moveAside(system, index, status);  // damaged since the first pass
        return;
    }
    if (collection.isPacked && !packedSetIsRight(system, collection)) {
        const std::string zip = convertPacked(collection.path, system.path, system.name);
        if (zip.empty() || !isRegularFile(zip)) return;
        renameCollection(system, collection, index, baseName(zip));
        status = loadCollection(collection, loadOptions(false));
        if (status != ZipStatus::Ok) return;
    }
    const RomLookup find = finder();
    // An archive's unwanted entries leave it together once every entry has
    // been seen; their findings keep their places among the others'.
    std::vector<Leaving> leaving;
    for (size_t j = 0; j < collection.files.size(); ++j) {
        // As listed: identification may change the size text.
        const File listed = collection.files[j];
        File& f = collection.files[j];
        std::vector<RomMatch> matches = identifyFile(collection, f, find);
        // A match says whether its set has the ROM yet, which a copy of it
        // still under way may change.
        bool settled = false;
        for (const RomMatch& r : matches) settled = settle(romKey(r)) || settled;
        if (settled) {
            f = listed;
            matches = identifyFile(collection, f, find);
        }
        if (matches.empty()) postFileMessage(text::cannotBeIdentified(f.name));
        const Fate fate = std::make_shared<EntryFate>();
        for (const RomMatch& r : matches) {
            switch (classifyMatch(r, system.name, currentFile(), f.name, PendingRule::MissingOrElsewhere)) {
                case MatchClass::InPlace:
                    // Only after a case-only rename earlier in this archive is
                    // an entry in place and still missing.
                    if (!isHad(r)) placements().setHave(f.crc, f.size, r.name, r.game, system.name);
                    fate->wanted = true;
                    break;
                case MatchClass::MisplacedMissing:
                    rebuildMisplaced(system, collection, index, listed, f, r, fate, matches.size() == 1);
                    break;
                case MatchClass::ForeignMissing: rebuildForeign(collection, listed, f, r, fate); break;
                case MatchClass::MisplacedFound:
                case MatchClass::ForeignFound: break;
            }
        }
        // A file whose copy failed is the only one there is: it stays.
        if (fate->wanted) continue;
        holdFindings();
        leaving.push_back({listed, fate, keepPlace(), currentFile()});
    }
    backUpTogether(system, collection, std::move(leaving));
}

bool FixJob::packedSetIsRight(const SystemFolder& system, const ContainerFiles& collection) {
    const RomLookup find = finder();
    for (const File& listed : collection.files) {
        File f = listed;
        bool inPlace = false;
        for (const RomMatch& r : identifyFile(collection, f, find)) {
            const MatchClass where = classifyMatch(r, system.name, currentFile(), f.name, PendingRule::MissingOrElsewhere);
            // A ROM this very set lacks must be added to it.
            if (where == MatchClass::MisplacedMissing && isSetFileOf(currentFile(), r.game)) return false;
            inPlace = inPlace || where == MatchClass::InPlace;
        }
        if (!inPlace) return false;
    }
    return true;
}

std::string FixJob::convertPacked(const std::string& packedPath, const std::string& systemFolder,
                                  const std::string& system) {
    const std::string name = baseName(packedPath);
    // Steps may still be reading the set.
    settle(packedPath);
    DisplacedEntries moved(displaced_);
    std::string zip, keptAs;
    const ZipStatus status = convertToZip(packedPath, backupOf(systemFolder), &moved, zip, keptAs);
    noteDisplaced(moved.moves());
    recordDisplaced(moved.moves());
    if (status != ZipStatus::Ok) {
        postFileMessage(text::notConverted(name, status));
        recordAction({.kind = FileAction::Kind::Failed, .name = name, .from = packedPath, .error = zipStatusText(status)});
        failStep();
        return {};
    }
    postFileMessage(text::convertedToZip(name, baseName(zip)));
    recordAction({.kind = FileAction::Kind::MovedToBackup, .name = name, .from = packedPath, .to = keptAs});
    converted_[packedPath] = zip;
    noteChangedSet(zip, system);
    return zip;
}

std::string FixJob::setPathFor(const std::string& folder, const std::string& game, const std::string& system) {
    // Should the conversion fail, a new zip beside the set loses nothing.
    if (const std::string packed = packedSetToConvert(folder, game); !packed.empty())
        convertPacked(packed, folder, system);
    return joinPath(folder, game + ".zip");
}

void FixJob::rebuildFromDisplaced(SystemFolder& system) {
    // Building one may displace another: the list grows while it is walked.
    for (size_t i = 0; i < displacedInOrder_.size() && !cancelled(); ++i) {
        const std::string movedTo = displacedInOrder_[i].movedTo;
        ContainerFiles source(movedTo);
        if (loadCollection(source, loadOptions(false)) != ZipStatus::Ok || !source.isLoose() || source.files.size() != 1)
            continue;
        setCurrentFile(movedTo);
        const File listed = source.files[0];
        File f = listed;
        const Fate fate = std::make_shared<EntryFate>();
        for (const RomMatch& r : identifyFile(source, f, finder())) {
            switch (classifyMatch(r, system.name, {}, f.name, PendingRule::MissingOrElsewhere)) {
                case MatchClass::MisplacedMissing: rebuildMisplaced(system, source, 0, listed, f, r, fate); break;
                case MatchClass::ForeignMissing: rebuildForeign(source, listed, f, r, fate); break;
                default: break;
            }
        }
    }
}

void FixJob::backUpTogether(const SystemFolder& system, const ContainerFiles& collection,
                            std::vector<Leaving> leaving) {
    if (leaving.empty()) return;
    struct Moves {
        std::vector<Leaving> leaving;
        std::vector<EntryMove> moves;  // per leaving entry; none for one that stays
    };
    auto moves = std::make_shared<Moves>();
    moves->leaving = std::move(leaving);
    diskStep(
        {collection.path},
        [moves, shell = withoutFiles(collection), backup = backupOf(system.path)] {
            // The copies of this archive's entries are done: each fate is known.
            std::vector<File> files;
            for (const Leaving& l : moves->leaving)
                if (!l.fate->stays()) files.push_back(l.listed);
            if (files.empty()) return;
            std::vector<EntryMove> made = moveEntriesToBackup(shell, files, backup);
            moves->moves.resize(moves->leaving.size());
            for (size_t i = 0, k = 0; i < moves->leaving.size(); ++i)
                if (!moves->leaving[i].fate->stays()) moves->moves[i] = std::move(made[k++]);
        },
        [this, moves, shell = withoutFiles(collection)]() -> std::function<void()> {
            for (size_t i = 0; i < moves->leaving.size(); ++i) {
                const Leaving& l = moves->leaving[i];
                if (l.fate->stays()) {
                    fillPlace(l.place, {});
                    continue;
                }
                fillPlace(l.place, [this, shell, l, move = moves->moves[i]] {
                    setCurrentFile(l.file);
                    reportBackUp(shell, l.listed, move);
                });
            }
            return {};
        });
}

void FixJob::reportBackUp(const ContainerFiles& collection, const File& listed, const EntryMove& move) {
    FileAction action{.name = listed.name, .from = collection.path, .to = move.movedTo};
    // An entry a copy moved away to make room is in the backup folder
    // already, and was counted when it went.
    if (std::string movedTo; move.status == ZipStatus::EntryGone && collection.isZip &&
                             displaced_.find(collection.path, keyOf(listed), movedTo)) {
        postFileMessage(text::deleted(listed.name));
        return;
    }
    if (move.status == ZipStatus::Ok) {
        if (collection.isZip) noteChangedSet(collection.path, systemName());
        postFileMessage(text::deleted(listed.name));
        action.kind = FileAction::Kind::MovedToBackup;
        recordAction(std::move(action));
        return;
    }
    action.error = failureReason(move.status, move.error);
    postFileMessage(text::notMovedToBackup(listed.name, action.error));
    recordAction(std::move(action));
    failStep();
}

bool FixJob::namesAreSafe(const ContainerFiles& collection, const File& listed, const RomMatch& r,
                          bool checkSystem) {
    std::string refusal;
    if (checkSystem && !isSafeFileName(r.system)) refusal = unsafeNameMessage("System", r.system);
    else if (!isSafeGameName(r.game)) refusal = unsafeNameMessage("Game", r.game);
    else if (!isSafeEntryName(r.name)) refusal = unsafeNameMessage("ROM", r.name);
    if (refusal.empty()) return true;
    postFileMessage(refusal);
    recordCopy(FileAction::Kind::Failed, collection, listed, {}, r, refusal);
    failStep();
    return false;
}

void FixJob::recordCopy(FileAction::Kind kind, const ContainerFiles& collection, const File& listed,
                        const std::string& to, const RomMatch& r, const std::string& error) {
    recordAction({.kind = kind,
                  .name = listed.name,
                  .from = collection.path,
                  .to = to,
                  .system = r.system,
                  .game = r.game,
                  .rom = r.name,
                  .error = error});
}

void FixJob::recordDisplaced(const std::vector<DisplacedEntries::Move>& moves) {
    // Entries of that name with other content went to the backup folder first.
    for (const DisplacedEntries::Move& move : moves) {
        recordAction({.kind = FileAction::Kind::MovedToBackup,
                      .name = move.key.name,
                      .from = move.archivePath,
                      .to = move.movedTo});
    }
}

void FixJob::noteDisplaced(const std::vector<DisplacedEntries::Move>& moves) {
    displacedInOrder_.insert(displacedInOrder_.end(), moves.begin(), moves.end());
}

bool FixJob::copyEnded(ZipStatus status, const std::vector<DisplacedEntries::Move>& moved, const File& f,
                       const RomMatch& r, const std::string& setPath) {
    noteDisplaced(moved);
    if (status != ZipStatus::Ok) {
        failStep();
        return false;
    }
    placements().setHave(f.crc, f.size, r.name, r.game, r.system);
    noteChangedSet(setPath, r.system);
    return true;
}

namespace {

// What a copy step found, for its ending.
struct CopyResult {
    explicit CopyResult(DisplacedEntries& job) : displaced(job) {}
    DisplacedEntries displaced;  // entries the step moved aside to make room
    ZipStatus status = ZipStatus::Error;
    std::string keptAt;          // a rename's old entry, in the backup folder
    bool renamed = false;
};

}  // namespace

void FixJob::copyIntoSet(const ContainerFiles& collection, const File& listed, const File& f, const RomMatch& r,
                         const std::string& targetPath, const std::string& systemFolder, const Fate& fate) {
    auto result = std::make_shared<CopyResult>(displaced_);
    const File* header = headerToRemove(f);
    diskStep(
        {collection.path, targetPath, romKey(r)},
        [result, fate, shell = withoutFiles(collection), listed, stripped = header ? std::optional(*header) : std::nullopt,
         targetPath, name = r.name, backup = backupOf(systemFolder)] {
            result->status = copyToArchive(shell, listed, targetPath, name, &backup, &result->displaced,
                                           stripped ? &*stripped : nullptr);
            if (result->status != ZipStatus::Ok) fate->failed = true;
        },
        [this, result, shell = withoutFiles(collection), listed, f, r, targetPath]() -> std::function<void()> {
            const bool ok = copyEnded(result->status, result->displaced.moves(), f, r, targetPath);
            return [this, result, shell, listed, r, targetPath, ok] {
                recordDisplaced(result->displaced.moves());
                if (ok) {
                    recordCopy(FileAction::Kind::MovedIntoSet, shell, listed, targetPath, r);
                    return;
                }
                postFileMessage(text::kErrorCopying);
                recordCopy(FileAction::Kind::Failed, shell, listed, targetPath, r, text::kErrorCopying);
            };
        });
}

void FixJob::rebuildMisplaced(SystemFolder& system, ContainerFiles& collection, size_t index, const File& listed,
                              File& f, const RomMatch& r, const Fate& fate, bool onlyMatch) {
    postFileMessage(text::rebuiltTo(f.name, r));
    if (!namesAreSafe(collection, listed, r, false)) {
        fate->failed = true;
        return;
    }
    const std::string target = r.game + ".zip";
    const std::string targetPath = setPathFor(system.path, r.game, system.name);
    const bool caseOnly = currentFile() != target && equalsIgnoreCase(currentFile(), target);
    // On a case-sensitive file system a copy would make a second archive
    // beside this one; renaming it reaches the same end state. When the exact
    // name is already taken, the entry is copied into that archive instead.
    if (caseOnly) {
        settle(collection.path);
        settle(targetPath);
    }
    if (caseOnly && renameNoReplace(collection.path, targetPath) == 0) {
        recordAction({.kind = FileAction::Kind::Renamed,
                      .name = currentFile(),
                      .from = collection.path,
                      .to = targetPath,
                      .system = system.name,
                      .game = r.game});
        renameCollection(system, collection, index, target);
        noteChangedSet(targetPath, system.name);
        if (f.name == r.name) {
            placements().setHave(f.crc, f.size, r.name, r.game, system.name);
            fate->wanted = true;
            return;
        }
    }
    if (onlyMatch && collection.isZip && targetPath == collection.path && headerToRemove(f) == nullptr) {
        renameWithinArchive(system, collection, listed, f, r, fate);
        return;
    }
    copyIntoSet(collection, listed, f, r, targetPath, system.path, fate);
}

void FixJob::renameWithinArchive(const SystemFolder& system, const ContainerFiles& collection, const File& listed,
                                 const File& f, const RomMatch& r, const Fate& fate) {
    auto result = std::make_shared<CopyResult>(displaced_);
    diskStep(
        {collection.path, romKey(r)},
        [result, fate, shell = withoutFiles(collection), listed, name = r.name, backup = backupOf(system.path)] {
            result->status = renameEntryKeepingOld(shell, listed, name, backup, &result->displaced, &result->keptAt);
            result->renamed = result->status == ZipStatus::Ok;
            // Moved away by an earlier step: the copy takes it from where it went.
            if (result->status == ZipStatus::EntryGone)
                result->status = copyToArchive(shell, listed, shell.path, name, &backup, &result->displaced);
            if (result->status != ZipStatus::Ok) fate->failed = true;
            else if (result->renamed) fate->backedUp = true;
        },
        [this, result, shell = withoutFiles(collection), listed, f, r]() -> std::function<void()> {
            const bool ok = copyEnded(result->status, result->displaced.moves(), f, r, shell.path);
            return [this, result, shell, listed, r, ok] {
                recordDisplaced(result->displaced.moves());
                if (!ok) {
                    // Reported as the copy and the move it stands for would have been.
                    postFileMessage(text::kErrorCopying);
                    recordCopy(FileAction::Kind::Failed, shell, listed, shell.path, r, text::kErrorCopying);
                    return;
                }
                recordCopy(FileAction::Kind::MovedIntoSet, shell, listed, shell.path, r);
                if (!result->renamed) return;
                postFileMessage(text::deleted(listed.name));
                recordAction({.kind = FileAction::Kind::MovedToBackup,
                              .name = listed.name,
                              .from = shell.path,
                              .to = result->keptAt});
            };
        });
}

void FixJob::rebuildForeign(const ContainerFiles& collection, const File& listed, File& f, const RomMatch& r,
                            const Fate& fate) {
    postFileMessage(text::rebuiltTo(f.name, r));
    if (!namesAreSafe(collection, listed, r, true)) {
        fate->failed = true;
        return;
    }
    // Into the folder of the ROM's own system, where its next fix wants it.
    bool exists = false;
    const std::string systemFolder = resolveSystemFolder(settings(), r.system, &exists);
    if (exists) {
        copyIntoSet(collection, listed, f, r, setPathFor(systemFolder, r.game, r.system), systemFolder, fate);
        return;
    }
    const std::string targetPath = joinPath(systemFolder, r.game + ".zip");
    postFileMessage(text::kErrorCopying);
    recordCopy(FileAction::Kind::Failed, collection, listed, targetPath, r, text::kErrorCopying);
    failStep();
    fate->failed = true;
}

void FixJob::renameCollection(SystemFolder& system, ContainerFiles& collection, size_t index,
                              const std::string& newName) {
    system.files[index] = newName;
    setCurrentFile(newName);
    collection.path = system.pathOf(index);
}

}  // namespace quorvane
