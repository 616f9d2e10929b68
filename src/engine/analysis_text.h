// Every text the scan, fix and rebuild jobs show, in one place, so the front
// ends and the tests see exactly the same words.
//
// Time stamps of the general lines are local time written "dd/mm/yyyy
// hh:mm:ss" (day first, 24-hour clock); backup folders are named
// "dd.mm.yy - hh.nn.ss" so that they sort by day within a month and never
// contain a character a file system refuses.
#pragma once

#include <ctime>
#include <string>

#include "archive/zip_status.h"
#include "core/records.h"

namespace quorvane::analysis_text {

std::string timeStamp(std::time_t when);
std::string backupFolderName(std::time_t when);

// General lines.
std::string scanningSystem(const std::string& stamp, const std::string& system, const std::string& folder);
std::string fixingSystem(const std::string& stamp, const std::string& system, const std::string& folder);
std::string rebuildingInto(const std::string& stamp, const std::string& from, const std::string& categoryFolder);
// A scan or fix never creates the folder it works on: an empty new folder
// would report every game missing.
std::string systemFolderMissing(const std::string& system, const std::string& folder);
std::string errorInZip(const std::string& file, ZipStatus status);
std::string catalogueLacksParents(const std::string& system);
inline constexpr const char* kScanCancelled = "Warning: scan terminated by user request.";
inline constexpr const char* kRebuildCancelled = "Warning: rebuild terminated by user request.";
// The closing line of a fix in which steps failed.
std::string stepsFailed(int count);
// Temporary files of a killed run found in `folder`.
std::string leftoverKept(const std::string& folder, const std::string& name);
std::string leftoverRestored(const std::string& folder, const std::string& name, const std::string& restoredAs);

// Findings under a file's node.
std::string cannotBeIdentified(const std::string& name);
std::string identifiedAs(const std::string& name, const RomMatch& match);
std::string shouldBeDeleted(const std::string& name);
std::string corruptDeleted(const std::string& file);
std::string rebuiltTo(const std::string& name, const RomMatch& match);
std::string deleted(const std::string& name);
inline constexpr const char* kNotTorrentZip = "Not a valid TorrentZip archive.";
inline constexpr const char* kErrorCopying = "Error while copying file.";
// A move into the backup folder that failed: the file is where it was.
std::string notMovedToBackup(const std::string& name, const std::string& why);
std::string corruptNotMoved(const std::string& file, const std::string& why);
// A 7z or RAR set that must change is written anew as a zip first.
std::string convertedToZip(const std::string& file, const std::string& zipName);
std::string notConverted(const std::string& file, ZipStatus status);
// A set written in the system's output form, or left as a zip.
std::string outputWritten(const std::string& form, int sets);
std::string outputNotWritten(const std::string& path, const std::string& form, ZipStatus status);

// CHD disk images. A bad header or data chdman found bad is damage, like an
// archive's "Error in zip"; a disk that failed to read says nothing of the image.
std::string errorInDisk(const std::string& file, const std::string& reason);
std::string diskUnreadable(const std::string& file, const std::string& reason);
inline constexpr const char* kChdmanMissing =
    "Warning: chdman (Debian package mame-tools) is not on the PATH: the data of the disk images was not verified.";
std::string diskNotVerified(const std::string& file, const std::string& why);
// A file at a disk's place with other content, put aside to make room.
std::string diskDisplaced(const std::string& path, const std::string& movedTo);
std::string diskNotPlaced(const std::string& file, const std::string& target, const std::string& why);

// A sync of the run's changes failed: they are made, but a power cut could undo some.
std::string changesNotSynced(const std::string& reason);

// Information boxes.
std::string folderCannotBeCreated(const std::string& folder);
std::string folderDoesNotExist(const std::string& folder);
std::string romsetScanned(const std::string& system);
inline constexpr const char* kRomsetsScanned = "Romsets have been scanned.";
std::string romsetFixed(const std::string& system);
inline constexpr const char* kRomsetsFixed = "Romset have been fixed.";
std::string romsetNotFullyFixed(const std::string& system, int failedSteps);
std::string romsetsNotFullyFixed(int failedSteps);
inline constexpr const char* kRebuildComplete = "Rebuild complete.";

// Progress captions.
std::string scanCaption(const std::string& system);       // one system, scan and fix
std::string multiSystemCaption(const std::string& system);  // each system of a multi-system job
inline constexpr const char* kScanningSystems = "Scanning systems... ";
inline constexpr const char* kFixingSystems = "Fixing systems...";
std::string rebuildFolderCaption(const std::string& folder);
inline constexpr const char* kRebuildingFiles = "Rebuilding files.";
inline constexpr const char* kInitializing = "Initializing...";

}  // namespace quorvane::analysis_text
