// The rebuild of a CHD disk image: identified by its header's SHA-1, and
// copied (a hard link where the file system allows) to each place that lacks
// it. The source is never changed, and a file in a place's way goes to the
// backup folder first.
#include <cerrno>
#include <cstring>

#include "core/file_util.h"
#include "core/names.h"
#include "engine/analysis_text.h"
#include "engine/backup_tree.h"
#include "engine/disk_files.h"
#include "engine/rebuild_job.h"

namespace quorvane {

namespace text = analysis_text;

void RebuildJob::rebuildDisk(const std::string& path) {
    const DiskImage image = readDiskImage(path);
    if (!image.check.ok()) {
        postMessage(image.check.damaged() ? text::errorInDisk(path, image.check.reason)
                                          : text::diskUnreadable(path, image.check.reason));
        failStep();
        countSource(false);
        return;
    }
    bool used = false;
    for (const RomMatch& r : findDisk(lockedFinder(), image.header)) {
        if (isPending(r, PendingRule::MissingOrElsewhere) && buildDisk(image, r)) used = true;
    }
    countSource(used);
}

bool RebuildJob::buildDisk(const DiskImage& image, const RomMatch& r) {
    FileAction action{.name = image.fileName, .from = image.path, .system = r.system, .game = r.game, .rom = r.name};
    const auto fail = [&](const std::string& why) {
        postFileMessage(action.to.empty() ? why : text::diskNotPlaced(image.fileName, action.to, why));
        action.error = why;
        report().rebuildActions.push_back(std::move(action));
        failStep();
        return false;
    };
    std::string refusal;
    if (!isSafeFileName(r.system)) return fail(unsafeNameMessage("System", r.system));
    if (!diskNamesAreSafe(r, refusal)) return fail(refusal);
    bool exists = false;
    const std::string folder = resolveSystemFolder(settings(), r.system, &exists);
    if (!exists) return fail(text::folderDoesNotExist(folder));
    if (checkedFolders_.insert(folder).second) {
        for (const std::string& line : recoverLeftovers(folder)) postMessage(line);
    }
    action.to = diskPathIn(folder, r);
    const auto had = [&] {
        std::lock_guard lock(dbMutex_);
        placements().setHave({}, "-", r.name, r.game, r.system);
    };
    if (holdsDisk(action.to, image.header)) {
        had();  // there already, not yet scanned
        return false;
    }
    errno = 0;
    if (!makeParentFolder(action.to)) return fail(std::strerror(errno != 0 ? errno : EIO));
    if (pathExists(action.to)) {
        FileAction aside{.kind = FileAction::Kind::MovedToBackup, .name = r.name, .from = action.to};
        errno = 0;
        if (moveIntoBackup(action.to, backupOf(folder).forFile(action.to), &aside.to) != 0)
            return fail(std::strerror(errno != 0 ? errno : EIO));
        postFileMessage(text::diskDisplaced(action.to, aside.to));
        report().rebuildActions.push_back(std::move(aside));
    }
    errno = 0;
    if (copyDisk(image.path, action.to, folder, [this] { return cancelled(); }) != 0)
        return fail(std::strerror(errno != 0 ? errno : EIO));
    had();
    ++report().rebuild.romsAdded;
    touchedGames_[r.system].insert(r.game);
    action.kind = FileAction::Kind::Added;
    report().rebuildActions.push_back(std::move(action));
    return true;
}

}  // namespace quorvane
