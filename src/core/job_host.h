// How a job talks to the person. Every long job runs on its own thread and
// reports only through a JobHost; each call returns once the front end has
// handled it, so what the person sees keeps the job's order exactly.
//
// Implementations: the desktop program (each call runs on the GUI thread), the
// console of the command line, and the recording host of the tests.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/records.h"

namespace quorvane {

struct JobReport;

struct DupesAnswer {
    DuplicatePolicy behaviour;
    std::vector<std::string> selectedGames;  // "Only rebuild selected" only
};

class JobHost {
public:
    virtual ~JobHost() = default;

    // --- progress -------------------------------------------------------
    // Showing the progress from hidden clears a pending cancel request; a job
    // that starts it again while it is still shown keeps the request.
    void startProgress(const std::string& action, int maximum);
    void updateProgress(const std::string& item, int position) { onUpdateProgress(item, position); }
    void setProgressMax(int maximum) { onSetProgressMax(maximum); }
    void closeProgress();
    bool progressVisible() const { return progressVisible_; }

    // Written by the front end (Cancel), polled by the job before each item.
    bool cancelRequested() const { return cancel_.load(std::memory_order_relaxed); }
    void requestCancel() { cancel_.store(true, std::memory_order_relaxed); }

    // --- messages -------------------------------------------------------
    // A general line; the front end shows it followed by a line "--".
    virtual void addMessage(const std::string& text) = 0;
    // A new top-level node of the per-file tree, and a finding under the
    // newest node. FileMessageTree decides when to call which.
    virtual void addFileNode(const std::string& file) = 0;
    virtual void addFileFinding(const std::string& message) = 0;
    virtual void clearFileTree() = 0;

    // --- questions and notices ------------------------------------------
    virtual void showInformation(const std::string& text) = 0;
    // Warning box with Yes and Ignore; true only for Yes.
    virtual bool askYesIgnore(const std::string& text) = 0;
    // Warning box with Yes and Abort; true only for Yes.
    virtual bool askYesAbort(const std::string& text) = 0;
    // The duplicate dialog: one file matched several ROMs. Blocks until the
    // person has answered.
    virtual DupesAnswer askDuplicates(const std::string& fileName, const std::string& archivePath,
                                      const std::vector<RomMatch>& matches) = 0;

    // --- outcome ----------------------------------------------------------
    // What the job did, counted as it went (scan, fix, rebuild, identify):
    // handed over once, at the end, before the job's closing notice.
    // By value: the hosts that keep the report take it over.
    virtual void addReport(std::shared_ptr<const JobReport> /*report*/) {}  // NOLINT(performance-unnecessary-value-param)
    // A step of the job failed; the job has said so to the person and goes
    // on with the rest. A front end ends the job as failed when any did.
    void countFailedStep() { failedSteps_.fetch_add(1, std::memory_order_relaxed); }
    int failedSteps() const { return failedSteps_.load(std::memory_order_relaxed); }

protected:
    virtual void onStartProgress(const std::string& action, int maximum) = 0;
    virtual void onUpdateProgress(const std::string& item, int position) = 0;
    virtual void onSetProgressMax(int maximum) = 0;
    virtual void onCloseProgress() = 0;

private:
    std::atomic<bool> cancel_{false};
    std::atomic<int> failedSteps_{0};
    bool progressVisible_ = false;
};

// Places findings under one node per file: a new node whenever the file
// changes, and a finding only when it differs from the previous finding of
// the same node (one file's identical consecutive findings appear once).
class FileMessageTree {
public:
    explicit FileMessageTree(JobHost& host) : host_(host) {}
    void post(const std::string& currentFile, const std::string& message);
    // Starts over (after the tree was cleared).
    void reset();

private:
    JobHost& host_;
    bool hasNode_ = false;
    std::string nodeText_;
    std::string lastMessage_;
};

}  // namespace quorvane
