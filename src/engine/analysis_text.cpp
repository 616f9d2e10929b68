#include "engine/analysis_text.h"

#include "core/file_util.h"
#include "core/text.h"

namespace quorvane::analysis_text {

namespace {

std::string formatLocal(std::time_t when, const char* pattern) {
    std::tm parts{};
    localtime_r(&when, &parts);
    char buffer[64];
    const size_t n = std::strftime(buffer, sizeof buffer, pattern, &parts);
    return std::string(buffer, n);
}

}  // namespace

std::string timeStamp(std::time_t when) { return localTimeText(when); }
std::string backupFolderName(std::time_t when) { return formatLocal(when, "%d.%m.%y - %H.%M.%S"); }

std::string scanningSystem(const std::string& stamp, const std::string& system, const std::string& folder) {
    return stamp + " - Scanning " + system + " in " + folder;
}
std::string fixingSystem(const std::string& stamp, const std::string& system, const std::string& folder) {
    return stamp + " - Fixing " + system + " in " + folder;
}
std::string rebuildingInto(const std::string& stamp, const std::string& from, const std::string& categoryFolder) {
    return stamp + " - Rebuilding from " + from + " into " + categoryFolder;
}
std::string systemFolderMissing(const std::string& system, const std::string& folder) {
    return "The folder of " + system + " does not exist: " + folder +
           ". Nothing was changed for " + system + "; create the folder or change the category's folder.";
}
std::string catalogueLacksParents(const std::string& system) {
    return "Warning: the catalogue of " + system +
           " does not say which games are clones of which; import its DAT again before using merged mode.";
}

std::string errorInZip(const std::string& file, ZipStatus status) {
    return "Error in zip " + file + ": " + zipStatusWithReason(status);
}

std::string cannotBeIdentified(const std::string& name) { return name + " cannot be identified."; }
std::string identifiedAs(const std::string& name, const RomMatch& match) {
    return name + " has been identified as being: " + match.system + "/" + match.game + "/" + match.name;
}
std::string shouldBeDeleted(const std::string& name) { return name + " should be deleted."; }
std::string corruptDeleted(const std::string& file) { return file + " corrupt: it has been deleted"; }
std::string rebuiltTo(const std::string& name, const RomMatch& match) {
    return name + " rebuilt to " + match.system + "/" + match.game + "/" + match.name;
}
std::string deleted(const std::string& name) { return name + " deleted"; }

std::string folderCannotBeCreated(const std::string& folder) { return "Folder " + folder + " cannot be created."; }
std::string folderDoesNotExist(const std::string& folder) { return "Folder " + folder + " does not exist."; }
std::string romsetScanned(const std::string& system) { return "Romset " + system + " has been scanned."; }
std::string romsetFixed(const std::string& system) { return "Romset " + system + " has been fixed."; }

std::string scanCaption(const std::string& system) { return "Scanning system: " + system; }
std::string multiSystemCaption(const std::string& system) { return "Scanning system " + system + "... "; }
std::string rebuildFolderCaption(const std::string& folder) { return "Rebuilding from folder: " + folder; }

std::string leftoverKept(const std::string& folder, const std::string& name) {
    return "Warning: " + joinPath(folder, name) +
           " was left by an interrupted run; it has been kept and is not part of the collection.";
}

std::string leftoverRestored(const std::string& folder, const std::string& name, const std::string& restoredAs) {
    return "Warning: " + joinPath(folder, name) + " was left by an interrupted run; it is a complete archive and " +
           "has been renamed back to " + restoredAs + ".";
}

namespace {

std::string stepCount(int count) { return std::to_string(count) + (count == 1 ? " step" : " steps"); }

}  // namespace

std::string notMovedToBackup(const std::string& name, const std::string& why) {
    return name + " could not be moved to the backup folder (" + why + "); it was left where it is";
}

std::string convertedToZip(const std::string& file, const std::string& zipName) {
    return file + " must change and is never edited in place: its entries were written to " + zipName +
           " and the archive moved to the backup folder.";
}

std::string notConverted(const std::string& file, ZipStatus status) {
    return file + " must change but could not be written anew as a zip (" + zipStatusWithReason(status) +
           "); it was left where it is.";
}

std::string outputWritten(const std::string& form, int sets) {
    return std::to_string(sets) + (sets == 1 ? " set was" : " sets were") + " written as " + form + ".";
}

std::string outputNotWritten(const std::string& path, const std::string& form, ZipStatus status) {
    return "Warning: " + path + " could not be written as " + form + " (" + zipStatusWithReason(status) +
           "); it stays a zip.";
}

std::string corruptNotMoved(const std::string& file, const std::string& why) {
    return file + " corrupt: it could not be moved to the backup folder (" + why + ")";
}

std::string errorInDisk(const std::string& file, const std::string& reason) {
    return "Error in disk image " + file + ": " + reason;
}

std::string diskUnreadable(const std::string& file, const std::string& reason) {
    return "Disk image " + file + " cannot be read (" + reason + "); it was left where it is.";
}

std::string diskNotVerified(const std::string& file, const std::string& why) {
    return "Warning: disk image " + file + " was not verified: " + why;
}

std::string diskDisplaced(const std::string& path, const std::string& movedTo) {
    return path + " held other content: it was moved to " + movedTo + " to make room.";
}

std::string diskNotPlaced(const std::string& file, const std::string& target, const std::string& why) {
    return file + " could not be put at " + target + " (" + why + "); it was left where it is.";
}

std::string stepsFailed(int count) { return stepCount(count) + " failed: see the messages above."; }

std::string romsetNotFullyFixed(const std::string& system, int failedSteps) {
    return "Romset " + system + " has not been fully fixed: " + stepCount(failedSteps) + " failed.";
}

std::string romsetsNotFullyFixed(int failedSteps) {
    return "Romsets have not been fully fixed: " + stepCount(failedSteps) + " failed.";
}

std::string changesNotSynced(const std::string& reason) {
    return "Error: the changes could not be made durable on the disk (" + reason + ").";
}

}  // namespace quorvane::analysis_text
