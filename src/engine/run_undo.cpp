#include "engine/run_undo.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "archive/file_ops.h"
#include "core/file_util.h"
#include "engine/run_journal.h"
#include "engine/safe_move.h"

namespace quorvane {

namespace {

struct Action {
    enum class Kind { MoveBack, SetAside, DropKept, MakeFolder, RemoveFolder };
    Kind kind;
    std::string path;
    std::string to;  // MoveBack
};

// The files as they will be once the actions planned so far are taken.
class PlannedFiles {
public:
    std::optional<FileIdentity> at(const std::string& path) {
        if (const auto it = changed_.find(path); it != changed_.end()) return it->second;
        return FileIdentity::of(path);
    }
    bool exists(const std::string& path) { return at(path).has_value(); }
    void move(const std::string& from, const std::string& to) {
        changed_[to] = at(from);
        changed_[from] = std::nullopt;
    }
    void gone(const std::string& path) { changed_[path] = std::nullopt; }
    void made(const std::string& path) { changed_[path] = FileIdentity{}; }

private:
    std::map<std::string, std::optional<FileIdentity>> changed_;
};

bool sameContent(const std::optional<FileIdentity>& a, const std::optional<FileIdentity>& b) {
    return a && b && *a == *b;
}

class Planner {
public:
    Planner(const RunSummary& run, const JournalContents& journal, bool force)
        : journal_(journal), force_(force), runPrefix_(joinPath(run.folder, "")) {}

    // False, with the reasons, when the undo must not start.
    bool plan() {
        std::set<std::string> createdPaths;
        for (const JournalRecord& step : journal_.steps)
            if (step.kind == JournalRecord::Kind::Create || step.kind == JournalRecord::Kind::Link)
                createdPaths.insert(step.kind == JournalRecord::Kind::Create ? step.path : step.other);
        for (auto it = journal_.steps.rbegin(); it != journal_.steps.rend(); ++it) {
            const JournalRecord& step = *it;
            switch (step.kind) {
                case JournalRecord::Kind::Create: setAsideIfThere(step.path); break;
                case JournalRecord::Kind::Link: setAsideIfThere(step.other); break;
                case JournalRecord::Kind::Folder:
                    if (files_.exists(step.path)) add({Action::Kind::RemoveFolder, step.path, {}});
                    break;
                case JournalRecord::Kind::Unfolder:
                    if (!files_.exists(step.path)) {
                        add({Action::Kind::MakeFolder, step.path, {}});
                        files_.made(step.path);
                    }
                    break;
                case JournalRecord::Kind::Rename: undoRename(step, createdPaths.count(step.path) != 0); break;
                case JournalRecord::Kind::Keep: undoKeep(step); break;
                default: break;
            }
        }
        return problems_.empty() || force_;
    }

    const std::vector<Action>& actions() const { return actions_; }
    const std::vector<std::string>& problems() const { return problems_; }

private:
    bool inRunFolder(const std::string& path) const { return path.compare(0, runPrefix_.size(), runPrefix_) == 0; }
    void add(Action action) { actions_.push_back(std::move(action)); }
    void changed(const std::string& path) { problems_.push_back(path + " has changed since the run."); }

    void setAside(const std::string& path) {
        add({Action::Kind::SetAside, path, {}});
        files_.gone(path);
    }
    // What the run made goes, unless it is in the backup folder already.
    void setAsideIfThere(const std::string& path) {
        if (!inRunFolder(path) && files_.exists(path)) setAside(path);
    }

    void undoRename(const JournalRecord& step, bool runMadeSource) {
        const std::optional<FileIdentity> now = files_.at(step.other);
        if (!now) return;  // gone since, or the rename never happened (nothing is lost either way)
        if (*now != *step.identity) {
            // Not the file the run put there: the rename never happened, or
            // someone has since replaced it.
            if (sameContent(files_.at(step.path), step.identity)) return;
            changed(step.other);
            setAside(step.other);
            return;
        }
        if (runMadeSource) {
            // A file the run wrote under a passing name: it leaves the collection.
            if (!inRunFolder(step.other)) setAside(step.other);
            return;
        }
        if (files_.exists(step.path)) {
            problems_.push_back(step.path + " is in the way of " + step.other + ".");
            setAside(step.path);
        }
        add({Action::Kind::MoveBack, step.other, step.path});
        files_.move(step.other, step.path);
    }

