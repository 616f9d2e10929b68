#include "engine/file_collection_ops.h"

#include <cstdlib>

#include "archive/content_digests.h"
#include "archive/digest_set.h"
#include "archive/file_ops.h"
#include "archive/zip_listing.h"
#include "archive/zip_reader.h"
#include "archive/zip_status.h"
#include "archive/zip_writer.h"
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

// A folder inside an archive holds no data: no ROM, nothing to identify.
bool isFolderEntry(const ZipEntry& entry) { return !entry.name.empty() && entry.name.back() == '/'; }

int loadArchive(ContainerFiles& collection, const LoadOptions& options) {
    const ZipListing info(collection.path, fileOps(), options.test ? ZipRead::ListAndTest : ZipRead::List);
    if (options.test) {
        const int status = info.testZip();
        if (!zipTestPassed(status)) return status;
        if (info.listStatus() != 0) return info.listStatus();
    }
    collection.files.reserve(info.entries().size());
    for (const ZipEntry& entry : info.entries()) {
        if (isFolderEntry(entry)) continue;
        File file(entry.name);
        file.size = entry.size;
        file.crc = entry.crc;
        if (options.useMD5 || options.useSHA1) {
            ContentDigests(collection.path, entry.name).digestEntry(file.md5, file.sha1, options.useMD5, options.useSHA1);
        }
        collection.files.push_back(std::move(file));
    }
    return 0;
}

int loadLooseFile(ContainerFiles& collection, const LoadOptions& options) {
    File file(baseName(collection.path));
    ContentDigests(collection.path).digestFile(file.crc, file.md5, file.sha1, true, options.useMD5, options.useSHA1);
    FileOps& ops = fileOps();
    const int fd = ops.openRead(collection.path);
    if (fd < 0) return kZipFileUnreadable;
    const int64_t size = ops.fileSize(fd);
    ops.close(fd);
    if (size < 0) return kZipFileUnreadable;
    file.size = std::to_string(size);
    collection.files.push_back(std::move(file));
    return 0;
}

}  // namespace

bool isArchiveName(const std::string& path) { return isZipPath(baseName(path)); }

int loadCollection(ContainerFiles& collection, const LoadOptions& options) {
    collection.files.clear();
    collection.isZip = isArchiveName(collection.path);
    return collection.isZip ? loadArchive(collection, options) : loadLooseFile(collection, options);
}

EntryKey keyOf(const File& listed) {
    EntryKey key;
    key.name = listed.name;
    char* end = nullptr;
    key.crc32 = static_cast<uint32_t>(std::strtoul(listed.crc.c_str(), &end, 16));
    key.size = std::strtoull(listed.size.c_str(), &end, 10);
    return key;
}

void DisplacedEntries::add(const std::string& archivePath, const EntryKey& key, const std::string& movedTo) {
    index_[{archivePath, key.name, key.crc32, key.size}] = moves_.size();
    moves_.push_back({archivePath, key, movedTo});
}

const std::string* DisplacedEntries::find(const std::string& archivePath, const EntryKey& key) const {
    const auto it = index_.find({archivePath, key.name, key.crc32, key.size});
    return it == index_.end() ? nullptr : &moves_[it->second].movedTo;
}

int moveToFolder(const ContainerFiles& collection, const File& listed, const std::string& folder,
                 std::string* movedTo) {
    if (!collection.isZip) {
        return moveIntoFolder(collection.path, folder, baseName(collection.path), movedTo) == 0 ? 0 : kZipError;
    }
    const EntryKey key = keyOf(listed);
    std::string placed;
    {
        StagingFolder stage(folder);
        if (!stage.ok()) return kZipError;
        ZipReader unzip(collection.path);
        std::string written;
        int status = unzip.extractEntry(key, stage.path(), false, &written);
        unzip.close();
        if (status != kZipOk) return status;
        stage.track(written);
        if (!syncFile(written)) return kZipError;
        if (moveIntoFolder(written, folder, baseName(written), &placed) != 0) return kZipError;
        stage.track({});
    }
    // The copy is safely in `folder`; only now does the archive lose it.
    ZipReader unzip(collection.path);
    const int status = unzip.removeEntry(key);
    unzip.close();
    if (status != kZipOk) {
        // The entry is still in its archive (a failed rewrite leaves the old
        // one whole): the copy would only be a second one, and a rerun would
        // make a third.
        fileOps().remove(placed);
        return status;
    }
    if (movedTo) *movedTo = placed;
    return kZipOk;
}

namespace {

bool sameContent(const ZipEntry& entry, const EntryKey& key) {
    return entry.crc32 == key.crc32 && entry.uncompressedSize == key.size;
}

// Moves every entry named `entryName` of `archivePath` whose content is not
// `wanted` into `folder`, one at a time. 0 when none of other content is
// left there.
int keepOldEntries(const std::string& archivePath, const std::string& entryName, const EntryKey& wanted,
                   const std::string& folder, DisplacedEntries* displaced) {
    // Moving out the last entry deletes the archive.
    while (pathExists(archivePath)) {
        const ZipListing info(archivePath);
        if (info.listStatus() != 0) return info.listStatus();
        const ZipEntry* other = nullptr;
        for (const ZipEntry& entry : info.entries()) {
            if (entry.name == entryName && !sameContent(entry, wanted)) {
                other = &entry;
                break;
            }
        }
        if (other == nullptr) return 0;
        const EntryKey key{other->name, other->crc32, other->uncompressedSize};
        ContainerFiles target(archivePath);
        File old(other->name);
        old.crc = crcHex(key.crc32, true);
        old.size = std::to_string(key.size);
        std::string movedTo;
        if (const int status = moveToFolder(target, old, folder, &movedTo); status != 0) return status;
        if (displaced) displaced->add(archivePath, key, movedTo);
    }
    return 0;
}

int addChecked(const std::string& archivePath, const std::string& source, const std::string& entryName,
               const EntryKey& expected) {
    const ExpectedContent content{expected.crc32, expected.size};
    ZipWriter zip(archivePath);
    int status = zip.open();
    if (status == kZipOk) status = zip.addFile(source, entryName, &content);
    const int closeStatus = zip.close();
    return status != kZipOk ? status : closeStatus;
}

}  // namespace

int copyToArchive(const ContainerFiles& collection, const File& listed, const std::string& archivePath,
                  const std::string& entryName, const std::string& keepReplacedIn, DisplacedEntries* displaced) {
    const EntryKey key = keyOf(listed);
    if (!keepReplacedIn.empty()) {
        if (const int status = keepOldEntries(archivePath, entryName, key, keepReplacedIn, displaced); status != 0)
            return status;
    }
    if (!collection.isZip) return addChecked(archivePath, collection.path, entryName, key);

    StagingFolder stage(dirName(archivePath));
    if (!stage.ok()) return kZipError;
    ZipReader unzip(collection.path);
    std::string written;
    const int status = unzip.extractEntry(key, stage.path(), false, &written);
    unzip.close();
    if (status == kZipEntryGone && displaced) {
        // An earlier copy made room for itself by moving this very entry away.
        if (const std::string* movedTo = displaced->find(collection.path, key))
            return addChecked(archivePath, *movedTo, entryName, key);
    }
    if (status != kZipOk) return status;
    stage.track(written);
    return addChecked(archivePath, written, entryName, key);
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
            const ZipListing info(path);
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
