#include "engine/rebuild_job.h"

#include <algorithm>
#include <ctime>
#include <optional>

#include "archive/chd_header.h"
#include "archive/packed_archive.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "core/file_util.h"
#include "core/names.h"
#include "engine/analysis_text.h"
#include "engine/folder_listing.h"
#include "engine/set_conversion.h"
#include "engine/staging_folder.h"

namespace quorvane {

namespace text = analysis_text;

namespace {

// A ROM seen elsewhere by a scan ("P") is still to be built into its set.
constexpr PendingRule kRule = PendingRule::MissingOrElsewhere;
// Sources between two looks for targets to write.
constexpr size_t kIdleCheckEvery = 16;

}  // namespace

RebuildJob::RebuildJob(std::shared_ptr<Catalogue> db, JobHost& host, Settings settings,
                             std::string sourceFolder, AnalysisOptions options)
    : FolderJob(std::move(db), host, std::move(settings), {}, false, options),
      fromFolder_(true),
      sourceFolder_(std::move(sourceFolder)),
      loadThreads_(options.loadThreads) {}

RebuildJob::RebuildJob(std::shared_ptr<Catalogue> db, JobHost& host, Settings settings,
                             std::vector<std::string> files, AnalysisOptions options)
    : FolderJob(std::move(db), host, std::move(settings), {}, false, options),
      fromFolder_(false),
      sourceFiles(std::move(files)),
      loadThreads_(options.loadThreads) {}

bool RebuildJob::prepare() {
    report().command = JobReport::Command::Rebuild;
    if (fromFolder_) {
        sourceFolder_ = resolveBaseDir(settings(), sourceFolder_);
        if (!isDirectory(sourceFolder_)) {
            host().showInformation(text::folderDoesNotExist(sourceFolder_));
            return false;
        }
        host().startProgress(text::rebuildFolderCaption(sourceFolder_), 0);
        host().updateProgress(text::kInitializing, 0);
        sourceFiles.clear();
        collectFilesRecursive(sourceFolder_, sourceFiles);
        report().sourceFolder = sourceFolder_;
    } else {
        host().startProgress(text::kRebuildingFiles, 0);
        host().updateProgress(text::kInitializing, 0);
    }
    setFileCount(sourceFiles.size());
    return true;
}

JobResult RebuildJob::execute() {
    replacedBackupFolder_ = uniqueRunFolder(settings().backupDir, std::time(nullptr));
    runJournaled(replacedBackupFolder_, "rebuild", [this] { rebuildSources(); });
    host().closeProgress();
    report().cancelled = cancelled();
    report().rebuild.stepsFailed = failedSteps();
    host().addReport(reportPointer());
    host().showInformation(text::kRebuildComplete);
    return {JobResult::Refresh::Games, {}};
}

void RebuildJob::rebuildSources() {
    const std::string from = fromFolder_ ? sourceFolder_
                                         : std::to_string(sourceFiles.size()) +
                                               (sourceFiles.size() == 1 ? " chosen file" : " chosen files");
    postMessage(text::rebuildingInto(text::timeStamp(std::time(nullptr)), from,
                                     resolveBaseDir(settings(), settings().categoryDir)));
    if (db().openDB() != StoreStatus::Ok) {
        postMessage(db().lastError());
        failStep();
    } else {
        // Sources are read (and loose ones deflated) ahead in parallel; one
        // whose stamp changed before its turn (a source inside a folder being
        // rebuilt) is read again, so the result is that of reading each file
        // at its turn.
        auto loader = startSourceLoader();
        if (loadThreads_ != OrderedLoader::kOnCallingThread)
            writers_ = std::make_unique<TaskPool>(std::max(1u, std::thread::hardware_concurrency()));
        LoadedItem item;
        for (size_t i = 0; i < sourceFiles.size(); ++i) {
            if (cancelled()) break;
            setCurrentFile(i, sourceFiles[i]);
            showProgress();
            loader->next(item);
            if (looksLikeChd(sourceFiles[i])) {
                rebuildDisk(sourceFiles[i]);
                continue;
            }
            const bool changed = !(stampOf(sourceFiles[i]) == item.stamp);
            if (changed) {
                item.collection = ContainerFiles(sourceFiles[i]);
                item.status = loadCollection(item.collection, loadOptions(true));
            }
            prepared_ = takePrepared(i, changed);
            if (!zipTestPassed(item.status)) {
                postMessage(text::errorInZip(currentFile(), item.status));
                failStep();
                countSource(false);
                continue;
            }
            sourceUsed_ = false;
            rebuildFile(item.collection);
            settleSource(currentFile(), sourceUsed_);
            if (i % kIdleCheckEvery == 0) writeIdlePending();
        }
        loader.reset();
        prepared_.reset();
        preparedAhead_.clear();
        // What was built before a cancel is written all the same.
        writeAllPending();
        writers_.reset();
        if (cancelled()) postMessage(text::kRebuildCancelled);
        applyOutputForms();
        collectRebuiltGames();
        db().closeDB();
    }
}

void RebuildJob::countSource(bool used) {
    RebuildCounts& counts = report().rebuild;
    if (used) {
        ++counts.sourcesUsed;
        return;
    }
    ++counts.sourcesUnused;
    report().unusedSources.push_back(currentFile());
}

void RebuildJob::collectRebuiltGames() {
    for (const auto& [system, games] : touchedGames_) {
        // A game at a time: only the touched ones are kept.
        db().forEachGame(system, [&, &system = system, &games = games](const Game& game) {
            if (games.count(game.name) == 0) return;
            // A game it added to had a ROM still to be had: complete now means completed now.
            if (game.state() == GameState::Complete) ++report().rebuild.gamesCompleted;
            report().rebuiltGames.push_back({system, game});
        });
    }
}

void RebuildJob::rebuildFile(ContainerFiles& collection) {
    std::optional<StagingFolder> stage;
    if (collection.isPacked) {
        // One read of the archive unpacks every entry a set may want, so a
        // solid block is decompressed once, not once per ROM.
        const std::string categoryFolder = resolveBaseDir(settings(), settings().categoryDir);
        fileOps().makeFolderPath(categoryFolder);
        stage.emplace(categoryFolder);
        std::vector<std::pair<EntryKey, std::string>> wanted;
        for (const File& f : collection.files) {
            if (!stage->ok() || !worthPreparing(collection, f)) continue;
            wanted.push_back({keyOf(f), joinPath(stage->path(), std::to_string(wanted.size()))});
            stage->track(wanted.back().second);
        }
        // Entries that failed to unpack are read again one by one, and fail there.
        if (!wanted.empty() && extractPacked(collection.path, wanted) == ZipStatus::Ok) {
            for (const auto& [key, path] : wanted) unpacked_[{key.name, key.crc32, key.size}] = path;
        }
    }
    for (size_t j = 0; j < collection.files.size(); ++j) rebuildEntry(collection, j, collection.files[j]);
    // The unpacked files go with the stage.
    if (stage) writeStagedPending();
    unpacked_.clear();
}

std::string RebuildJob::systemFolderOf(const std::string& system, bool& exists) {
    if (const auto it = systemFolders_.find(system); it != systemFolders_.end()) {
        exists = true;
        return it->second;
    }
    std::string folder = resolveSystemFolder(settings(), system, &exists);
    if (exists) systemFolders_.emplace(system, folder);
    return folder;
}

std::string RebuildJob::setPathIn(const std::string& folder, const std::string& game, const std::string& system) {
    std::string zip = joinPath(folder, game + ".zip");
    // Sets come mostly a few ROMs in a row: one look for a 7z or RAR set is enough.
    if (pending_.count(zip) != 0 || writing_.count(zip) != 0) return zip;
    if (setsChecked_.size() >= kArchivesRemembered) setsChecked_.clear();
    if (!setsChecked_.insert(zip).second) return zip;
    // A 7z or RAR set is never edited: it is written anew as a zip first.
    if (const std::string packed = packedSetToConvert(folder, game); !packed.empty()) {
        std::string made, keptAs;
        const ZipStatus status = convertToZip(packed, backupOf(folder), nullptr, made, keptAs);
        FileAction action{.kind = FileAction::Kind::MovedToBackup, .name = baseName(packed), .from = packed, .to = keptAs};
        if (status == ZipStatus::Ok) {
            postMessage(text::convertedToZip(packed, game + ".zip"));
            noteChangedSet(zip, system);
        } else {
            postMessage(text::notConverted(packed, status));
            action.kind = FileAction::Kind::Failed;
            action.error = zipStatusText(status);
        }
        report().rebuildActions.push_back(std::move(action));
    }
    return zip;
}

const std::string& RebuildJob::replacedBackup() {
    if (!replacedBackupMade_) {
        makeFolders(replacedBackupFolder_);
        replacedBackupMade_ = true;
    }
    return replacedBackupFolder_;
}

void RebuildJob::rebuildEntry(const ContainerFiles& collection, size_t index, File& f) {
    const File listed = collection.files[index];
    const std::vector<RomMatch> matches = identifyFile(collection, f, lockedFinder());
    if (matches.size() == 1) {
        if (isPending(matches[0], kRule) && !isQueued(matches[0])) build(collection, listed, f, matches[0]);
        return;
    }
    if (matches.size() < 2) return;
    std::vector<std::string> selected;
    if (dupesBehaviour.askUser) {
        DupesAnswer answer = host().askDuplicates(f.name, collection.path, matches);
        dupesBehaviour = answer.behaviour;
        selected = std::move(answer.selectedGames);
    }
    if (dupesBehaviour.neverBuild) return;
    for (const RomMatch& r : matches) {
        if (!isPending(r, kRule) || isQueued(r)) continue;
        bool wanted = true;
        if (dupesBehaviour.onlyNameMatches) wanted = r.name == f.name;
        else if (dupesBehaviour.onlySelected) wanted = std::find(selected.begin(), selected.end(), r.game) != selected.end();
        if (wanted) build(collection, listed, f, r);
    }
}

void RebuildJob::build(const ContainerFiles& collection, const File& listed, const File& f, const RomMatch& r) {
    std::string refusal;
    if (!isSafeFileName(r.system)) refusal = unsafeNameMessage("System", r.system);
    else if (!isSafeGameName(r.game)) refusal = unsafeNameMessage("Game", r.game);
    else if (!isSafeEntryName(r.name)) refusal = unsafeNameMessage("ROM", r.name);
    FileAction action{.kind = FileAction::Kind::Failed,
                      .name = listed.name,
                      .from = collection.path,
                      .system = r.system,
                      .game = r.game,
                      .rom = r.name};
    if (!refusal.empty()) {
        postFileMessage(refusal);
        action.error = refusal;
        report().rebuildActions.push_back(std::move(action));
        failStep();
        return;
    }
    bool exists = false;
    const std::string target = systemFolderOf(r.system, exists);
    if (exists && checkedFolders_.insert(target).second) {
        for (const std::string& line : recoverLeftovers(target)) postMessage(line);
    }
    action.to = exists ? setPathIn(target, r.game, r.system) : joinPath(target, r.game + ".zip");
    ZipStatus status = ZipStatus::Error;
    if (exists && copyInto(collection, listed, f, action.to, r.name, target, action, status)) return;
    if (status != ZipStatus::Ok) {
        recordNotAdded(std::move(action));
        return;
    }
    sourceUsed_ = true;
    recordAdded(std::move(action), f.crc, f.size);
}

void RebuildJob::recordAdded(FileAction action, const std::string& crc, const std::string& size) {
    {
        std::lock_guard lock(dbMutex_);
        placements().setHave(crc, size, action.rom, action.game, action.system);
    }
    noteChangedSet(action.to, action.system);
    ++report().rebuild.romsAdded;
    touchedGames_[action.system].insert(action.game);
    action.kind = FileAction::Kind::Added;
    report().rebuildActions.push_back(std::move(action));
}

void RebuildJob::recordNotAdded(FileAction action) {
    postFileMessage(text::kErrorCopying);
    action.error = text::kErrorCopying;
    report().rebuildActions.push_back(std::move(action));
    failStep();
}

bool RebuildJob::copyInto(const ContainerFiles& container, const File& listed, const File& f,
                          const std::string& archive, const std::string& entryName, const std::string& systemFolder,
                          FileAction& action, ZipStatus& status) {
    // An entry of a packed source unpacked ahead is copied as the loose file it now is.
    ContainerFiles unpacked;
    const ContainerFiles* source = &container;
    if (container.isPacked) {
        const EntryKey key = keyOf(listed);
        if (const auto it = unpacked_.find({key.name, key.crc32, key.size}); it != unpacked_.end()) {
            unpacked.path = it->second;
            unpacked.isZip = false;
            source = &unpacked;
        }
    }
    const ContainerFiles& collection = *source;
    const File* withoutHeader = headerToRemove(f);
    awaitWriteOf(archive);
    // Entries of that name already there are someone's files: they go to a
    // backup folder (made on first need) before the right ROM replaces them.
    // A target waiting to be written is as it was when its first copy came.
    const auto waiting = pending_.find(archive);
    const bool existed = waiting != pending_.end() ? waiting->second.onDisk : pathExists(archive);
    if (existed && ZipListing(archive).find(entryName) >= 0) {
        DisplacedEntries replaced;
        const BackupTree backup = backupOf(systemFolder);
        status = copyToArchive(collection, listed, archive, entryName, &backup, &replaced, withoutHeader);
        for (const DisplacedEntries::Move& move : replaced.moves()) {
            report().rebuildActions.push_back({.kind = FileAction::Kind::MovedToBackup,
                                               .name = move.key.name,
                                               .from = move.archivePath,
                                               .to = move.movedTo});
        }
        return false;
    }
    // An entry of a packed source not unpacked ahead, or of a zip with a
    // copier header to leave out: copied at once, the way every fix copies.
    if (collection.isPacked || (withoutHeader && !collection.isLoose())) {
        status = copyToArchive(collection, listed, archive, entryName, nullptr, nullptr, withoutHeader);
        if (status == ZipStatus::Ok && !existed) rememberMade(archive);
        // A target waiting for this archive finds it made.
        if (waiting != pending_.end() && status == ZipStatus::Ok) waiting->second.onDisk = true;
        return false;
    }
    const EntryKey key = keyOf(listed);
    PendingTarget& target = pendingFor(archive, existed);
    const uint64_t held = target.update.bytesHeld();
    // A loose file deflated ahead goes in as it is; a deflated entry of a
    // source zip keeps its compressed bytes (addEntryOf), since inflating
    // and deflating it again gains nothing.
    if (withoutHeader) {
        // Checked against the file without its header, as copyToArchive checks it.
        const EntryKey wanted = keyOf(*withoutHeader);
        target.update.addFile(collection.path, entryName, ExpectedContent{wanted.crc32, wanted.size},
                              withoutHeader->headerBytes);
        target.fromStage = target.fromStage || source == &unpacked;
    } else if (collection.isLoose() && prepared_ && prepared_->matches(listed)) {
        target.update.addDeflated(entryName, prepared_->data);
    } else if (collection.isLoose()) {
        target.update.addFile(collection.path, entryName, ExpectedContent{key.crc32, key.size});
        target.fromStage = target.fromStage || source == &unpacked;
    } else {
        target.update.addEntryOf(collection.path, key, entryName);
    }
    pendingBytes_ += target.update.bytesHeld() - held;
    queuedPlaces_.insert({action.system, action.game, action.rom});
    ++tallies_[currentFile()].waiting;
    target.copies.push_back({std::move(action), f.crc, f.size, currentFile()});
    return true;
}

void RebuildJob::rememberMade(const std::string& archive) {
    if (madeByJob_.size() >= kArchivesRemembered) madeByJob_.clear();
    madeByJob_.insert(archive);
}

RebuildJob::PendingTarget& RebuildJob::pendingFor(const std::string& archive, bool onDisk) {
    if (pending_.count(archive) == 0 &&
        (pendingBytes_ >= kPendingBytesLimit || pending_.size() >= kPendingTargetsLimit)) {
        writeOldestPending();
    }
    auto it = pending_.try_emplace(archive, PendingTarget{ZipUpdate(archive), {}, false, onDisk, 0}).first;
    it->second.lastUse = ++useClock_;
    return it->second;
}

bool RebuildJob::isQueued(const RomMatch& r) const {
    return queuedPlaces_.count({r.system, r.game, r.name}) != 0;
}

void RebuildJob::writePending(std::string archive) {
    const auto it = pending_.find(archive);
    if (it == pending_.end()) return;
    auto write = std::make_unique<TargetWrite>(TargetWrite{std::move(archive), std::move(it->second)});
    pending_.erase(it);
    pendingBytes_ -= write->target.update.bytesHeld();
    // One archive is written by one write at a time, each from the last.
    awaitWriteOf(write->archive);
    // An archive this job made holds only copies of its sources, which a
    // rebuild never removes: replacing it needs no sync (see rewriteArchive).
    write->holds = madeByJob_.count(write->archive) != 0 ? ArchiveHolds::CopiesOnly : ArchiveHolds::UserFiles;
    if (!writers_) {
        commitTarget(*write, fileOps());
        recordWrite(*write);
        return;
    }
    writing_.insert(write->archive);
    // The run's journaling file layer belongs to this thread; the writers use it too.
    FileOps& ops = fileOps();
    TargetWrite* const task = write.release();
    writers_->run([this, task, &ops] {
        commitTarget(*task, ops);
        {
            std::lock_guard lock(writtenMutex_);
            written_.emplace_back(task);
        }
        writtenReady_.notify_all();
    });
    if (writing_.size() > kWritesUnderWay) collectWrites(true);
}

void RebuildJob::commitTarget(TargetWrite& write, FileOps& ops) {
    write.target.update.commit(ops, write.holds);
}

void RebuildJob::collectWrites(bool wait) {
    std::vector<std::unique_ptr<TargetWrite>> done;
    {
        std::unique_lock lock(writtenMutex_);
        if (wait) writtenReady_.wait(lock, [this] { return !written_.empty(); });
        done.swap(written_);
    }
    for (const std::unique_ptr<TargetWrite>& write : done) {
        writing_.erase(write->archive);
        recordWrite(*write);
    }
}

void RebuildJob::awaitWriteOf(const std::string& archive) {
    while (writing_.count(archive) != 0) collectWrites(true);
}

void RebuildJob::recordWrite(TargetWrite& write) {
    PendingTarget& target = write.target;
    if (target.update.created()) rememberMade(write.archive);
    // Each copy's findings go under its own source.
    const std::string current = currentFile();
    for (size_t i = 0; i < target.copies.size(); ++i) {
        PendingCopy& copy = target.copies[i];
        setCurrentFile(copy.source);
        queuedPlaces_.erase({copy.action.system, copy.action.game, copy.action.rom});
        const bool added = target.update.result(i) == ZipStatus::Ok;
        if (added) recordAdded(std::move(copy.action), copy.crc, copy.size);
        else recordNotAdded(std::move(copy.action));
        SourceTally& tally = tallies_[copy.source];
        --tally.waiting;
        tally.used = tally.used || added;
        if (tally.waiting == 0 && tally.passed) {
            countSource(tally.used);
            tallies_.erase(copy.source);
        }
    }
    setCurrentFile(current);
}

void RebuildJob::writeAllPending() {
    while (!pending_.empty()) writePending(pending_.begin()->first);
    while (!writing_.empty()) collectWrites(true);
}

void RebuildJob::writeIdlePending() {
    std::vector<std::string> idle;
    for (const auto& [archive, target] : pending_) {
        if (target.lastUse + kIdleCopies < useClock_) idle.push_back(archive);
    }
    for (const std::string& archive : idle) writePending(archive);
    collectWrites(false);
}

void RebuildJob::writeStagedPending() {
    std::vector<std::string> staged;
    for (const auto& [archive, target] : pending_) {
        if (target.fromStage) staged.push_back(archive);
    }
    for (const std::string& archive : staged) writePending(archive);
    for (const std::string& archive : staged) awaitWriteOf(archive);
}

void RebuildJob::writeOldestPending() {
    // Sources come mostly grouped by set, so the targets not added to for
    // longest are the ones most likely complete.
    std::vector<std::pair<uint64_t, std::string>> byAge;
    for (const auto& [archive, target] : pending_) byAge.emplace_back(target.lastUse, archive);
    std::sort(byAge.begin(), byAge.end());
    for (const auto& [lastUse, archive] : byAge) {
        if (pendingBytes_ < kPendingBytesLimit / 2 && pending_.size() < kPendingTargetsLimit / 2) break;
        writePending(archive);
    }
}

void RebuildJob::settleSource(const std::string& source, bool used) {
    const auto it = tallies_.find(source);
    if (it == tallies_.end()) {
        countSource(used);
        return;
    }
    it->second.used = it->second.used || used;
    it->second.passed = true;
    if (it->second.waiting == 0) {
        countSource(it->second.used);
        tallies_.erase(it);
    }
}

std::shared_ptr<PreparedEntry> RebuildJob::takePrepared(size_t index, bool discard) {
    std::lock_guard lock(preparedMutex_);
    auto it = preparedAhead_.find(index);
    if (it == preparedAhead_.end()) return nullptr;
    std::shared_ptr<PreparedEntry> p = discard ? nullptr : std::move(it->second);
    preparedAhead_.erase(it);
    return p;
}

RomLookup RebuildJob::lockedFinder() {
    return {[this, find = finder().find](std::vector<RomMatch>& found, const std::string& crc,
                                         const std::string& size, const std::string& md5, const std::string& sha1) {
                std::lock_guard lock(dbMutex_);
                find(found, crc, size, md5, sha1);
            },
            [this](const std::string& size) {
                std::lock_guard lock(dbMutex_);
                return db().digestsOfCrcLessRows(size);
            }};
}

bool RebuildJob::worthPreparing(const ContainerFiles& collection, const File& f) {
    File probe = f;
    for (const RomMatch& r : identifyFile(collection, probe, lockedFinder())) {
        if (isPending(r, kRule)) return true;
    }
    return false;
}

std::unique_ptr<OrderedLoader> RebuildJob::startSourceLoader() {
    const LoadOptions opts = loadOptions(true);
    return std::make_unique<OrderedLoader>(
        sourceFiles.size(),
        [this, opts](size_t i, LoadedItem& out) {
            const std::string& path = sourceFiles[i];
            if (looksLikeChd(path)) return;  // a disk image is never read whole
            out.stamp = stampOf(path);
            out.collection = ContainerFiles(path);
            // A loose file is read once: the bytes that give its CRC are the ones deflated.
            LooseSource loose;
            if (isArchiveName(path) || !readLooseSource(out.collection, out.stamp, opts, out.status, loose)) {
                out.status = loadCollection(out.collection, opts);
                return;
            }
            if (out.status != ZipStatus::Ok || !worthPreparing(out.collection, out.collection.files[0])) return;
            auto p = std::make_shared<PreparedEntry>();
            if (!prepareFrom(loose, *p)) return;
            std::lock_guard lock(preparedMutex_);
            preparedAhead_[i] = std::move(p);
        },
        loadThreads_);
}

}  // namespace quorvane
