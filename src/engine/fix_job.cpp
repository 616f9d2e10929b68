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

void FixJob::fixSystem(SystemFolder& system) {
    if (db().openDB() != StoreStatus::Ok) {
        postMessage(db().lastError());
        failStep();
        return;
    }
    const int failedBefore = failedSteps();
    postMessage(text::fixingSystem(text::timeStamp(std::time(nullptr)), system.name, system.path));
    db().cleanSystemStatus(system.name);
    // The second pass then reads no unchanged archive again.
    system.keepListings = true;
    firstPass(system, false);
    const std::vector<bool> movedAside = moveUnreadableAside(system);
    secondPass(system, movedAside);
    rebuildFromDisplaced(system);
    applyOutputForms();
    fixDisks(system);
    if (failedSteps() > failedBefore) postMessage(text::stepsFailed(failedSteps() - failedBefore));
    db().closeDB();
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
    postMessage(text::errorInZip(currentFile(), status));
    errno = 0;
    FileAction action{.name = currentFile(), .from = system.pathOf(index)};
    if (moveIntoBackup(action.from, backupOf(system.path).forFile(action.from), &action.to) == 0) {
        postFileMessage(text::corruptDeleted(currentFile()));
        action.kind = FileAction::Kind::MovedToBackup;
        recordAction(std::move(action));
        return;
    }
    action.error = failureReason(ZipStatus::Error, errno);
    postFileMessage(text::corruptNotMoved(currentFile(), action.error));
    recordAction(std::move(action));
    failStep();
}

void FixJob::secondPass(SystemFolder& system, const std::vector<bool>& movedAside) {
    // One file at a time: a copy may change an archive further down the list.
    for (size_t i = 0; i < system.files.size(); ++i) {
        if (cancelled()) break;
        if (i < movedAside.size() && movedAside[i]) continue;
        setCurrentFile(i, system.files[i]);
        showProgress();
        fixFile(system, i);
    }
}

void FixJob::fixFile(SystemFolder& system, size_t index) {
    if (const auto it = converted_.find(system.pathOf(index)); it != converted_.end()) {
        system.files[index] = baseName(it->second);
        setCurrentFile(index, system.files[index]);
    }
    ContainerFiles collection(system.pathOf(index));
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
    const bool together = collection.isZip;
    if (together) holdFindings();
    for (size_t j = 0; j < collection.files.size(); ++j) {
        // As listed: identification may change the size text.
        const File listed = collection.files[j];
        File& f = collection.files[j];
        const std::vector<RomMatch> matches = identifyFile(collection, f, find);
        if (matches.empty()) postFileMessage(text::cannotBeIdentified(f.name));
        CopyOutcome outcome;
        for (const RomMatch& r : matches) {
            CopyOutcome step;
            switch (classifyMatch(r, system.name, currentFile(), f.name, PendingRule::MissingOrElsewhere)) {
                case MatchClass::InPlace:
                    // Only after a case-only rename earlier in this archive is
                    // an entry in place and still missing.
                    if (!isHad(r)) placements().setHave(f.crc, f.size, r.name, r.game, system.name);
                    step.wanted = true;
                    break;
                case MatchClass::MisplacedMissing:
                    step = rebuildMisplaced(system, collection, index, listed, f, r, matches.size() == 1);
                    break;
                case MatchClass::ForeignMissing: step = rebuildForeign(collection, listed, f, r); break;
                case MatchClass::MisplacedFound:
                case MatchClass::ForeignFound: break;
            }
            outcome.wanted = outcome.wanted || step.wanted;
            outcome.failed = outcome.failed || step.failed;
            outcome.backedUp = outcome.backedUp || step.backedUp;
        }
        // A file whose copy failed is the only one there is: it stays.
        if (outcome.wanted || outcome.failed || outcome.backedUp) continue;
        if (together) leaving.push_back({listed, keepPlace(), currentFile()});
        else backUp(system, collection, listed);
    }
    if (together) backUpTogether(system, collection, leaving);
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
    const size_t movedBefore = displaced_.moves().size();
    std::string zip, keptAs;
    const ZipStatus status = convertToZip(packedPath, backupOf(systemFolder), &displaced_, zip, keptAs);
    recordDisplacedSince(movedBefore);
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
    for (size_t i = 0; i < displaced_.moves().size() && !cancelled(); ++i) {
        const std::string movedTo = displaced_.moves()[i].movedTo;
        ContainerFiles source(movedTo);
        if (loadCollection(source, loadOptions(false)) != ZipStatus::Ok || !source.isLoose() || source.files.size() != 1)
            continue;
        setCurrentFile(movedTo);
        const File listed = source.files[0];
        File f = listed;
        for (const RomMatch& r : identifyFile(source, f, finder())) {
            switch (classifyMatch(r, system.name, {}, f.name, PendingRule::MissingOrElsewhere)) {
                case MatchClass::MisplacedMissing: rebuildMisplaced(system, source, 0, listed, f, r); break;
                case MatchClass::ForeignMissing: rebuildForeign(source, listed, f, r); break;
                default: break;
            }
        }
    }
}

