// The base of the scan, fix and rebuild jobs: the systems worked on, the file
// being processed, reporting through the job host, and the first pass that
// scan and fix share.
//
// A job is prepared on the starting thread (prepare()) and its body runs once
// on a worker (execute()); see WorkerJob. Every path is built from an
// explicit folder; the process's working directory is never used.
//
// Scan and fix take either one chosen system or a list of systems. With one,
// its folder is listed while the job is prepared (a folder that cannot be
// made is a notice and no job) and the texts name it; with a list, each
// folder is opened in turn (one that cannot be made is worked on as an empty
// one) and each system is announced on its own line.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "core/job_host.h"
#include "core/job_report.h"
#include "core/settings.h"
#include "core/worker_job.h"
#include "engine/file_collection_ops.h"
#include "engine/identification.h"
#include "engine/ordered_loader.h"
#include "engine/placements.h"
#include "engine/scan_cache.h"
#include "engine/journaling_file_ops.h"

namespace quorvane {

struct AnalysisOptions {
    // Threads that list and test archives ahead of the job (0: one per core;
    // OrderedLoader::kOnCallingThread: none, the job loads each file itself,
    // and a fix takes its disk steps itself, one after another).
    unsigned loadThreads = 0;
    // A file changed less than this long before its test began is not kept
    // as tested: a change within the file system's clock tick after the
    // test read it would leave its stamp as it was.
    std::chrono::nanoseconds settleTime = std::chrono::seconds(2);
};

// One system's folder as a scan or fix finds it.
struct SystemFolder {
    std::string name;
    std::string path;                        // empty when the name cannot be a folder name
    std::vector<std::string> files;          // its plain files, by name
    std::vector<std::string> leftoverLines;  // what a killed run left there; the first pass posts them
    // Whether the folder may hold disk images: a sub-folder (or what might
    // be one) or a plain file named like one. Without, its disk pass need
    // not read the folder again.
    bool mayHoldDisks = true;

    // What the first pass found of each listed file.
    struct Tested {
        FileStamp stamp;
        ZipStatus status = ZipStatus::Ok;
        ScanCache::Kind kind = ScanCache::Kind::Loose;
        // The file's entries as listed (encodeListing), kept while the file
        // is unchanged so a later pass need not read it again: always for a
        // packed archive, whose listing reads it whole; for every file that
        // passed with `keepListings`.
        std::string listing;
        // With `keepRows`: per listed file, the rows identification found,
        // so a later pass (and the next scan) need not look it up.
        FoundRowLists found;
        // Every entry was identified, and only as a ROM of this very place:
        // what a later pass would say of it does not depend on any status.
        bool allInPlace = false;
        // With `keepRows`: the rows the first pass made "have" for it.
        std::vector<std::uint64_t> haveRows;
        // Taken whole from the scan cache (an unchanged file whose entries
        // were all in place): its listing and rows are the record's.
        std::shared_ptr<const ScanRecord> placed;
        const std::string& listingKept() const { return placed ? placed->listing : listing; }
    };
    std::vector<Tested> tested;
    // Whether the first pass keeps every sound file's listing (scan: its
    // second pass then opens no file again, and the listings are what the
    // scan's cache keeps).
    bool keepListings = false;
    // Whether it also keeps the rows each file was identified as (scan: its
    // second pass and its cache use them; a fix changes the files).
    bool keepRows = false;
    // Whether a zip taken from the scan cache whose entries were not all in
    // place has its directory read and compared with the record first (fix:
    // it acts on the entries listed, so it believes only the last test of
    // their data, never a listing the archive does not have).
    bool confirmCachedListings = false;

    std::string pathOf(size_t index) const;
    // Every listed file's path, in listing order.
    std::vector<std::string> paths() const;
    // The first pass's load status of a listed file, or Ok when it did not reach it.
    ZipStatus firstPassStatus(size_t index) const {
        return index < tested.size() ? tested[index].status : ZipStatus::Ok;
    }
    // Fills `collection` from the first pass's listing of file `index` when
    // one was kept and the file has not changed since; false otherwise.
    bool reuseFirstPass(size_t index, ContainerFiles& collection) const {
        return reuseFirstPass(index, collection, stampOf(collection.path));
    }
    // Fills `collection` from the first pass's listing of file `index`,
    // whatever the file is now; false when none was kept.
    bool reuseListing(size_t index, ContainerFiles& collection) const;
    // The same with the file's stamp as it is now.
    bool reuseFirstPass(size_t index, ContainerFiles& collection, const FileStamp& now) const;
    // The rows the first pass found for file `file` of listed file `index`;
    // nothing when it kept none.
    std::optional<FoundRows> firstPassRows(size_t index, size_t file) const {
        if (index >= tested.size()) return std::nullopt;
        const FoundRowLists& found = tested[index].placed ? tested[index].placed->found : tested[index].found;
        if (file < found.size()) return found[file];
        return std::nullopt;
    }
};

class FolderJob : public WorkerJob {
public:
    // The one system a person chose (scan and fix inherit these two).
    FolderJob(std::shared_ptr<Catalogue> db, JobHost& host, Settings settings, std::string system,
              AnalysisOptions options = {})
        : FolderJob(std::move(db), host, std::move(settings), {std::move(system)}, true, options) {}
    // A list of systems, worked through in order.
    FolderJob(std::shared_ptr<Catalogue> db, JobHost& host, Settings settings, std::vector<std::string> systems,
              AnalysisOptions options = {})
        : FolderJob(std::move(db), host, std::move(settings), std::move(systems), false, options) {}

protected:
    // Scan and fix: `systems` in order; `oneChosen`: the single system a
    // person picked (see above). Rebuild passes no systems.
    FolderJob(std::shared_ptr<Catalogue> db, JobHost& host, Settings settings, std::vector<std::string> systems,
              bool oneChosen, AnalysisOptions options);

