#include "engine/rebuild_thread.h"

#include <algorithm>

#include "archive/zip_status.h"
#include "core/file_util.h"
#include "core/names.h"
#include "engine/analysis_text.h"
#include "engine/folder_listing.h"

namespace quorvane {

namespace text = analysis_text;

RebuildThread::RebuildThread(std::shared_ptr<RomsDBImpl> db, JobHost& host, Settings settings,
                             std::string sourceFolder, AnalysisOptions options)
    : analyzeThread(std::move(db), host, std::move(settings), options),
      fromFolder_(true),
      sourceFolder_(std::move(sourceFolder)) {}

RebuildThread::RebuildThread(std::shared_ptr<RomsDBImpl> db, JobHost& host, Settings settings,
                             std::vector<std::string> files, AnalysisOptions options)
    : analyzeThread(std::move(db), host, std::move(settings), options),
      fromFolder_(false),
      sourceFiles(std::move(files)) {}

bool RebuildThread::prepare() {
    if (fromFolder_) {
        sourceFolder_ = resolveBaseDir(settings(), sourceFolder_);
        if (!isDirectory(sourceFolder_)) {
            host().showInformation(text::folderDoesNotExist(sourceFolder_));
            return false;
        }
        host().startProgress(text::rebuildFolderCaption(sourceFolder_), 0);
        host().updateProgress(text::kInitializing, 0);
        sourceFiles.clear();
        collectFilesRecursive(sourceFolder_, sourceFiles);
    } else {
        host().startProgress(text::kRebuildingFiles, 0);
        host().updateProgress(text::kInitializing, 0);
    }
    fileCount = static_cast<int>(sourceFiles.size());
    setProgressRange();
    return true;
}

void RebuildThread::execute() {
    if (db().openDB() != 0) {
        postMessage(db().lastError());
    } else {
        // Sources are read ahead in parallel; one whose stamp changed before
        // its turn (a source inside a folder being rebuilt) is read again, so
        // the result is that of reading each file at its turn.
        auto loader = startLoader(sourceFiles, true);
        LoadedItem item;
        for (size_t i = 0; i < sourceFiles.size(); ++i) {
            if (cancelled()) break;
            currentFile = sourceFiles[i];
            fileIndex = static_cast<int>(i);
            showProgress();
            loader->next(item);
            if (!(stampOf(currentFile) == item.stamp)) {
                item.collection = FileCollection(currentFile);
                item.status = loadCollection(item.collection, loadOptions(true));
            }
            if (!zipTestPassed(item.status)) {
                postMessage(text::errorInZip(currentFile, item.status));
                continue;
            }
            rebuildFile(item.collection);
        }
        loader.reset();
        if (cancelled()) postMessage(text::kRebuildCancelled);
        db().closeDB();
    }
    host().closeProgress();
    host().showInformation(text::kRebuildComplete);
    host().clearGamesList();
}

void RebuildThread::rebuildFile(FileCollection& collection) {
    for (size_t j = 0; j < collection.files.size(); ++j) rebuildEntry(collection, j, collection.files[j]);
}

void RebuildThread::rebuildEntry(const FileCollection& collection, size_t index, File& f) {
    const std::vector<GenericRom> matches = identifyFile(f, finder());
    if (matches.size() == 1) {
        if (isMissing(matches[0])) build(collection, index, f, matches[0]);
        return;
    }
    if (matches.size() < 2) return;
    std::vector<std::string> selected;
    if (dupesBehaviour.askUser) {
        DupesAnswer answer = host().askDuplicates(f.name, collection.path, matches);
        dupesBehaviour = answer.behaviour;
        selected = std::move(answer.selectedGames);
    }
    if (dupesBehaviour.neverBuild) return;
    for (const GenericRom& r : matches) {
        if (!isMissing(r)) continue;
        bool wanted = true;
        if (dupesBehaviour.onlyNameMatches) wanted = r.name == f.name;
        else if (dupesBehaviour.onlySelected) wanted = std::find(selected.begin(), selected.end(), r.game) != selected.end();
        if (wanted) build(collection, index, f, r);
    }
}

void RebuildThread::build(const FileCollection& collection, size_t index, const File& f, const GenericRom& r) {
    if (!isSafeFileName(r.system)) {
        postFileMessage(unsafeNameMessage("System", r.system));
        return;
    }
    if (!isSafeFileName(r.game + ".zip")) {
        postFileMessage(unsafeNameMessage("Game", r.game));
        return;
    }
    bool exists = false;
    const std::string target = resolveSystemFolder(settings(), r.system, &exists);
    if (exists && checkedFolders_.insert(target).second) {
        for (const std::string& line : recoverLeftovers(target)) postMessage(line);
    }
    const int status = exists ? copyToArchive(collection, index, joinPath(target, r.game + ".zip"), r.name)
                              : static_cast<int>(kZipError);
    if (status != 0) postFileMessage(text::kErrorCopying);
    else db().setHave(f.crc, f.size, r.name, r.game, r.system);
}

}  // namespace quorvane