void FixJob::backUp(const SystemFolder& system, const ContainerFiles& collection, const File& listed) {
    errno = 0;
    EntryMove move;
    move.status = moveToBackup(collection, listed, backupOf(system.path), &move.movedTo);
    move.error = errno;
    reportBackUp(collection, listed, move);
}

void FixJob::backUpTogether(const SystemFolder& system, const ContainerFiles& collection,
                            const std::vector<Leaving>& leaving) {
    std::vector<File> files;
    for (const Leaving& l : leaving) files.push_back(l.listed);
    const std::vector<EntryMove> moves =
        files.empty() ? std::vector<EntryMove>{} : moveEntriesToBackup(collection, files, backupOf(system.path));
    const std::string file = currentFile();
    for (size_t i = 0; i < leaving.size(); ++i) {
        fillPlace(leaving[i].place, [this, &collection, &l = leaving[i], &move = moves[i]] {
            setCurrentFile(l.file);
            reportBackUp(collection, l.listed, move);
        });
    }
    releaseFindings();
    setCurrentFile(file);
}

void FixJob::reportBackUp(const ContainerFiles& collection, const File& listed, const EntryMove& move) {
    FileAction action{.name = listed.name, .from = collection.path, .to = move.movedTo};
    // An entry a copy moved away to make room is in the backup folder
    // already, and was counted when it went.
    if (move.status == ZipStatus::EntryGone && collection.isZip && displaced_.find(collection.path, keyOf(listed))) {
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

ZipStatus FixJob::copyKeepingReplaced(const ContainerFiles& collection, const File& listed, const File& f,
                                      const std::string& archive, const std::string& entryName,
                                      const std::string& systemFolder) {
    const size_t movedBefore = displaced_.moves().size();
    const BackupTree backup = backupOf(systemFolder);
    const ZipStatus status =
        copyToArchive(collection, listed, archive, entryName, &backup, &displaced_, headerToRemove(f));
    recordDisplacedSince(movedBefore);
    return status;
}

void FixJob::recordDisplacedSince(size_t movedBefore) {
    // Entries of that name with other content went to the backup folder first.
    for (size_t i = movedBefore; i < displaced_.moves().size(); ++i) {
        const DisplacedEntries::Move& move = displaced_.moves()[i];
        recordAction({.kind = FileAction::Kind::MovedToBackup,
                      .name = move.key.name,
                      .from = move.archivePath,
                      .to = move.movedTo});
    }
}

FixJob::CopyOutcome FixJob::rebuildMisplaced(SystemFolder& system, ContainerFiles& collection, size_t index,
                                             const File& listed, File& f, const RomMatch& r, bool onlyMatch) {
    postFileMessage(text::rebuiltTo(f.name, r));
    if (!namesAreSafe(collection, listed, r, false)) return {.failed = true};
    const std::string target = r.game + ".zip";
    const std::string targetPath = setPathFor(system.path, r.game, system.name);
    const bool caseOnly = currentFile() != target && equalsIgnoreCase(currentFile(), target);
    // On a case-sensitive file system a copy would make a second archive
    // beside this one; renaming it reaches the same end state. When the exact
    // name is already taken, the entry is copied into that archive instead.
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
            return {.wanted = true};
        }
    }
    CopyOutcome renamed;
    if (onlyMatch && collection.isZip && targetPath == collection.path && headerToRemove(f) == nullptr &&
        renameWithinArchive(system, collection, listed, f, r, renamed))
        return renamed;
    const ZipStatus status = copyKeepingReplaced(collection, listed, f, targetPath, r.name, system.path);
    if (status != ZipStatus::Ok) {
        postFileMessage(text::kErrorCopying);
        recordCopy(FileAction::Kind::Failed, collection, listed, targetPath, r, text::kErrorCopying);
        failStep();
        return {.failed = true};
    }
    placements().setHave(f.crc, f.size, r.name, r.game, system.name);
    noteChangedSet(targetPath, system.name);
    recordCopy(FileAction::Kind::MovedIntoSet, collection, listed, targetPath, r);
    return {};
}