    Catalogue& db() { return *db_; }
    // The catalogue under each system's merge mode: every lookup and status
    // update of a ROM goes through it.
    Placements& placements() { return placements_; }
    JobHost& host() { return host_; }
    const Settings& settings() const { return settings_; }
    const AnalysisOptions& analysisOptions() const { return options_; }
    bool cancelled() const { return host_.cancelRequested(); }

    bool oneChosen() const { return oneChosen_; }
    // The chosen system, or the last one worked on (empty before any).
    const std::string& systemName() const { return systemName_; }

    // The file being worked on and its place in the list, for the progress
    // and the findings.
    void setCurrentFile(size_t index, const std::string& name);
    void setCurrentFile(const std::string& name) { currentFile_ = name; }
    const std::string& currentFile() const { return currentFile_; }
    // The length of the list being walked; also the progress's maximum.
    void setFileCount(size_t count);

    // Progress of the current file, at a bounded rate (the first and the last
    // file of a list always show).
    void showProgress();
    void postMessage(const std::string& text) { host_.addMessage(text); }
    // A finding under the current file's node; identical consecutive findings
    // of one file appear once.
    void postFileMessage(const std::string& text);
    // While held, findings and actions wait in the order given; keepPlace()
    // holds the place of a step decided later, and fillPlace() says what it
    // shows. releaseFindings() shows them in order up to the first place
    // not yet filled; holding ends once nothing waits.
    void holdFindings() {
        if (!held_) held_.emplace();
    }
    bool findingsHeld() const { return held_.has_value(); }
    size_t keepPlace();
    void fillPlace(size_t place, std::function<void()> show);
    void releaseFindings();
    void clearMessages();
    // Closes the progress, hands the report to the host and shows `text`;
    // the result shows the games of the system worked on last.
    JobResult finishJob(const std::string& text);

    // What the job did, handed to the host when it ends.
    JobReport& report() { return *report_; }
    std::shared_ptr<const JobReport> reportPointer() const { return report_; }
    // The system being worked on (eachSystem opens one per system).
    SystemReport& systemReport() { return report_->systems.back(); }
    // A file action of the system being worked on, counted in its summary.
    void recordAction(FileAction action);

    // Counts each game's letters (Catalogue::forEachGameStatus) into the
    // system's report. A job that counted them itself sets gamesCounted_,
    // and the system is not walked again.
    std::function<void(std::string_view letters)> gameCounter();
    bool gamesCounted_ = false;

    // Scan's and fix's preparation: with one chosen system its folder listed
    // (a notice and false when it cannot be made) and the progress shown with
    // `oneCaption`; with a list the progress shown with `listCaption`.
    bool prepareSystems(const std::string& oneCaption, const std::string& listCaption);
    // Runs `work` on the chosen system, or on each system of the list in turn
    // until a cancel is announced.
    void eachSystem(const std::function<void(SystemFolder&)>& work);
    // Runs `work` on one system, then counts its games' and ROMs' statuses.
    void workOnSystem(SystemFolder& system, const std::function<void(SystemFolder&)>& work);

    // The identified file, when a copy of it is to leave its copier header
    // out (the "headers" setting); nullptr when it is copied as found.
    const File* headerToRemove(const File& identified) const {
        return settings_.removeHeaders && identified.headerBytes > 0 ? &identified : nullptr;
    }
    LoadOptions loadOptions(bool test) const { return {test, settings_.useMD5, settings_.useSHA1}; }
    RomLookup finder();
    // identifyFile through finder(), or the matches of `rows` (from an
    // earlier identification of the file) when given and still readable;
    // either way placements() then holds them for markMatch. `matches` is
    // emptied first.
    void identify(const ContainerFiles& container, File& file, const RomLookup& find,
                  std::optional<FoundRows> rows, std::vector<RomMatch>& matches);
    // Walks the listed files in order until a cancel, each loaded ahead on the
    // loader's threads (with `test`, each archive tested), showing progress;
    // `visit` gets the file's index in the listing and what was loaded. With
    // `test` and `known`, a file unchanged since `known` recorded its test is
    // taken from there, not read. A later pass (not `test`) may take the
    // files whose entries the first pass found all in place without their
    // entries (only path and kind), or skip them.
    enum class PlacedFiles { Listed, Unlisted, Skipped };
    // `whileLoading` runs once the loader has started, before the first visit.
    void eachListedFile(const SystemFolder& system, bool test,
                        const std::function<void(size_t index, LoadedItem& item)>& visit,
                        const ScanCache* known = nullptr, PlacedFiles placed = PlacedFiles::Listed,
                        const std::function<void()>& whileLoading = {});

