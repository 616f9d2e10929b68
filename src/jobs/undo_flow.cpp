#include "jobs/undo_flow.h"

#include <algorithm>

#include "catalogue/catalogue.h"
#include "core/job_host.h"

namespace quorvane {

namespace {

// A refusal can name every file of a large run: the box shows the first few.
constexpr size_t kMessagesShown = 20;

std::string messageLines(const std::vector<std::string>& messages) {
    std::string text;
    for (size_t i = 0; i < messages.size() && i < kMessagesShown; ++i) text += messages[i] + "\n";
    if (messages.size() > kMessagesShown)
        text += "... and " + std::to_string(messages.size() - kMessagesShown) + " more.\n";
    return text;
}

}  // namespace

std::string runSystemsText(const RunSummary& run) {
    std::string out;
    for (const std::string& name : run.systems) out += (out.empty() ? "" : ", ") + name;
    return out.empty() ? "-" : out;
}

const char* runStateText(const RunSummary& run) {
    if (run.undone) return "undone";
    return run.finished ? "done" : "stopped";
}

std::string undoQuestion(const RunSummary& run) {
    return "Undo the " + run.command + " of " + run.id + " (" + runSystemsText(run) + ", " + std::to_string(run.steps) +
           " steps)?";
}

std::string noSuchRunText(const std::string& id, const std::string& backupDir) {
    return "There is no run " + id + " in " + backupDir + ".";
}

std::string alreadyUndoneText(const RunSummary& run) { return "The run " + run.id + " has been undone already."; }

std::string undoneFolderOf(const RunSummary& run) { return run.folder + "/" + kUndoneFolderName; }

std::string undoneText(const RunSummary& run, const UndoResult& result) {
    return "Undone: " + std::to_string(result.restored) + " files put back, " + std::to_string(result.setAside) +
           " set aside in " + undoneFolderOf(run) + ".";
}

const RunSummary* lastRunToUndo(const std::vector<RunSummary>& runs) {
    const auto it = std::find_if(runs.rbegin(), runs.rend(), [](const RunSummary& run) { return !run.undone; });
    return it == runs.rend() ? nullptr : &*it;
}

const RunSummary* runNamed(const std::vector<RunSummary>& runs, const std::string& id) {
    const auto it = std::find_if(runs.begin(), runs.end(), [&id](const RunSummary& run) { return run.id == id; });
    return it == runs.end() ? nullptr : &*it;
}

std::vector<std::string> clearStatusesOfRun(Catalogue& catalogue, const RunSummary& run) {
    const std::vector<std::string> known = catalogue.getSystems();
    std::vector<std::string> cleared;
    for (const std::string& system : run.systems) {
        if (std::find(known.begin(), known.end(), system) == known.end()) continue;
        if (std::find(cleared.begin(), cleared.end(), system) != cleared.end()) continue;
        catalogue.cleanSystemStatus(system);
        cleared.push_back(system);
    }
    return cleared;
}

UndoConversation undoWithQuestions(JobHost& host, Catalogue& catalogue, const RunSummary& run) {
    UndoConversation conversation;
    if (!host.askYesAbort(undoQuestion(run))) return conversation;
    UndoResult result = undoRun(run, false);
    if (result.outcome == UndoResult::Outcome::Refused) {
        conversation.end = UndoConversation::End::Refused;
        if (!host.askYesAbort(messageLines(result.messages) +
                              "Nothing was changed.\n\nUndo it anyway, keeping the newer files in " +
                              undoneFolderOf(run) + "?"))
            return conversation;
        result = undoRun(run, true);
    }
    // Forced, the undo names the files it set aside: the person was told of them already.
    if (result.outcome == UndoResult::Outcome::Undone) {
        conversation.end = UndoConversation::End::Undone;
        conversation.clearedSystems = clearStatusesOfRun(catalogue, run);
        host.showInformation(undoneText(run, result));
        return conversation;
    }
    if (result.outcome == UndoResult::Outcome::Refused) return conversation;  // forced, it is never refused
    conversation.end = UndoConversation::End::Failed;
    conversation.clearedSystems = clearStatusesOfRun(catalogue, run);
    std::string text = messageLines(result.messages);
    if (!text.empty()) text.pop_back();
    host.showInformation(text);
    return conversation;
}

}  // namespace quorvane
