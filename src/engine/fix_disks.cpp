// The fix's pass over a system folder's CHD disk images. An image wanted at
// one place is renamed there; one wanted at several is copied to each and
// renamed to the last, unless it is also wanted where it is. An image nothing
// wants, or with a bad header, goes to the backup folder. A file standing in
// a place's way goes to the backup folder first, and leaves it again only for
// a place that wants it.
#include <cerrno>
#include <cstring>

#include "core/file_util.h"
#include "core/names.h"
#include "engine/analysis_text.h"
#include "engine/backup_tree.h"
#include "engine/disk_files.h"
#include "engine/fix_job.h"

namespace quorvane {

namespace text = analysis_text;

namespace {

std::string errorText(int error) { return std::strerror(error != 0 ? error : EIO); }

}  // namespace

void FixJob::fixDisks(const SystemFolder& system) {
    const std::vector<DiskImage> images = listDiskImages(system.path);
    if (images.empty()) return;
    systemReport().disksFound += static_cast<int>(images.size());
    setFileCount(images.size());
    const RomLookup find = finder();
    for (size_t i = 0; i < images.size() && !cancelled(); ++i) {
        if (!images[i].check.ok()) continue;
        for (const RomMatch& r : findDisk(find, images[i].header))
            if (isDiskInPlace(r, system.name, images[i])) placements().setHave({}, "-", r.name, r.game, r.system);
    }
    for (size_t i = 0; i < images.size() && !cancelled(); ++i) {
        setCurrentFile(i, images[i].displayName());
        showProgress();
        // Read again: an earlier step may have put this file aside and
        // another in its place.
        const DiskImage image = readDiskImage(images[i].path, images[i].folder);
        if (image.check.error == ChdHeaderError::FileNotFound) continue;
        fixDisk(system, image, false);
    }
    // Taking one up may put another aside: the list grows while it is walked.
    for (size_t i = 0; i < displacedDisks_.size() && !cancelled(); ++i) {
        const DiskImage image = displacedDisks_[i];
        setCurrentFile(image.path);
        fixDisk(system, image, true);
    }
    displacedDisks_.clear();
}

void FixJob::fixDisk(const SystemFolder& system, const DiskImage& image, bool inBackup) {
    if (!image.check.ok()) {
        if (inBackup) return;
        if (!image.check.damaged()) {
            // A disk that failed to read says nothing of the image: it stays.
            postMessage(text::diskUnreadable(image.displayName(), image.check.reason));
            recordAction({.name = image.fileName, .from = image.path, .error = image.check.reason});
            failStep();
            return;
        }
        ++systemReport().disksDamaged;
        postMessage(text::errorInDisk(image.displayName(), image.check.reason));
        backUpDisk(system, image, true);
        return;
    }
    const std::vector<RomMatch> matches = findDisk(finder(), image.header);
    if (matches.empty() && !inBackup) postFileMessage(text::cannotBeIdentified(image.fileName));
    bool wanted = false;
    std::vector<RomMatch> places;
    for (const RomMatch& r : matches) {
        switch (classifyDisk(r, system.name, image, PendingRule::MissingOrElsewhere)) {
            case MatchClass::InPlace: wanted = true; break;
            case MatchClass::MisplacedMissing:
            case MatchClass::ForeignMissing: places.push_back(r); break;
            case MatchClass::MisplacedFound:
            case MatchClass::ForeignFound: break;
        }
    }
    bool moved = false, failed = false;
    for (size_t k = 0; k < places.size() && !cancelled(); ++k) {
        const bool move = !wanted && k + 1 == places.size();
        const DiskPlacing placing = placeDisk(system, image, places[k], move);
        moved = moved || (move && placing == DiskPlacing::Placed);
        failed = failed || placing == DiskPlacing::Failed;
    }
    if (moved) {
        if (!inBackup && !image.folder.empty()) removeIfEmpty(dirName(image.path));
        return;
    }
    // A file whose copy failed may be the only one there is: it stays.
    if (wanted || failed || inBackup || cancelled()) return;
    backUpDisk(system, image, false);
}

FixJob::DiskPlacing FixJob::placeDisk(const SystemFolder& system, const DiskImage& image, const RomMatch& r,
                                      bool move) {
    postFileMessage(text::rebuiltTo(image.fileName, r));
    FileAction action{.name = image.fileName, .from = image.path, .system = r.system, .game = r.game, .rom = r.name};
    const auto fail = [&](const std::string& why) {
        const std::string where = action.to.empty() ? r.system + "/" + r.game + "/" + r.name : action.to;
        postFileMessage(text::diskNotPlaced(image.fileName, where, why));
        action.error = why;
        recordAction(std::move(action));
        failStep();
        return DiskPlacing::Failed;
    };
    std::string refusal;
    if (r.system != system.name && !isSafeFileName(r.system)) return fail(unsafeNameMessage("System", r.system));
    if (!diskNamesAreSafe(r, refusal)) return fail(refusal);
    bool exists = true;
    const std::string folder =
        r.system == system.name ? system.path : resolveSystemFolder(settings(), r.system, &exists);
    if (!exists) return fail(text::folderDoesNotExist(folder));
    action.to = diskPathIn(folder, r);
    if (holdsDisk(action.to, image.header)) {
        // Only a place in a system this fix did not list can be had unmarked.
        placements().setHave({}, "-", r.name, r.game, r.system);
        return DiskPlacing::AlreadyThere;
    }
    errno = 0;
    if (!makeParentFolder(action.to)) return fail(errorText(errno));
    if (pathExists(action.to) && !makeRoomAt(action.to, folder)) return fail(errorText(errno));
    errno = 0;
    const CancelCheck cancel = [this] { return cancelled(); };
    const int placed =
        move ? moveDisk(image.path, action.to, folder, cancel) : copyDisk(image.path, action.to, folder, cancel);
    if (placed != 0) return fail(errorText(errno));
    placements().setHave({}, "-", r.name, r.game, r.system);
    action.kind = FileAction::Kind::MovedIntoSet;
    recordAction(std::move(action));
    return DiskPlacing::Placed;
}

bool FixJob::makeRoomAt(const std::string& path, const std::string& systemFolder) {
    FileAction action{.name = baseName(path), .from = path};
    errno = 0;
    if (moveIntoBackup(path, backupOf(systemFolder).forFile(path), &action.to) != 0) return false;
    postFileMessage(text::diskDisplaced(path, action.to));
    displacedDisks_.push_back(readDiskImage(action.to));
    action.kind = FileAction::Kind::MovedToBackup;
    recordAction(std::move(action));
    return true;
}

void FixJob::backUpDisk(const SystemFolder& system, const DiskImage& image, bool damaged) {
    FileAction action{.name = image.fileName, .from = image.path};
    errno = 0;
    if (moveIntoBackup(image.path, backupOf(system.path).forFile(image.path), &action.to) == 0) {
        postFileMessage(damaged ? text::corruptDeleted(image.fileName) : text::deleted(image.fileName));
        action.kind = FileAction::Kind::MovedToBackup;
        recordAction(std::move(action));
        if (!image.folder.empty()) removeIfEmpty(dirName(image.path));
        return;
    }
    action.error = errorText(errno);
    postFileMessage(damaged ? text::corruptNotMoved(image.fileName, action.error)
                            : text::notMovedToBackup(image.fileName, action.error));
    recordAction(std::move(action));
    failStep();
}

}  // namespace quorvane
