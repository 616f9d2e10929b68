// The base of the scan, fix and rebuild jobs: the folder being worked on,
// the file being processed, reporting through the job host, and the first
// pass that scan and fix share.
//
// A job is prepared on the starting thread (prepare()) and its body runs once
// on a worker (execute()); see WorkerJob. Every path is built from an
// explicit folder; the process's working directory is never used.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "core/job_host.h"
#include "core/settings.h"
#include "core/worker_job.h"
#include "engine/file_collection_ops.h"
#include "engine/identification.h"
#include "engine/ordered_loader.h"

namespace quorvane {

struct AnalysisOptions {
    // Threads that list and test archives ahead of the job (0: one per core;
    // OrderedLoader::kOnCallingThread: none, the job loads each file itself).
    unsigned loadThreads = 0;
};

class FolderJob : public WorkerJob {
protected:
    FolderJob(std::shared_ptr<Catalogue> db, JobHost& host, Settings settings, AnalysisOptions options);

    Catalogue& db() { return *db_; }
    JobHost& host() { return host_; }
    const Settings& settings() const { return settings_; }
    bool cancelled() const { return host_.cancelRequested(); }

    // Progress of `currentFile` at `fileIndex`, at a bounded rate (the first
    // and the last file of a list always show).
    void showProgress();
    void setProgressRange() { host_.setProgressMax(fileCount); }
    void postMessage(const std::string& text) { host_.addMessage(text); }
    // A finding under `currentFile`'s node; identical consecutive findings of
    // one file appear once.
    void postFileMessage(const std::string& text) { tree_.post(currentFile, text); }
    void clearMessages();
    // Closes the progress, shows `text`, and shows `systemName`'s games.
    void finishJob(const std::string& text);

    // Resolves `systemName`'s folder (created when missing), recovers what
    // a killed run left there (recoverLeftovers) and lists its plain files
    // (the caller sets the progress range). False when the name cannot be a folder name or the folder
    // cannot be created; the listing is then empty. `refusal` receives the
    // text that says why.
    bool openSystemFolder(std::string* refusal = nullptr);
    // The multi-system jobs: each of `systems` in turn until a cancel is
    // announced, its folder opened (one that cannot be made is worked on as
    // an empty one) and `oneSystem` run.
    void eachSystem(const std::vector<std::string>& systems, const std::function<void()>& oneSystem);
    std::string pathOf(size_t index) const;
    // Every listed file's path, in listing order.
    std::vector<std::string> listedPaths() const;
    // The single-system preparation: the folder listed (a notice and false
    // when it cannot be made), the progress shown with `caption`.
    bool prepareSystemFolder(const std::string& caption);

    LoadOptions loadOptions(bool test) const { return {test, settings_.useMD5, settings_.useSHA1}; }
    RomFinder finder();
    // Walks the listed files in order until a cancel, each loaded ahead on the
    // loader's threads (with `test`, each archive tested), showing progress;
    // `visit` gets the file's index in the listing and what was loaded.
    void eachListedFile(bool test, const std::function<void(size_t index, LoadedItem& item)>& visit);

    // Posts the leftover warnings, then lists and tests every file of the
    // folder, marking each ROM found in place as had. `reportErrors`: post "Error in zip" for files that fail.
    void firstPass(bool reportErrors);
    // What the first pass found of a listed file: its load status, or 0 when
    // the pass did not reach it.
    int firstPassStatus(size_t index) const { return index < tested_.size() ? tested_[index].status : 0; }
    // A step failed and has been reported; the job goes on.
    void failStep() {
        ++failedSteps_;
        host_.countFailedStep();
    }
    int failedSteps() const { return failedSteps_; }

    // Loads a file of the listing again. With `test`, an archive tested by the
    // first pass and unchanged since is not read again.
    int reload(size_t index, FileCollection& collection, bool test);

    // Warnings about leftovers of a killed run found by openSystemFolder;
    // firstPass posts them.
    std::vector<std::string> leftoverLines;

    std::string systemName;
    int fileCount = 0;
    int fileIndex = 0;
    std::string currentFile;
    std::string folder;                 // the system folder being worked on
    std::vector<std::string> fileList;  // its plain files, by name

private:
    struct TestResult {
        FileStamp stamp;
        int status = 0;
    };

    std::shared_ptr<Catalogue> db_;
    JobHost& host_;
    Settings settings_;
    AnalysisOptions options_;
    FileMessageTree tree_;
    std::vector<TestResult> tested_;
    std::chrono::steady_clock::time_point lastProgress_{};
    int failedSteps_ = 0;
};

}  // namespace quorvane
