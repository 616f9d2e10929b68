#include "engine/folder_job.h"

#include <ctime>

#include "archive/zip_status.h"
#include "core/file_util.h"
#include "core/names.h"
#include "engine/analysis_text.h"
#include "engine/folder_listing.h"

namespace quorvane {

namespace {
// Fast enough to look alive, slow enough that a folder of small archives is
// not held up by its own progress bar.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);
}  // namespace

FolderJob::FolderJob(std::shared_ptr<Catalogue> db, JobHost& host, Settings settings,
                             AnalysisOptions options)
    : db_(std::move(db)), host_(host), settings_(std::move(settings)), options_(options), tree_(host) {}

void FolderJob::showProgress() {
    const auto now = std::chrono::steady_clock::now();
    const bool edge = fileIndex == 0 || fileIndex + 1 >= fileCount;
    if (!edge && now - lastProgress_ < kProgressInterval) return;
    lastProgress_ = now;
    host_.updateProgress(currentFile, fileIndex);
}

void FolderJob::clearMessages() {
    host_.clearFileTree();
    tree_.reset();
}

void FolderJob::eachSystem(const std::vector<std::string>& systems, const std::function<void()>& oneSystem) {
    for (const std::string& name : systems) {
        if (cancelled()) break;
        systemName = name;
        postMessage(analysis_text::scanningSystem(analysis_text::timeStamp(std::time(nullptr)), name));
        host().startProgress(analysis_text::multiSystemCaption(name), 0);
        std::string refusal;
        // A folder that cannot be made is worked on as an empty one: every
        // ROM of the system stays missing.
        if (!openSystemFolder(&refusal) && folder.empty()) postMessage(refusal);
        setProgressRange();
        oneSystem();
    }
}

void FolderJob::finishJob(const std::string& text) {
    host_.closeProgress();
    host_.showInformation(text);
    host_.showSystemGames(systemName);
}

bool FolderJob::openSystemFolder(std::string* refusal) {
    fileList.clear();
    leftoverLines.clear();
    tested_.clear();
    folder.clear();
    bool ok = false;
    if (!isSafeFileName(systemName)) {
        if (refusal) *refusal = unsafeNameMessage("System", systemName);
    } else {
        folder = resolveSystemFolder(settings_, systemName, &ok);
        if (ok) {
            leftoverLines = recoverLeftovers(folder);
            fileList = listPlainFiles(folder);
        }
        else if (refusal) *refusal = analysis_text::folderCannotBeCreated(folder);
    }
    fileCount = static_cast<int>(fileList.size());
    return ok;
}

std::string FolderJob::pathOf(size_t index) const { return joinPath(folder, fileList[index]); }

RomFinder FolderJob::finder() {
    return [this](std::vector<GenericRom>& found, const std::string& crc, const std::string& size,
                  const std::string& md5, const std::string& sha1) { db_->findRom(found, crc, size, md5, sha1); };
}

void FolderJob::eachListedFile(bool test, const std::function<void(size_t index, LoadedItem& item)>& visit) {
    // The loader reads the paths while it runs: they must outlive it.
    const std::vector<std::string> paths = listedPaths();
    const LoadOptions opts = loadOptions(test);
    auto loader = std::make_unique<OrderedLoader>(
        paths.size(),
        [&paths, opts](size_t i, LoadedItem& out) {
            out.stamp = stampOf(paths[i]);
            out.collection = FileCollection(paths[i]);
            out.status = loadCollection(out.collection, opts);
        },
        options_.loadThreads);
    LoadedItem item;
    for (size_t i = 0; i < fileList.size(); ++i) {
        if (cancelled()) break;
        currentFile = fileList[i];
        fileIndex = static_cast<int>(i);
        showProgress();
        loader->next(item);
        visit(i, item);
    }
}

std::vector<std::string> FolderJob::listedPaths() const {
    std::vector<std::string> paths;
    paths.reserve(fileList.size());
    for (size_t i = 0; i < fileList.size(); ++i) paths.push_back(pathOf(i));
    return paths;
}

bool FolderJob::prepareSystemFolder(const std::string& caption) {
    std::string refusal;
    if (!openSystemFolder(&refusal)) {
        host().showInformation(refusal);
        return false;
    }
    host().startProgress(caption, fileCount);
    host().updateProgress(analysis_text::kInitializing, 0);
    setProgressRange();
    return true;
}

void FolderJob::firstPass(bool reportErrors) {
    for (const std::string& line : leftoverLines) postMessage(line);
    leftoverLines.clear();
    tested_.assign(fileList.size(), {});
    const RomFinder find = finder();
    eachListedFile(true, [&](size_t i, LoadedItem& item) {
        tested_[i] = {item.stamp, item.status};
        if (!zipTestPassed(item.status)) {
            if (reportErrors) postMessage(analysis_text::errorInZip(currentFile, item.status));
            return;
        }
        for (File& f : item.collection.files) {
            for (const GenericRom& r : identifyFile(f, find)) {
                if (isInPlace(r, systemName, currentFile, f.name)) db_->setHave(f.crc, f.size, r.name, r.game, r.system);
            }
        }
    });
}

int FolderJob::reload(size_t index, FileCollection& collection, bool test) {
    if (test && index < tested_.size() && tested_[index].stamp.valid &&
        stampOf(collection.path) == tested_[index].stamp) {
        if (!zipTestPassed(tested_[index].status)) return tested_[index].status;
        test = false;
    }
    return loadCollection(collection, loadOptions(test));
}

}  // namespace quorvane