    // The catalogue's rows and the merge modes matches are placed by: the
    // scan cache's rows hold while it is the same. Empty when unknown.
    std::string catalogueStamp();
    // The last scan's tests of `system`'s folder as kept beside the
    // catalogue (empty when there are none or they do not hold).
    ScanCache lastScan(const SystemFolder& system, const std::string& catalogue);

    // Posts the leftover warnings, then lists and tests every file of the
    // folder (taking from `known` what it holds of unchanged files), marking
    // each ROM found in place as had. `reportErrors`: post "Error in zip"
    // for files that fail.
    // `whileLoading`: the job's own preparation, done while the first files load.
    void firstPass(SystemFolder& system, bool reportErrors, const ScanCache* known = nullptr,
                   const std::function<void()>& whileLoading = {});
    // What the first pass found of `system`'s files, as a cache for the next
    // scan: each sound file tested long enough after its last change, and
    // what `known` holds of files the pass did not reach (a cancel).
    // Identification rows are kept with the listings when `withRows`: the
    // file's own, or for one tested without rows (a fix's) and found as
    // `known` recorded it, the record's. The listings and rows are moved
    // out of `system.tested`. Made as write() would write it under
    // `catalogue`.
    ScanCache takeTestedFiles(SystemFolder& system, const ScanCache& known, bool withRows,
                              const std::string& catalogue) const;
    // Whether `known` records the file `name` (at `hint` in name order) as
    // tested with this stamp, kind and listing.
    static bool foundAsRecorded(const ScanCache& known, const std::string& name, size_t hint, const FileStamp& stamp,
                                ScanCache::Kind kind, std::string_view listing);
    // A step failed and has been reported; the job goes on.
    void failStep() {
        ++failedSteps_;
        host_.countFailedStep();
    }
    int failedSteps() const { return failedSteps_; }

    // A set this job created or changed, kept in `system`'s folder: when the
    // job is done with it, applyOutputForms gives it that system's output form.
    void noteChangedSet(const std::string& path, const std::string& system) {
        changedSets_[path] = system;
        if (journal_) journal_->noteSystem(system);
    }
    // Gives every set noted so far its system's output form (a set that
    // cannot take it stays a zip, with a warning and a failed step).
    void applyOutputForms();

    // Runs `work` with every change it makes to the user's files recorded in
    // a journal in `runFolder` (created when the first change comes), so the
    // run can be undone.
    void runJournaled(const std::string& runFolder, const std::string& command, const std::function<void()>& work);

    // Loads a file of the listing again. With `test`, an archive tested by the
    // first pass and unchanged since is not read again.
    ZipStatus reload(const SystemFolder& system, size_t index, ContainerFiles& collection, bool test);
    // Called with each system's folder just before it is listed: work that
    // does not need the listing may start meanwhile.
    virtual void beforeListing(const std::string& /*system*/, const std::string& /*path*/) {}

private:
    // Resolves the system's folder (created when missing), recovers what a
    // killed run left there and lists its plain files. Without a folder (the
    // name cannot be a folder name, or it cannot be created) the listing is
    // empty and `refusal` says why.
    SystemFolder openSystemFolder(const std::string& name, bool& opened, std::string& refusal);

    std::shared_ptr<Catalogue> db_;
    JobHost& host_;
    Settings settings_;
    Placements placements_;
    AnalysisOptions options_;
    std::vector<std::string> systems_;
    bool oneChosen_;
    // The chosen system's folder, listed by prepareSystems.
    std::optional<SystemFolder> chosen_;
    std::string systemName_;
    FileMessageTree tree_;
    struct HeldFindings {
        std::deque<std::function<void()>> waiting;  // an empty one: a place not yet filled
        size_t firstPlace = 0;                      // the place of waiting.front()
    };
    std::optional<HeldFindings> held_;
    std::string currentFile_;
    int fileIndex_ = 0;
    int fileCount_ = 0;
    // When the running first pass began (the realtime clock, in ns).
    long long firstPassStartNs_ = 0;
    std::chrono::steady_clock::time_point lastProgress_{};
    int failedSteps_ = 0;
    std::shared_ptr<JobReport> report_ = std::make_shared<JobReport>();
    std::map<std::string, std::string> changedSets_;
    JournaledRun* journal_ = nullptr;  // while runJournaled runs
};

}  // namespace quorvane
