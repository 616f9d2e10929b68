#include "engine/file_collection_ops.h"

#include "archive/encoding_util.h"
#include "archive/file_ops.h"
#include "archive/unzip_util.h"
#include "archive/zip_info.h"
#include "archive/zip_status.h"
#include "archive/zip_util.h"
#include "core/file_util.h"
#include "core/text.h"
#include "engine/analysis_text.h"
#include "engine/folder_listing.h"
#include "engine/safe_move.h"

namespace quorvane {

namespace {

// A private, empty folder inside `parent` that an entry is extracted into;
// removed with whatever is left in it when it goes out of scope.
class StagingFolder {
public:
    explicit StagingFolder(const std::string& parent) : path_(uniqueTempPath(parent, "stage")) {
        ok_ = fileOps().makeFolder(path_) == 0;
    }
    ~StagingFolder() {
        if (!ok_) return;
        if (!leftover_.empty()) fileOps().remove(leftover_);
        fileOps().removeFolder(path_);
    }
    bool ok() const { return ok_; }
    const std::string& path() const { return path_; }
    // The file to delete on the way out (cleared once it has been moved).
    void track(const std::string& file) { leftover_ = file; }

private:
    std::string path_;
    std::string leftover_;
    bool ok_ = false;
};

int loadArchive(FileCollection& collection, const LoadOptions& options) {
    const ZipInfo info(collection.path, fileOps(), options.test ? ZipRead::ListAndTest : ZipRead::List);
    if (options.test) {
        const int status = info.testZip();
        if (!zipTestPassed(status)) return status;
        if (info.listStatus() != 0) return info.listStatus();
    }
    collection.files.reserve(info.entries().size());
    for (const ZipEntryInfo& entry : info.entries()) {
        File file(entry.name);
        file.size = entry.size;
        file.crc = entry.crc;
        if (options.useMD5 || options.useSHA1) {
            encodingUtil(collection.path, entry.name).digestEntry(file.md5, file.sha1, options.useMD5, options.useSHA1);
        }
        collection.files.push_back(std::move(file));
    }
    return 0;
}

int loadLooseFile(FileCollection& collection, const LoadOptions& options) {
    File file(baseName(collection.path));
    encodingUtil(collection.path).digestFile(file.crc, file.md5, file.sha1, true, options.useMD5, options.useSHA1);
    FileOps& ops = fileOps();
    const int fd = ops.openRead(collection.path);
    if (fd < 0) return kLooseFileUnreadable;
    const int64_t size = ops.fileSize(fd);
    ops.close(fd);
    if (size < 0) return kLooseFileUnreadable;
    file.size = std::to_string(size);
    collection.files.push_back(std::move(file));
    return 0;
}

}  // namespace

bool isArchiveName(const std::string& path) { return isZipPath(baseName(path)); }

int loadCollection(FileCollection& collection, const LoadOptions& options) {
    collection.files.clear();
    collection.isZip = isArchiveName(collection.path);
    return collection.isZip ? loadArchive(collection, options) : loadLooseFile(collection, options);
}

int moveToFolder(const FileCollection& collection, size_t index, const std::string& folder, std::string* movedTo) {
    if (index >= collection.files.size()) return kZipError;
    if (!collection.isZip) {
        return moveIntoFolder(collection.path, folder, baseName(collection.path), movedTo) == 0 ? 0 : kZipError;
    }
    const std::string& entryName = collection.files[index].name;
    {
        StagingFolder stage(folder);
        if (!stage.ok()) return kZipError;
        UnZipUtil unzip(collection.path);
        std::string written;
        int status = unzip.extractFile(entryName, stage.path(), false, &written);
        unzip.close();
        if (status != kZipOk) return status;
        stage.track(written);
        if (!syncFile(written)) return kZipError;
        if (moveIntoFolder(written, folder, baseName(written), movedTo) != 0) return kZipError;
        stage.track({});
    }
    // The copy is safely in `folder`; only now does the archive lose it.
    UnZipUtil unzip(collection.path);
    const int status = unzip.removeFile(entryName);
    unzip.close();
    return status;
}

namespace {

// Moves the entry `entryName` of `archivePath` into `folder` unless it holds
// the same content as `file`. 0 when nothing of other content is left there.
int keepOldEntry(const std::string& archivePath, const std::string& entryName, const File& file,
                 const std::string& folder) {
    if (!pathExists(archivePath)) return 0;
    FileCollection target(archivePath);
    if (loadCollection(target, {.test = false}) != 0) return kZipError;
    for (size_t i = 0; i < target.files.size(); ++i) {
        const File& old = target.files[i];
        if (old.name != entryName) continue;
        if (equalsIgnoreCase(old.crc, file.crc) && old.size == file.size) return 0;
        return moveToFolder(target, i, folder);
    }
    return 0;
}

}  // namespace

int copyToArchive(const FileCollection& collection, size_t index, const std::string& archivePath,
                  const std::string& entryName, const std::string& keepReplacedIn) {
    if (index >= collection.files.size()) return kZipError;
    if (!keepReplacedIn.empty()) {
        if (const int status = keepOldEntry(archivePath, entryName, collection.files[index], keepReplacedIn);
            status != 0)
            return status;
    }
    auto addTo = [&](const std::string& source) {
        ZipUtil zip(archivePath);
        int status = zip.open();
        if (status == kZipOk) status = zip.addFile(source, entryName);
        const int closeStatus = zip.close();
        return status != kZipOk ? status : closeStatus;
    };
    if (!collection.isZip) return addTo(collection.path);

    StagingFolder stage(dirName(archivePath));
    if (!stage.ok()) return kZipError;
    UnZipUtil unzip(collection.path);
    std::string written;
    const int status = unzip.extractFile(collection.files[index].name, stage.path(), false, &written);
    unzip.close();
    if (status != kZipOk) return status;
    stage.track(written);
    return addTo(written);
}

std::vector<std::string> recoverLeftovers(const std::string& folder) {
    std::vector<std::string> lines;
    for (const std::string& name : listLeftovers(folder)) {
        const std::string path = joinPath(folder, name);
        const std::string original = tempNameHint(name);
        // Only a whole, sound archive may take the original's place.
        bool restorable = !original.empty() && original[0] != '.' && isArchiveName(original) &&
                          isRegularFile(path) && !pathExists(joinPath(folder, original));
        if (restorable) {
            const ZipInfo info(path);
            restorable = info.listStatus() == 0 && zipTestPassed(info.testZip());
        }
        if (restorable && renameNoReplace(path, joinPath(folder, original)) == 0) {
            fileOps().syncFolder(folder);
            lines.push_back(analysis_text::leftoverRestored(folder, name, original));
        } else {
            lines.push_back(analysis_text::leftoverKept(folder, name));
        }
    }
    return lines;
}

}  // namespace quorvane
