// The runs a backup folder holds journals of, and taking one back.
//
// Undo walks the run's journal from its last step to its first and asks the
// files what became of each: a step the run never took (it was killed
// first) is passed over, a file the run made is set aside in the run's
// "Undone" folder, a file it moved goes back, and a file it replaced or
// removed comes back from its kept copy. The whole plan is checked before
// anything moves: when a file it would restore over has changed since the
// run, nothing is done (unless forced, which sets the newer file aside too).
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace quorvane {

struct RunSummary {
    std::string id;      // the run's folder name in the backup folder
    std::string folder;  // its path
    std::time_t started = 0;
    std::string command;
    std::vector<std::string> systems;
    size_t steps = 0;
    bool finished = false;  // false: killed or still running
    bool undone = false;
};

// Every run with a journal in `backupDir`, oldest first.
std::vector<RunSummary> listRuns(const std::string& backupDir);

struct UndoResult {
    enum class Outcome { Undone, Refused, Failed };
    Outcome outcome = Outcome::Failed;
    std::vector<std::string> messages;  // why it was refused or stopped
    size_t restored = 0;                // files put back
    size_t setAside = 0;                // files the run made, now in the run's "Undone" folder
};

// Takes the run back. `force`: a file changed since the run is set aside
// instead of stopping the undo.
UndoResult undoRun(const RunSummary& run, bool force);

inline constexpr const char* kUndoneFolderName = "Undone";

}  // namespace quorvane
