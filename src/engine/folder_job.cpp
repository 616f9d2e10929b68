#include "engine/folder_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <thread>

#include "archive/chd_header.h"
#include "archive/plain_directory.h"
#include "archive/zip_status.h"
#include "core/file_util.h"
#include "core/names.h"
#include "engine/analysis_text.h"
#include "engine/folder_listing.h"
#include "engine/folder_stamps.h"
#include "engine/set_conversion.h"

namespace quorvane {

namespace {
// Fast enough to look alive, slow enough that a folder of small archives is
// not held up by its own progress bar.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);
// Files a test loads ahead while the job prepares (its statuses, the CRC
// table, the last scan's cache): a listing each. Much further ahead, the
// job finds them gone from the processor's caches and takes longer.
constexpr size_t kLoadAheadWhilePreparing = 1536;
// Below this many files a helper thread costs about what it saves.
constexpr size_t kStampsWorthAHelper = 1024;

ScanCache::Kind kindOf(const ContainerFiles& collection) {
    if (collection.isPacked) return ScanCache::Kind::Packed;
    return collection.isZip ? ScanCache::Kind::Zip : ScanCache::Kind::Loose;
}

// Fills `collection` as loadCollection would have from a listing it made.
bool fillFromListing(ScanCache::Kind kind, const std::string& listing, ContainerFiles& collection) {
    if (!decodeListing(listing, collection.files)) return false;
    collection.isPacked = kind == ScanCache::Kind::Packed;
    collection.isZip = kind == ScanCache::Kind::Zip;
    return true;
}

// Whether the archive's own directory lists the entries `recorded` was
// filled with from a record: the same names, sizes and CRCs, in order. A
// loose file has no listing beyond its stamp, and a packed archive is
// listed only by reading it whole: the stamp stands for them.
bool listsAsRecorded(const ContainerFiles& recorded, const FileStamp& stamp) {
    if (!recorded.isZip) return true;
    auto same = [&recorded](const auto& entries, auto skip) {
        size_t k = 0;
        for (const auto& e : entries) {
            if (skip(e)) continue;
            if (k == recorded.files.size()) return false;
            const File& r = recorded.files[k++];
            if (e.name != r.name || e.size != r.size || e.crc != r.crc) return false;
        }
        return k == recorded.files.size();
    };
    // Most archives: the directory from a few KiB at the file's end.
    PlainDirectory plain;
    if (listPlainArchive(fileOps(), recorded.path, static_cast<uint64_t>(stamp.size), plain))
        return same(plain.entries, [](const ZipEntry& e) { return isFolderEntry(e); });
    ContainerFiles now(recorded.path);
    return zipTestPassed(loadCollection(now, LoadOptions{.test = false})) && now.isZip &&
           same(now.files, [](const File&) { return false; });
}

}  // namespace

std::string SystemFolder::pathOf(size_t index) const { return joinPath(path, files[index]); }

std::vector<std::string> SystemFolder::paths() const {
    std::vector<std::string> out;
    out.reserve(files.size());
    for (size_t i = 0; i < files.size(); ++i) out.push_back(pathOf(i));
    return out;
}

FolderJob::FolderJob(std::shared_ptr<Catalogue> db, JobHost& host, Settings settings,
                     std::vector<std::string> systems, bool oneChosen, AnalysisOptions options)
    : db_(std::move(db)),
      host_(host),
      settings_(std::move(settings)),
      placements_(*db_, settings_),
      options_(options),
      systems_(std::move(systems)),
      oneChosen_(oneChosen && systems_.size() == 1),
      systemName_(oneChosen_ ? systems_.front() : std::string()),
      tree_(host) {}

void FolderJob::setCurrentFile(size_t index, const std::string& name) {
    currentFile_ = name;
    fileIndex_ = static_cast<int>(index);
}

void FolderJob::setFileCount(size_t count) {
    fileCount_ = static_cast<int>(count);
    host_.setProgressMax(fileCount_);
}

void FolderJob::showProgress() {
    const auto now = std::chrono::steady_clock::now();
    const bool edge = fileIndex_ == 0 || fileIndex_ + 1 >= fileCount_;
    if (!edge && now - lastProgress_ < kProgressInterval) return;
    lastProgress_ = now;
    host_.updateProgress(currentFile_, fileIndex_);
}

void FolderJob::clearMessages() {
    host_.clearFileTree();
    tree_.reset();
}

bool FolderJob::prepareSystems(const std::string& oneCaption, const std::string& listCaption) {
    if (!oneChosen_) {
        host_.startProgress(listCaption, 0);
        host_.updateProgress(analysis_text::kInitializing, 0);
        return true;
    }
    bool opened = false;
    std::string refusal;
    chosen_ = openSystemFolder(systemName_, opened, refusal);
    if (!opened) {
        chosen_.reset();
        host_.showInformation(refusal);
        return false;
    }
    host_.startProgress(oneCaption, static_cast<int>(chosen_->files.size()));
    host_.updateProgress(analysis_text::kInitializing, 0);
    setFileCount(chosen_->files.size());
    return true;
}

void FolderJob::eachSystem(const std::function<void(SystemFolder&)>& work) {
    if (oneChosen_) {
        if (!chosen_) {
            // Not prepared: list the folder now, as prepareSystems would have.
            bool opened = false;
            std::string refusal;
            chosen_ = openSystemFolder(systemName_, opened, refusal);
            if (!opened) {
                postMessage(refusal);
                failStep();
                return;
            }
            setFileCount(chosen_->files.size());
        }
        workOnSystem(*chosen_, work);
        return;
    }
    for (const std::string& name : systems_) {
        if (cancelled()) break;
        systemName_ = name;
        host_.startProgress(analysis_text::multiSystemCaption(name), 0);
        bool opened = false;
        std::string refusal;
        SystemFolder system = openSystemFolder(name, opened, refusal);
        // A system whose folder is not there is left as it was, and the run says so.
        if (!opened) {
            postMessage(refusal);
            failStep();
            continue;
        }
        setFileCount(system.files.size());
        workOnSystem(system, work);
    }
}

void FolderJob::runJournaled(const std::string& runFolder, const std::string& command,
                             const std::function<void()>& work) {
    JournaledRun run(runFolder, command, RunSyncs::Batched);
    journal_ = &run;
    work();
    journal_ = nullptr;
    if (const int error = run.finishSyncs(); error != 0) {
        postMessage(analysis_text::changesNotSynced(std::strerror(error)));
        failStep();
    }
}

void FolderJob::workOnSystem(SystemFolder& system, const std::function<void(SystemFolder&)>& work) {
    if (journal_) journal_->noteSystem(system.name);
    SystemReport& counts = report_->systems.emplace_back();
    counts.system = system.name;
    counts.folder = system.path;
    const int failedBefore = failedSteps_;
    if (placements_.layoutOf(system.name).lacksParents()) postMessage(analysis_text::catalogueLacksParents(system.name));
    gamesCounted_ = false;
    work(system);
    counts.stepsFailed = failedSteps_ - failedBefore;
    // The catalogue as the job left it, a game's letters at a time: a big
    // system's records would not fit in memory at once.
    if (!gamesCounted_) db_->forEachGameStatus(system.name, gameCounter());
}

std::function<void(std::string_view)> FolderJob::gameCounter() {
    return [this, tally = Game()](std::string_view letters) mutable {
        tally.statusString.assign(letters);
        systemReport().status.add(tally);
    };
}

void FolderJob::postFileMessage(const std::string& text) {
    if (held_) held_->waiting.push_back([this, file = currentFile_, text] { tree_.post(file, text); });
    else tree_.post(currentFile_, text);
}

size_t FolderJob::keepPlace() {
    held_->waiting.emplace_back();
    return held_->firstPlace + held_->waiting.size() - 1;
}

void FolderJob::fillPlace(size_t place, std::function<void()> show) {
    held_->waiting[place - held_->firstPlace] = show ? std::move(show) : [] {};
}

void FolderJob::releaseFindings() {
    // Shown findings name their own files; the job's current one stays.
    const std::string current = currentFile_;
    while (held_ && !held_->waiting.empty() && held_->waiting.front()) {
        std::function<void()> show = std::move(held_->waiting.front());
        held_->waiting.pop_front();
        ++held_->firstPlace;
        // What it shows goes out at once, behind what came before it.
        std::optional<HeldFindings> rest = std::move(held_);
        held_.reset();
        show();
        held_ = std::move(rest);
    }
    if (held_ && held_->waiting.empty()) held_.reset();
    currentFile_ = current;
}

void FolderJob::recordAction(FileAction action) {
    if (held_) {
        held_->waiting.push_back([this, held = std::move(action)]() mutable { recordAction(std::move(held)); });
        return;
    }
    SystemReport& counts = systemReport();
    counts.fix.add(action.kind);
    counts.actions.push_back(std::move(action));
}

JobResult FolderJob::finishJob(const std::string& text) {
    host_.closeProgress();
    report_->cancelled = cancelled();
    report_->sumSystems();
    host_.addReport(report_);
    host_.showInformation(text);
    return {JobResult::Refresh::SystemGames, systemName_};
}

SystemFolder FolderJob::openSystemFolder(const std::string& name, bool& opened, std::string& refusal) {
    SystemFolder system;
    system.name = name;
    opened = false;
    if (!isSafeFileName(name)) {
        refusal = unsafeNameMessage("System", name);
        return system;
    }
    system.path = systemFolderPath(settings_, name);
    if (!isDirectory(system.path)) {
        refusal = analysis_text::systemFolderMissing(name, system.path);
        return system;
    }
    opened = true;
    beforeListing(name, system.path);
    // One read of the folder, and a second only when a leftover was found:
    // putting one back changes what the folder holds.
    FolderNames listed = listFolder(system.path);
    if (!listed.leftovers.empty()) {
        system.leftoverLines = recoverLeftovers(system.path, listed.leftovers);
        listed = listFolder(system.path);
    }
    system.files = std::move(listed.files);
    // Disk images have a pass of their own that reads their headers only:
    // loading one as a loose file would read gigabytes.
    const size_t plainFiles = system.files.size();
    std::erase_if(system.files, [](const std::string& file) { return looksLikeChd(file); });
    system.mayHoldDisks = listed.hasOthers || system.files.size() != plainFiles;
    return system;
}

RomLookup FolderJob::finder() { return placements_.lookup(); }

void FolderJob::identify(const ContainerFiles& container, File& file, const RomLookup& find,
                         std::optional<FoundRows> rows, std::vector<RomMatch>& matches) {
    matches.clear();
    if (rows && placements_.recall(*rows, matches)) return;
    identifyFile(container, file, find, matches);
}

bool SystemFolder::reuseListing(size_t index, ContainerFiles& collection) const {
    return index < tested.size() && !tested[index].listingKept().empty() &&
           fillFromListing(tested[index].kind, tested[index].listingKept(), collection);
}

bool SystemFolder::reuseFirstPass(size_t index, ContainerFiles& collection, const FileStamp& now) const {
    if (index >= tested.size() || tested[index].listingKept().empty() || !tested[index].stamp.valid ||
        !(now == tested[index].stamp))
        return false;
    return fillFromListing(tested[index].kind, tested[index].listingKept(), collection);
}

void FolderJob::eachListedFile(const SystemFolder& system, bool test,
                               const std::function<void(size_t index, LoadedItem& item)>& visit, const ScanCache* known,
                               PlacedFiles placed, const std::function<void()>& whileLoading) {
    auto allInPlace = [&system](size_t i) { return i < system.tested.size() && system.tested[i].allInPlace; };
    const bool withoutPlaced = !test && placed != PlacedFiles::Listed;
    const bool skipping = !test && placed == PlacedFiles::Skipped;
    const bool keepListings = test && system.keepListings;
    // Open for as long as the loader runs: each file's stamp is taken, and
    // each zip opened, by its name alone.
    struct FolderHandle {
        int fd;
        ~FolderHandle() {
            if (fd >= 0) ::close(fd);
        }
    };
    const FolderHandle folder{system.path.empty() ? -1 : ::open(system.path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)};
    LoadOptions opts = loadOptions(test);
    opts.folder = folder.fd;
    auto stampOfFile = [&](size_t i) {
        return folder.fd >= 0 ? stampAt(folder.fd, system.files[i]) : stampOf(system.pathOf(i));
    };
    // Fills `out` from the cache's record of file `i` when it was made of
    // the file as it is (`out.stamp`); false otherwise.
    auto fromCache = [&system, known, keepListings](size_t i, LoadedItem& out) {
        // The stamp first: a changed file's record is not worth decoding.
        ScanCache::Glance glance;
        if (!known || !out.stamp.valid || !known->glance(system.files[i], glance, i) || !(glance.stamp == out.stamp))
            return false;
        std::shared_ptr<const ScanCache::Record> shared = known->share(system.files[i], i);
        if (!shared) return false;
        const ScanCache::Record* r = shared.get();
        // Every entry in place under the same catalogue: the rows to mark
        // are known, and nothing else needs the entries (nor the path).
        if (r->allInPlace && keepListings && system.keepRows) {
            out.collection.isPacked = r->kind == ScanCache::Kind::Packed;
            out.collection.isZip = r->kind == ScanCache::Kind::Zip;
            out.placed = std::move(shared);
            return true;
        }
        if (out.collection.path.empty()) out.collection.path = system.pathOf(i);
        if (!fillFromListing(r->kind, r->listing, out.collection)) {
            out.collection = ContainerFiles(out.collection.path);
            return false;
        }
        if (keepListings) out.listing = r->listing;
        // Rows for another listing than this are no use.
        if (r->found.size() == out.collection.files.size()) out.found = r->found;
        return true;
    };

    // A fix acts on the entries of the archives it changes, and believes
    // only their own directories for them; one whose entries were all in
    // place it leaves alone (a copy into it reads it again), so its record
    // stands for it as it does for a scan.
    auto needsNoConfirming = [&system, known](size_t i, const FileStamp& stamp) {
        ScanCache::Glance glance;
        return stamp.valid && known->glance(system.files[i], glance, i) && glance.stamp == stamp && glance.allInPlace;
    };
    const bool stampWhenOpened = test && (!known || known->empty());
    // A listing to confirm costs a directory read: worth a loader thread.
    const bool confirming = test && known && system.confirmCachedListings;
    // With a cache, the files it holds are taken from it here, first: for
    // a stat and a lookup, a loader thread costs more than it saves. The
    // others are left to the loader with their stamps (a file that changes
    // before it is read then has another stamp than its record).
    std::vector<std::optional<LoadedItem>> cached;
    std::vector<FileStamp> stamped;
    if (test && known && !known->empty()) {
        // The stat calls are most of it: a helper takes some beside this thread.
        FolderStamps stamps(system.path, system.files);
        const bool helped =
            options_.loadThreads != OrderedLoader::kOnCallingThread && system.files.size() >= kStampsWorthAHelper;
        std::jthread helper;
        if (helped) helper = std::jthread([&stamps] { stamps.take(); });
        const std::vector<FileStamp>& taken = stamps.all([this](size_t) { return !cancelled(); });
        if (helper.joinable()) helper.join();
        cached.resize(system.files.size());
        stamped.resize(system.files.size());
        // Each file's record is decoded apart from the others': the helper
        // takes the second half.
        auto takeFromCache = [&](size_t from, size_t to) {
            for (size_t i = from; i < to && !cancelled(); ++i) {
                LoadedItem item;
                // The record says what kind of file it is: the name need not.
                item.stamp = taken[i].valid ? taken[i] : stampOfFile(i);
                if (confirming && !needsNoConfirming(i, item.stamp)) {
                    stamped[i] = item.stamp;
                    continue;
                }
                if (fromCache(i, item)) cached[i] = std::move(item);
                else stamped[i] = item.stamp;
            }
        };
        const size_t half = helped ? system.files.size() / 2 : system.files.size();
        if (helped) helper = std::jthread(takeFromCache, half, system.files.size());
        takeFromCache(0, half);
        if (helper.joinable()) helper.join();
    }
    auto isCached = [&cached](size_t i) { return i < cached.size() && cached[i]; };
    // The files the loader takes, by their index in the listing.
    std::vector<size_t> taken;
    for (size_t i = 0; i < system.files.size(); ++i)
        if (!isCached(i) && !(skipping && allInPlace(i))) taken.push_back(i);
    auto loader = std::make_unique<OrderedLoader>(
        taken.size(),
        [&](size_t at, LoadedItem& out) {
            const size_t i = taken[at];
            out.collection = ContainerFiles(system.pathOf(i));
            if (withoutPlaced && allInPlace(i)) {
                out.collection.isPacked = system.tested[i].kind == ScanCache::Kind::Packed;
                out.collection.isZip = system.tested[i].kind == ScanCache::Kind::Zip;
                return;
            }
            // The first pass writes `tested` while its own loader runs: only later passes read it.
            // A scan changes no file, so its later pass takes each listing as the first pass found it.
            if (!opts.test && system.keepListings && system.reuseListing(i, out.collection)) return;
            // With no record to compare it with, the test takes the stamp as it opens the file.
            if (!stampWhenOpened) {
                out.stamp = i < stamped.size() && stamped[i].valid ? stamped[i] : stampOfFile(i);
                if (!opts.test && system.reuseFirstPass(i, out.collection, out.stamp)) return;
                if (opts.test && fromCache(i, out)) {
                    if (!confirming || listsAsRecorded(out.collection, out.stamp)) return;
                    out.collection = ContainerFiles(system.pathOf(i));
                    out.listing.clear();
                    out.found.clear();
                }
            }
            out.status = loadCollection(out.collection, opts, stampWhenOpened ? &out.stamp : nullptr);
            if (zipTestPassed(out.status) && (keepListings || (opts.test && out.collection.isPacked)))
                out.listing = encodeListing(out.collection.files);
        },
        // A later pass that kept every sound file's listing only looks at
        // each file's stamp: handing that to threads would cost more than it.
        !test && system.keepListings ? OrderedLoader::kOnCallingThread : options_.loadThreads,
        test ? kLoadAheadWhilePreparing : 0);
    // The job's preparation overlaps the first loads, which may run that far ahead.
    if (whileLoading) whileLoading();
    // Each file tested is identified: a ROM lookup or more apiece.
    if (test) db_->expectCrcLookups(taken.size());
    LoadedItem item;
    size_t next = 0;
    for (size_t i = 0; i < system.files.size(); ++i) {
        if (cancelled()) break;
        setCurrentFile(i, system.files[i]);
        showProgress();
        if (isCached(i)) {
            visit(i, *cached[i]);
            cached[i].reset();
            continue;
        }
        if (next >= taken.size() || taken[next] != i) continue;  // skipped
        ++next;
        loader->next(item);
        visit(i, item);
    }
}

std::string FolderJob::catalogueStamp() {
    std::string stamp = db_->rowsStamp();
    if (stamp.empty()) return stamp;
    // Where a match is placed depends on every system's merge mode.
    stamp += "modes " + std::to_string(static_cast<int>(settings_.mergeMode));
    for (const auto& [system, mode] : settings_.systemMergeMode)
        stamp += ' ' + system + '=' + std::to_string(static_cast<int>(mode));
    return stamp;
}

ScanCache FolderJob::lastScan(const SystemFolder& system, const std::string& catalogue) {
    return ScanCache::read(ScanCache::pathFor(db_->basePath(), system.name), system.path,
                           {settings_.useMD5, settings_.useSHA1}, catalogue);
}

void FolderJob::firstPass(SystemFolder& system, bool reportErrors, const ScanCache* known,
                          const std::function<void()>& whileLoading) {
    for (const std::string& line : system.leftoverLines) postMessage(line);
    system.leftoverLines.clear();
    firstPassStartNs_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    const RomLookup find = finder();
    std::vector<RomMatch> matches;
    eachListedFile(
        system, true,
        [&](size_t i, LoadedItem& item) {
            SystemFolder::Tested& tested = system.tested[i];
            tested.stamp = item.stamp;
            tested.status = item.status;
            if (!zipTestPassed(item.status)) {
                ++systemReport().archivesUnreadable;
                if (reportErrors) postMessage(analysis_text::errorInZip(currentFile_, item.status));
                return;
            }
            tested.kind = kindOf(item.collection);
            tested.listing = std::move(item.listing);
            if (item.placed) {
                tested.allInPlace = true;
                db_->markRowsAt(item.placed->haveRows, RomStatus::Have);
                tested.placed = std::move(item.placed);
                return;
            }
            const std::vector<File>& files = item.collection.files;
            if (system.keepRows) {
                tested.found.reserve(files.size(), files.size());
                tested.haveRows.reserve(files.size());
            }
            bool allInPlace = true;
            for (size_t k = 0; k < files.size(); ++k) {
                File& f = item.collection.files[k];
                const std::optional<FoundRows> cached =
                    k < item.found.size() ? std::optional(item.found[k]) : std::nullopt;
                if (!cached) {
                    // Most files: found by CRC and size, no match to build.
                    const std::optional<bool> inPlace =
                        placements_.markInPlace(f, system.name, currentFile_, system.keepRows ? &tested.found : nullptr,
                                                system.keepRows ? &tested.haveRows : nullptr);
                    if (inPlace) {
                        allInPlace = allInPlace && *inPlace;
                        continue;
                    }
                }
                identify(item.collection, f, find, cached, matches);
                if (system.keepRows) placements_.addLastRows(tested.found);
                allInPlace = allInPlace && !matches.empty();
                for (size_t m = 0; m < matches.size(); ++m) {
                    if (!isInPlace(matches[m], system.name, currentFile_, f.name)) {
                        allInPlace = false;
                        continue;
                    }
                    placements_.markMatch(m, RomStatus::Have, system.keepRows ? &tested.haveRows : nullptr);
                }
            }
            tested.allInPlace = allInPlace;
        },
        known, PlacedFiles::Listed,
        [&] {
            // Its loaders read no record of the first pass: the records are made while they start.
            system.tested.assign(system.files.size(), {});
            if (whileLoading) whileLoading();
        });
}

ScanCache FolderJob::takeTestedFiles(SystemFolder& system, const ScanCache& known, bool withRows,
                                     const std::string& catalogue) const {
    // Mostly the size of the cache read, a little more for files added
    // since; with none, a generous guess per file: pages of the block that
    // are never written take no memory, and a block grown by doubling holds
    // its old copy and its new one at once.
    constexpr size_t kGuessPerFile = 512, kLargestGuess = size_t{64} << 20;
    const size_t guess = known.empty() ? std::min(system.files.size() * kGuessPerFile, kLargestGuess) : 0;
    const size_t expected =
        std::max<size_t>(static_cast<size_t>(known.fileSize()) + known.fileSize() / 16 + 4096, guess);
    ScanCache::Encoder out(system.path, {settings_.useMD5, settings_.useSHA1}, catalogue, expected);
    const long long settled = firstPassStartNs_ - options_.settleTime.count();
    // Records go in name order; a folder is listed in it.
    std::vector<size_t> order(system.files.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (!std::is_sorted(system.files.begin(), system.files.end()))
        std::sort(order.begin(), order.end(),
                  [&system](size_t a, size_t b) { return system.files[a] < system.files[b]; });
    for (const size_t i : order) {
        const std::string& name = system.files[i];
        SystemFolder::Tested* t = i < system.tested.size() ? &system.tested[i] : nullptr;
        if (t == nullptr || !t->stamp.valid) {
            // Not reached: what the last scan found still holds while the file is unchanged.
            if (const ScanCache::Record* r = known.find(name)) {
                if (withRows) {
                    out.add(name, *r);
                    continue;
                }
                ScanCache::Record kept = *r;
                kept.found.clear();
                kept.allInPlace = false;
                kept.haveRows.clear();
                out.add(name, kept);
            }
            continue;
        }
        if (!zipTestPassed(t->status) || t->listingKept().empty()) continue;
        if (t->stamp.modifiedNs >= settled || t->stamp.changedNs >= settled) continue;
        if (t->placed) {
            if (withRows) out.add(name, *t->placed);
            else out.add(name, {t->stamp, t->kind, t->placed->listing, {}, false, {}});
            continue;
        }
        ScanCache::Record record{t->stamp, t->kind, std::move(t->listing), {}, false, {}};
        // Rows only under the catalogue they were found in; "all in place"
        // means something only with the rows behind it.
        if (withRows && !t->found.empty()) {
            record.found = std::move(t->found);
            record.allInPlace = t->allInPlace;
            if (t->allInPlace) record.haveRows = std::move(t->haveRows);
        } else if (withRows) {
            // Tested without rows of its own (a fix keeps none): the last
            // scan's hold for the very file and listing it recorded.
            if (foundAsRecorded(known, name, i, record.stamp, record.kind, record.listing)) {
                if (const std::shared_ptr<const ScanCache::Record> r = known.share(name, i)) {
                    out.add(name, *r);
                    continue;
                }
            }
        }
        out.add(name, record);
    }
    return std::move(out).finish();
}

bool FolderJob::foundAsRecorded(const ScanCache& known, const std::string& name, size_t hint, const FileStamp& stamp,
                                ScanCache::Kind kind, std::string_view listing) {
    ScanCache::Glance glance;
    return known.glance(name, glance, hint) && glance.stamp == stamp && glance.kind == kind &&
           glance.listing == listing;
}

void FolderJob::applyOutputForms() {
    std::map<ArchiveOutput, int> written;
    for (const auto& [path, system] : changedSets_) {
        const ArchiveOutput output = settings_.outputFor(system);
        // A set emptied and deleted, or one that is already in another form.
        if (output == ArchiveOutput::Zip || !isRegularFile(path) || !isZipPath(baseName(path))) continue;
        const ZipStatus status = applyOutputForm(path, output);
        if (status == ZipStatus::Ok) {
            ++written[output];
            continue;
        }
        postMessage(analysis_text::outputNotWritten(path, outputFormName(output), status));
        failStep();
    }
    for (const auto& [output, sets] : written) postMessage(analysis_text::outputWritten(outputFormName(output), sets));
    changedSets_.clear();
}

ZipStatus FolderJob::reload(const SystemFolder& system, size_t index, ContainerFiles& collection, bool test) {
    if (system.reuseFirstPass(index, collection)) return ZipStatus::Ok;
    if (test && index < system.tested.size() && system.tested[index].stamp.valid &&
        stampOf(collection.path) == system.tested[index].stamp) {
        if (!zipTestPassed(system.tested[index].status)) return system.tested[index].status;
        test = false;
    }
    return loadCollection(collection, loadOptions(test));
}

}  // namespace quorvane