    void undoKeep(const JournalRecord& step) {
        const std::optional<FileIdentity> kept = files_.at(step.other);
        if (!kept) return;  // never kept, or already back
        const std::optional<FileIdentity> now = files_.at(step.path);
        if (now && now->sameFile(*kept)) {
            // The step after the keep never happened: the file is where it was.
            add({Action::Kind::DropKept, step.other, {}});
            files_.gone(step.other);
            return;
        }
        if (now) {
            changed(step.path);
            setAside(step.path);
        }
        add({Action::Kind::MoveBack, step.other, step.path});
        files_.move(step.other, step.path);
    }

    const JournalContents& journal_;
    const bool force_;
    const std::string runPrefix_;
    PlannedFiles files_;
    std::vector<Action> actions_;
    std::vector<std::string> problems_;
};

std::string journalPathOf(const std::string& runFolder) { return joinPath(runFolder, kJournalName); }

}  // namespace

std::vector<RunSummary> listRuns(const std::string& backupDir) {
    std::vector<RunSummary> runs;
    DIR* dir = ::opendir(backupDir.empty() ? "." : backupDir.c_str());
    if (!dir) return runs;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string folder = absolutePath(joinPath(backupDir, name));
        const std::optional<JournalContents> journal = readJournal(journalPathOf(folder));
        if (!journal) continue;
        runs.push_back({name, folder, journal->started, journal->command, journal->systems, journal->steps.size(),
                        journal->done, journal->undone});
    }
    ::closedir(dir);
    std::sort(runs.begin(), runs.end(), [](const RunSummary& a, const RunSummary& b) {
        return a.started != b.started ? a.started < b.started : a.id < b.id;
    });
    return runs;
}

UndoResult undoRun(const RunSummary& run, bool force) {
    UndoResult result;
    const std::optional<JournalContents> journal = readJournal(journalPathOf(run.folder));
    if (!journal) {
        result.messages.push_back("Cannot read the journal of " + run.folder + ".");
        return result;
    }
    Planner planner(run, *journal, force);
    const bool go = planner.plan();
    result.messages = planner.problems();
    if (!go) {
        result.outcome = UndoResult::Outcome::Refused;
        return result;
    }
    FileOps& ops = fileOps();
    const std::string undoneFolder = joinPath(run.folder, kUndoneFolderName);
    for (const Action& action : planner.actions()) {
        int rc = 0;
        std::string to = action.to;
        switch (action.kind) {
            case Action::Kind::MoveBack:
                rc = ops.renameNoReplace(action.path, action.to);
                if (rc == 0) {
                    ops.syncFolder(dirName(action.to));
                    ops.syncFolder(dirName(action.path));
                }
                break;
            case Action::Kind::SetAside:
                rc = ops.makeFolderPath(undoneFolder);
                if (rc == 0) rc = moveIntoFolder(action.path, undoneFolder, baseName(action.path), &to);
                if (rc == 0) appendToJournal(journalPathOf(run.folder), {JournalRecord::Kind::SetAside, action.path, to});
                break;
            case Action::Kind::DropKept: rc = ops.remove(action.path); break;
            case Action::Kind::MakeFolder: rc = ops.makeFolderPath(action.path); break;
            case Action::Kind::RemoveFolder:
                // A folder someone has since put files in stays.
                if (ops.removeFolder(action.path) == 0) ops.syncFolder(dirName(action.path));
                break;
        }
        if (rc != 0) {
            result.messages.push_back("Undo stopped: cannot move " + action.path + (to.empty() ? "" : " to " + to) +
                                      ": " + std::strerror(errno) + ". Run undo again to go on.");
            return result;
        }
        if (action.kind == Action::Kind::MoveBack) ++result.restored;
        if (action.kind == Action::Kind::SetAside) ++result.setAside;
    }
    JournalRecord undone;
    undone.kind = JournalRecord::Kind::Undone;
    undone.when = std::time(nullptr);
    if (!appendToJournal(journalPathOf(run.folder), undone)) {
        result.messages.push_back("Cannot mark " + run.folder + " as undone.");
        return result;
    }
    result.outcome = UndoResult::Outcome::Undone;
    return result;
}

}  // namespace quorvane
