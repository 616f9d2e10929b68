// What a scan, fix, rebuild or identification did, counted by the job as it
// went: the front ends' summaries and the command line's --json are made
// from it, never by counting the messages again. Plain values only.
#pragma once

#include <string>
#include <vector>

#include "core/records.h"

namespace quorvane {

// One thing a job did to one file.
struct FileAction {
    enum class Kind {
        MovedIntoSet,   // copied into the archive of the set that wants it
        Renamed,        // an archive renamed to its game's name (letter case only)
        MovedToBackup,  // an unwanted file or unreadable archive put into the backup folder
        Added,          // a rebuild copied a source file into a set
        Failed,         // the step did not happen; `error` says why
    };
    Kind kind = Kind::Failed;
    std::string name;       // the file, or the entry of the archive `from`
    std::string from;       // the file or archive it came from
    std::string to;         // the file or archive it went to (empty when failed)
    std::string system;     // the set it was put into, when it was
    std::string game;
    std::string rom;
    std::string error;
};

// "moved into set", "renamed", "moved to backup", "added", "failed".
const char* fileActionName(FileAction::Kind kind);

// The statuses of a system's games and ROMs as a job left them.
struct StatusCounts {
    int gamesComplete = 0;
    int gamesIncomplete = 0;
    int gamesMissing = 0;
    int romsHave = 0;
    int romsMissing = 0;
    int romsElsewhere = 0;

    void add(const Game& game);
    StatusCounts& operator+=(const StatusCounts& other);
};

struct FixCounts {
    int movedIntoSets = 0;
    int renamed = 0;
    int movedToBackup = 0;

    void add(FileAction::Kind kind);
    FixCounts& operator+=(const FixCounts& other);
};

// One system of a scan or fix.
struct SystemReport {
    std::string system;
    std::string folder;
    StatusCounts status;
    int archivesUnreadable = 0;
    // Zip sets checked for TorrentZip (a scan with the check on), and how many were.
    int zipsChecked = 0;
    int torrentZips = 0;
    // CHD disk images found in the folder, and those damaged (a bad header,
    // or data chdman found bad).
    int disksFound = 0;
    int disksDamaged = 0;
    FixCounts fix;
    int stepsFailed = 0;
    std::vector<FileAction> actions;  // in the order taken
};

struct RebuildCounts {
    int gamesCompleted = 0;
    int romsAdded = 0;
    int sourcesUsed = 0;
    int sourcesUnused = 0;
    int stepsFailed = 0;
};

// A game a rebuild added ROMs to.
struct RebuiltGame {
    std::string system;
    Game game;  // as the rebuild left it
};

struct IdentifiedEntry {
    std::string archive;
    std::string entry;
};

// One DAT file of an import: "imported", "not replaced" (the user kept the
// system already there) or "failed".
struct ImportedFile {
    std::string path;
    std::string outcome;
    std::string system;  // empty when the file named none that could be used
    int roms = 0;        // rows stored
};

struct JobReport {
    enum class Command { Scan, Fix, Rebuild, Identify, Import };
    Command command = Command::Scan;
    bool cancelled = false;

    // Scan and fix: one per system worked on, in order; `total` adds them up.
    std::vector<SystemReport> systems;
    SystemReport total;
    std::string backupFolder;  // fix: where unwanted files went

    // Rebuild.
    std::string sourceFolder;  // empty for a list of files
    RebuildCounts rebuild;
    std::vector<RebuiltGame> rebuiltGames;
    std::vector<FileAction> rebuildActions;
    std::vector<std::string> unusedSources;

    // Identify: entries of readable archives that matched a ROM or none.
    int entriesMatched = 0;
    std::vector<IdentifiedEntry> unmatched;
    std::vector<std::string> unreadable;  // the message for each input that could not be read

    // Import: one per file, in order.
    std::vector<ImportedFile> importedFiles;

    // Adds the systems up into `total`.
    void sumSystems();
};

}  // namespace quorvane