bool FixJob::renameWithinArchive(const SystemFolder& system, const ContainerFiles& collection, const File& listed,
                                 const File& f, const RomMatch& r, CopyOutcome& outcome) {
    const size_t movedBefore = displaced_.moves().size();
    errno = 0;
    FileAction kept{.name = listed.name, .from = collection.path};
    const ZipStatus status =
        renameEntryKeepingOld(collection, listed, r.name, backupOf(system.path), &displaced_, &kept.to);
    recordDisplacedSince(movedBefore);
    // Moved away by an earlier step: the copy takes it from where it went.
    if (status == ZipStatus::EntryGone) return false;
    // Reported as the copy and the move it stands for would have been.
    if (status != ZipStatus::Ok) {
        postFileMessage(text::kErrorCopying);
        recordCopy(FileAction::Kind::Failed, collection, listed, collection.path, r, text::kErrorCopying);
        failStep();
        outcome = {.failed = true};
        return true;
    }
    placements().setHave(f.crc, f.size, r.name, r.game, system.name);
    noteChangedSet(collection.path, system.name);
    recordCopy(FileAction::Kind::MovedIntoSet, collection, listed, collection.path, r);
    postFileMessage(text::deleted(listed.name));
    kept.kind = FileAction::Kind::MovedToBackup;
    recordAction(std::move(kept));
    outcome = {.backedUp = true};
    return true;
}

FixJob::CopyOutcome FixJob::rebuildForeign(const ContainerFiles& collection, const File& listed, File& f,
                                                 const RomMatch& r) {
    postFileMessage(text::rebuiltTo(f.name, r));
    if (!namesAreSafe(collection, listed, r, true)) return {.failed = true};
    // Into the folder of the ROM's own system, where its next fix wants it.
    bool exists = false;
    const std::string systemFolder = resolveSystemFolder(settings(), r.system, &exists);
    const std::string targetPath = exists ? setPathFor(systemFolder, r.game, r.system) : joinPath(systemFolder, r.game + ".zip");
    const ZipStatus status =
        exists ? copyKeepingReplaced(collection, listed, f, targetPath, r.name, systemFolder) : ZipStatus::Error;
    if (status != ZipStatus::Ok) {
        postFileMessage(text::kErrorCopying);
        recordCopy(FileAction::Kind::Failed, collection, listed, targetPath, r, text::kErrorCopying);
        failStep();
        return {.failed = true};
    }
    placements().setHave(f.crc, f.size, r.name, r.game, r.system);
    noteChangedSet(targetPath, r.system);
    recordCopy(FileAction::Kind::MovedIntoSet, collection, listed, targetPath, r);
    return {};
}

void FixJob::renameCollection(SystemFolder& system, ContainerFiles& collection, size_t index,
                              const std::string& newName) {
    system.files[index] = newName;
    setCurrentFile(newName);
    collection.path = system.pathOf(index);
}

}  // namespace quorvane
