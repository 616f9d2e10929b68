#include "engine/fix_thread.h"

#include <ctime>

#include "archive/zip_status.h"
#include "core/file_util.h"
#include "core/names.h"
#include "core/text.h"
#include "engine/analysis_text.h"
#include "engine/safe_move.h"

namespace quorvane {

namespace text = analysis_text;

FixThread::FixThread(std::shared_ptr<RomsDBImpl> db, JobHost& host, Settings settings, std::string system,
                     AnalysisOptions options)
    : analyzeThread(std::move(db), host, std::move(settings), options) {
    systemName = std::move(system);
}

void FixThread::makeBackupFolder() {
    backupFolder = settings().backupDir + text::backupFolderName(std::time(nullptr));
    makeFolders(backupFolder);  // a failure shows as files that stay where they are
}

bool FixThread::prepare() {
    if (!prepareSystemFolder(text::scanCaption(systemName))) return false;
    makeBackupFolder();
    clearMessages();
    return true;
}

void FixThread::execute() {
    fixOneSystem();
    if (cancelled()) postMessage(text::kScanCancelled);
    finishJob(text::romsetFixed(systemName));
}

void FixThread::fixOneSystem() {
    if (db().openDB() != 0) {
        postMessage(db().lastError());
        return;
    }
    postMessage(text::fixingSystem(text::timeStamp(std::time(nullptr)), systemName));
    db().cleanSystemStatus(systemName);
    firstPass(false);
    secondPass();
    db().closeDB();
}

void FixThread::secondPass() {
    // One file at a time: a copy may change an archive further down the list.
    for (size_t i = 0; i < fileList.size(); ++i) {
        if (cancelled()) break;
        currentFile = fileList[i];
        fileIndex = static_cast<int>(i);
        showProgress();
        fixFile(i);
    }
}

void FixThread::fixFile(size_t index) {
    FileCollection collection(pathOf(index));
    const int status = reload(index, collection, true);
    if (!zipTestPassed(status)) {
        postMessage(text::errorInZip(currentFile, status));
        postFileMessage(text::corruptDeleted(currentFile));
        moveIntoFolder(collection.path, backupFolder, currentFile);
        return;
    }
    const RomFinder find = finder();
    for (size_t j = 0; j < collection.files.size(); ++j) {
        File& f = collection.files[j];
        const std::vector<GenericRom> matches = identifyFile(f, find);
        if (matches.empty()) postFileMessage(text::cannotBeIdentified(f.name));
        bool wanted = false;
        for (const GenericRom& r : matches) {
            switch (classifyMatch(r, systemName, currentFile, f.name)) {
                case MatchClass::InPlace:
                    // Only after a case-only rename earlier in this archive is
                    // an entry in place and still missing.
                    if (isMissing(r)) db().setHave(f.crc, f.size, r.name, r.game, systemName);
                    wanted = true;
                    break;
                case MatchClass::MisplacedMissing:
                    if (rebuildMisplaced(collection, index, j, f, r)) wanted = true;
                    break;
                case MatchClass::ForeignMissing: rebuildForeign(collection, j, f, r); break;
                case MatchClass::MisplacedFound:
                case MatchClass::ForeignFound: break;
            }
        }
        if (!wanted) {
            postFileMessage(text::deleted(f.name));
            moveToFolder(collection, j, backupFolder);
        }
    }
}

bool FixThread::rebuildMisplaced(FileCollection& collection, size_t index, size_t entry, File& f,
                                 const GenericRom& r) {
    postFileMessage(text::rebuiltTo(f.name, r));
    const std::string target = r.game + ".zip";
    if (!isSafeFileName(target)) {
        postFileMessage(unsafeNameMessage("Game", r.game));
        return false;
    }
    const std::string targetPath = joinPath(folder, target);
    const bool caseOnly = currentFile != target && equalsIgnoreCase(currentFile, target);
    // On a case-sensitive file system a copy would make a second archive
    // beside this one; renaming it reaches the same end state. When the exact
    // name is already taken, the entry is copied into that archive instead.
    if (caseOnly && renameNoReplace(collection.path, targetPath) == 0) {
        renameCollection(collection, index, target);
        if (f.name == r.name) {
            db().setHave(f.crc, f.size, r.name, r.game, systemName);
            return true;
        }
    }
    const int status = copyToArchive(collection, entry, targetPath, r.name, backupFolder);
    if (status != 0) postFileMessage(text::kErrorCopying);
    else db().setHave(f.crc, f.size, r.name, r.game, systemName);
    return false;
}

void FixThread::rebuildForeign(const FileCollection& collection, size_t entry, File& f, const GenericRom& r) {
    postFileMessage(text::rebuiltTo(f.name, r));
    if (!isSafeFileName(r.system) || !isSafeFileName(r.game + ".zip")) {
        postFileMessage(unsafeNameMessage(isSafeFileName(r.system) ? "Game" : "System",
                                          isSafeFileName(r.system) ? r.game : r.system));
        return;
    }
    // Into the folder of the ROM's own system, where its next fix wants it.
    bool exists = false;
    const std::string systemFolder = resolveSystemFolder(settings(), r.system, &exists);
    const int status =
        exists ? copyToArchive(collection, entry, joinPath(systemFolder, r.game + ".zip"), r.name, backupFolder)
               : static_cast<int>(kZipError);
    if (status != 0) postFileMessage(text::kErrorCopying);
    else db().setHave(f.crc, f.size, r.name, r.game, r.system);
}

void FixThread::renameCollection(FileCollection& collection, size_t index, const std::string& newName) {
    fileList[index] = newName;
    currentFile = newName;
    collection.path = pathOf(index);
}

MultiFixThread::MultiFixThread(std::shared_ptr<RomsDBImpl> db, JobHost& host, Settings settings,
                               std::vector<std::string> systems, AnalysisOptions options)
    : FixThread(std::move(db), host, std::move(settings), std::string(), options), systemList(std::move(systems)) {}

bool MultiFixThread::prepare() {
    host().startProgress(text::kFixingSystems, 0);
    host().updateProgress(text::kInitializing, 0);
    makeBackupFolder();
    clearMessages();
    return true;
}

void MultiFixThread::execute() {
    eachSystem(systemList, [this] { fixOneSystem(); });
    if (cancelled()) postMessage(text::kScanCancelled);
    finishJob(text::kRomsetsFixed);
}

}  // namespace quorvane
