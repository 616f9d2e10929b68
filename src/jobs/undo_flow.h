// Taking a run back, as the front ends do it: which run, what they say of
// it, the questions before and after the undo, and the catalogue statuses
// that the undo made untrue. The desktop asks through its job host; the
// command line shares the texts, the choice of run and the clearing.
#pragma once

#include <string>
#include <vector>

#include "engine/run_undo.h"

namespace quorvane {

class Catalogue;
class JobHost;

// The run's systems, ", "-separated; "-" when it names none.
std::string runSystemsText(const RunSummary& run);
// "done", "stopped" (killed part way) or "undone".
const char* runStateText(const RunSummary& run);
// The confirmation: "Undo the fix of <folder name> (Sys, 12 steps)?".
std::string undoQuestion(const RunSummary& run);
// "There is no run <id> in <backup folder>."
std::string noSuchRunText(const std::string& id, const std::string& backupDir);
// "The run <folder name> has been undone already."
std::string alreadyUndoneText(const RunSummary& run);
// Where undo keeps what it takes out of the collection.
std::string undoneFolderOf(const RunSummary& run);
// "Undone: 3 files put back, 2 set aside in <folder>."
std::string undoneText(const RunSummary& run, const UndoResult& result);

// The newest run not undone yet; nullptr when there is none. `runs` oldest
// first, as listRuns gives them.
const RunSummary* lastRunToUndo(const std::vector<RunSummary>& runs);
// The run whose folder is named `id`; nullptr when there is none.
const RunSummary* runNamed(const std::vector<RunSummary>& runs, const std::string& id);

// Clears the statuses of the run's systems that `catalogue` has, the way
// clean does: what it said of them is no longer true. Returns those systems.
std::vector<std::string> clearStatusesOfRun(Catalogue& catalogue, const RunSummary& run);

struct UndoConversation {
    enum class End { Declined, Refused, Undone, Failed };
    End end = End::Declined;
    // The systems whose statuses were cleared (after Undone or Failed).
    std::vector<std::string> clearedSystems;
    bool changedFiles() const { return end == End::Undone || end == End::Failed; }
};

// Asks before undoing `run`; when the undo is refused over files changed
// since, says why and asks again before forcing it. Tells the outcome, and
// clears the statuses once files have moved.
UndoConversation undoWithQuestions(JobHost& host, Catalogue& catalogue, const RunSummary& run);

}  // namespace quorvane
