#include "engine/file_collection_ops.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include "archive/archive_bytes.h"
#include "archive/content_digests.h"
#include "archive/digest_set.h"
#include "archive/file_ops.h"
#include "archive/packed_archive.h"
#include "archive/scratch_buffer.h"
#include "archive/zip_listing.h"
#include "archive/zip_reader.h"
#include "archive/zip_status.h"
#include "archive/zip_update.h"
#include "archive/zip_writer.h"
#include "core/file_util.h"
#include "core/text.h"
#include "engine/analysis_text.h"
#include "engine/folder_listing.h"
#include "engine/ordered_loader.h"
#include "engine/safe_move.h"
#include "engine/staging_folder.h"

namespace quorvane {

bool isFolderEntry(const ZipEntry& entry) { return !entry.name.empty() && entry.name.back() == '/'; }

namespace {

ZipStatus loadArchive(ContainerFiles& collection, const LoadOptions& options, FileStamp* openedAs) {
    const ZipListing info(collection.path, fileOps(), options.test ? ZipRead::ListAndTest : ZipRead::List,
                          options.folder);
    if (openedAs) *openedAs = info.opened() ? stampFrom(*info.opened()) : FileStamp{};
    if (options.test) {
        const ZipStatus status = info.testZip();
        if (!zipTestPassed(status)) return status;
        if (info.listStatus() != ZipStatus::Ok) return info.listStatus();
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
    return ZipStatus::Ok;
}

ZipStatus loadPacked(ContainerFiles& collection, const LoadOptions& options) {
    // Listing a packed archive reads all of it, so it is always a test too.
    const PackedListing list = listPacked(collection.path, options.useMD5, options.useSHA1);
    if (list.status != ZipStatus::Ok) return list.status;
    collection.files.reserve(list.entries.size());
    for (const PackedEntry& entry : list.entries) {
        File file(entry.name);
        file.size = std::to_string(entry.size);
        file.crc = crcHex(entry.crc32, true);
        file.md5 = entry.md5;
        file.sha1 = entry.sha1;
        collection.files.push_back(std::move(file));
    }
    return ZipStatus::Ok;
}

ZipStatus loadLooseFile(ContainerFiles& collection, const LoadOptions& options) {
    File file(baseName(collection.path));
    ContentDigests(collection.path).digestFile(file.crc, file.md5, file.sha1, true, options.useMD5, options.useSHA1);
    FileOps& ops = fileOps();
    const int fd = ops.openRead(collection.path, {ReadAhead::InOneGo});
    if (fd < 0) return openFailure(errno, ZipStatus::FileUnreadable);
    const int64_t size = ops.fileSize(fd);
    ops.close(fd);
    if (size < 0) return ZipStatus::FileUnreadable;
    file.size = std::to_string(size);
    collection.files.push_back(std::move(file));
    return ZipStatus::Ok;
}

}  // namespace

bool isArchiveName(const std::string& path) {
    const std::string name = baseName(path);
    return packedFormatOf(name) != PackedFormat::None || isZipPath(name);
}

ZipStatus loadCollection(ContainerFiles& collection, const LoadOptions& options, FileStamp* openedAs) {
    collection.files.clear();
    const std::string name = baseName(collection.path);
    collection.isPacked = packedFormatOf(name) != PackedFormat::None;
    collection.isZip = !collection.isPacked && isZipPath(name);
    // Only a zip is opened once for the whole load; any other file's stamp is taken before it is read.
    if (openedAs && !collection.isZip) *openedAs = stampOf(collection.path);
    if (collection.isPacked) return loadPacked(collection, options);
    return collection.isZip ? loadArchive(collection, options, openedAs) : loadLooseFile(collection, options);
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
    if (job_) job_->add(archivePath, key, movedTo);
    std::lock_guard lock(mutex_);
    index_[{archivePath, key.name, key.crc32, key.size}] = moves_.size();
    moves_.push_back({archivePath, key, movedTo});
}

bool DisplacedEntries::find(const std::string& archivePath, const EntryKey& key, std::string& movedTo) const {
    if (job_) return job_->find(archivePath, key, movedTo);
    std::lock_guard lock(mutex_);
    const auto it = index_.find({archivePath, key.name, key.crc32, key.size});
    if (it == index_.end()) return false;
    movedTo = moves_[it->second].movedTo;
    return true;
}

namespace {

// Writes a synced copy of the entry `key` of the zip `collection`, read
// through `unzip` (the step's one reader of it), at its place in `backup`
// (forEntry), straight into it: the extraction writes a temporary file
// there and renames it to a free name, so no part copy ever shows.
// `placed` receives the copy's path.
ZipStatus extractToBackup(ZipReader& unzip, const ContainerFiles& collection, const EntryKey& key,
                          const BackupTree& backup, std::string& placed) {
    const BackupPlace place = backup.forEntry(collection.path, key.name);
    if (!place.make()) return ZipStatus::Error;
    return unzip.extractEntrySynced(key, place.folder, &placed);
}

}  // namespace

ZipStatus moveToBackup(const ContainerFiles& collection, const File& listed, const BackupTree& backup,
                       std::string* movedTo) {
    // A packed archive is never edited: the set is converted first.
    if (collection.isPacked) return ZipStatus::Error;
    if (!collection.isZip)
        return moveIntoBackup(collection.path, backup.forFile(collection.path), movedTo) == 0 ? ZipStatus::Ok
                                                                                              : ZipStatus::Error;
    const EntryKey key = keyOf(listed);
    std::string placed;
    ZipReader unzip(collection.path);
    if (const ZipStatus status = extractToBackup(unzip, collection, key, backup, placed); status != ZipStatus::Ok)
        return status;
    // The copy is safely in the backup; only now does the archive lose it.
    const ZipStatus status = unzip.removeEntry(key);
    unzip.close();
    if (status != ZipStatus::Ok) {
        // The entry is still in its archive (a failed rewrite leaves the old
        // one whole): the copy would only be a second one, and a rerun would
        // make a third.
        fileOps().remove(placed);
        return status;
    }
    if (movedTo) *movedTo = placed;
    return ZipStatus::Ok;
}

std::vector<EntryMove> moveEntriesToBackup(const ContainerFiles& collection, const std::vector<File>& listed,
                                           const BackupTree& backup) {
    std::vector<EntryMove> moves(listed.size());
    const auto eachOnItsOwn = [&](size_t i) {
        errno = 0;
        moves[i].status = moveToBackup(collection, listed[i], backup, &moves[i].movedTo);
        moves[i].error = errno;
    };
    if (listed.size() == 1 || !collection.isZip) {
        for (size_t i = 0; i < listed.size(); ++i) eachOnItsOwn(i);
        return moves;
    }
    std::vector<EntryKey> leaving;
    std::vector<size_t> copied;
    ZipReader unzip(collection.path);
    for (size_t i = 0; i < listed.size(); ++i) {
        const EntryKey key = keyOf(listed[i]);
        errno = 0;
        moves[i].status = extractToBackup(unzip, collection, key, backup, moves[i].movedTo);
        moves[i].error = errno;
        if (moves[i].status != ZipStatus::Ok) continue;
        leaving.push_back(key);
        copied.push_back(i);
    }
    if (leaving.empty()) return moves;
    // Every copy is safely in the backup; only now does the archive lose them.
    errno = 0;
    const ZipStatus status = unzip.removeEntries(leaving);
    const int error = errno;
    unzip.close();
    if (status == ZipStatus::Ok) return moves;
    for (size_t i : copied) {
        fileOps().remove(moves[i].movedTo);
        moves[i] = {status, error, {}};
    }
    // One went meanwhile: each on its own says which.
    if (status == ZipStatus::EntryGone)
        for (size_t i : copied) eachOnItsOwn(i);
    return moves;
}

namespace {

bool sameContent(const ZipEntry& entry, const EntryKey& key) {
    return entry.crc32 == key.crc32 && entry.uncompressedSize == key.size;
}

// Moves every entry named `entryName` of `archivePath` whose content is not
// `wanted` into `backup`, one at a time. Ok when none of other content is
// left there.
ZipStatus keepOldEntries(const std::string& archivePath, const std::string& entryName, const EntryKey& wanted,
                         const BackupTree& backup, DisplacedEntries* displaced) {
    // Moving out the last entry deletes the archive.
    while (pathExists(archivePath)) {
        const ZipListing info(archivePath);
        if (info.listStatus() != ZipStatus::Ok) return info.listStatus();
        const ZipEntry* other = nullptr;
        for (const ZipEntry& entry : info.entries()) {
            if (entry.name == entryName && !sameContent(entry, wanted)) {
                other = &entry;
                break;
            }
        }
        if (other == nullptr) return ZipStatus::Ok;
        const EntryKey key{other->name, other->crc32, other->uncompressedSize};
        ContainerFiles target(archivePath);
        File old(other->name);
        old.crc = crcHex(key.crc32, true);
        old.size = std::to_string(key.size);
        std::string movedTo;
        if (const ZipStatus status = moveToBackup(target, old, backup, &movedTo); status != ZipStatus::Ok)
            return status;
        if (displaced) displaced->add(archivePath, key, movedTo);
    }
    return ZipStatus::Ok;
}

// `skip`: bytes of the source left out (a copier header); `expected` is what follows them.
ZipStatus addChecked(const std::string& archivePath, const std::string& source, const std::string& entryName,
                     const EntryKey& expected, std::uint64_t skip = 0) {
    const ExpectedContent content{expected.crc32, expected.size};
    ZipWriter zip(archivePath);
    ZipStatus status = zip.open();
    if (status == ZipStatus::Ok) status = zip.addFile(source, entryName, &content, skip);
    const ZipStatus closeStatus = zip.close();
    return status != ZipStatus::Ok ? status : closeStatus;
}

// An archive up to this size is read once for a copy or rename into it: the
// look for entries of the new name, the backup copy and the rewrite all
// take its bytes from memory. A larger one is read by each as before, so
// that no disk thread holds more than this between archives.
constexpr uint64_t kReadOnceLimit = ScratchBuffer::kKeptSize;

// Whether `bytes`, the archive `path` read whole, can serve every read of a
// step that puts `wanted` in it as `entryName`: not when an entry of that
// name and other content must first move out of the way, which changes the
// archive.
bool servesWholeStep(ArchiveBytes& bytes, const std::string& path, const std::string& entryName,
                     const EntryKey& wanted) {
    if (!bytes.whole()) return false;
    const ZipListing info(path, bytes);
    return info.listStatus() == ZipStatus::Ok &&
           std::none_of(info.entries().begin(), info.entries().end(),
                        [&](const ZipEntry& entry) { return entry.name == entryName && !sameContent(entry, wanted); });
}

}  // namespace

ZipStatus copyToArchive(const ContainerFiles& collection, const File& listed, const std::string& archivePath,
                        const std::string& entryName, const BackupTree* keepReplacedIn, DisplacedEntries* displaced,
                        const File* withoutHeader) {
    const EntryKey key = keyOf(listed);
    const EntryKey wanted = withoutHeader ? keyOf(*withoutHeader) : key;
    const bool rawCopy = collection.isZip && !withoutHeader;
    std::optional<ArchiveBytes> target;
    if (rawCopy) target.emplace(archivePath, fileOps(), ArchivePart::Whole, -1, kReadOnceLimit);
    const bool readOnce = target && servesWholeStep(*target, archivePath, entryName, wanted);
    if (!readOnce) target.reset();
    if (keepReplacedIn && !readOnce) {
        if (const ZipStatus status = keepOldEntries(archivePath, entryName, wanted, *keepReplacedIn, displaced);
            status != ZipStatus::Ok)
            return status;
    }
    const std::uint64_t skip = withoutHeader ? withoutHeader->headerBytes : 0;
    if (collection.isLoose()) return addChecked(archivePath, collection.path, entryName, wanted, skip);

    if (rawCopy) {
        // A deflated entry goes over as it is stored, never inflated and deflated again.
        ZipUpdate update(archivePath);
        if (readOnce) update.readFrom(*target);
        update.addEntryOf(collection.path, key, entryName);
        ZipStatus status = update.commit();
        if (status == ZipStatus::Ok) status = update.result(0);
        if (std::string movedTo; status == ZipStatus::EntryGone && displaced && displaced->find(collection.path, key, movedTo))
            return addChecked(archivePath, movedTo, entryName, wanted, skip);
        return status;
    }
    StagingFolder stage(dirName(archivePath));
    if (!stage.ok()) return ZipStatus::Error;
    std::string written;
    ZipStatus status;
    if (collection.isPacked) {
        written = joinPath(stage.path(), "entry");
        status = extractPacked(collection.path, {{key, written}});
    } else {  // a zip's entry without its copier header
        ZipReader unzip(collection.path);
        status = unzip.extractEntry(key, stage.path(), false, &written);
        unzip.close();
    }
    // An earlier copy made room for itself by moving this very entry away.
    if (std::string movedTo; status == ZipStatus::EntryGone && displaced && displaced->find(collection.path, key, movedTo))
        return addChecked(archivePath, movedTo, entryName, wanted, skip);
    if (status != ZipStatus::Ok) return status;
    stage.track(written);
    return addChecked(archivePath, written, entryName, wanted, skip);
}

ZipStatus renameEntryKeepingOld(const ContainerFiles& collection, const File& listed, const std::string& entryName,
                                const BackupTree& backup, DisplacedEntries* displaced, std::string* movedTo) {
    if (!collection.isZip) return ZipStatus::Error;
    const EntryKey key = keyOf(listed);
    std::optional<ArchiveBytes> bytes;
    bytes.emplace(collection.path, fileOps(), ArchivePart::Whole, -1, kReadOnceLimit);
    const bool readOnce = servesWholeStep(*bytes, collection.path, entryName, key);
    if (!readOnce) {
        bytes.reset();
        if (const ZipStatus status = keepOldEntries(collection.path, entryName, key, backup, displaced);
            status != ZipStatus::Ok)
            return status;
    }
    const ArchiveBytes* read = readOnce ? &*bytes : nullptr;
    std::string placed;
    {
        ZipReader unzip(collection.path, read);
        if (const ZipStatus status = extractToBackup(unzip, collection, key, backup, placed); status != ZipStatus::Ok)
            return status;
    }
    ZipUpdate update(collection.path);
    if (read) update.readFrom(*read);
    update.addEntryOf(collection.path, key, entryName);
    update.leaveOut(key);
    ZipStatus status = update.commit();
    if (status == ZipStatus::Ok) status = update.result(0);
    if (status != ZipStatus::Ok) {
        fileOps().remove(placed);
        return status;
    }
    if (movedTo) *movedTo = placed;
    return ZipStatus::Ok;
}

std::vector<std::string> recoverLeftovers(const std::string& folder) {
    return recoverLeftovers(folder, listLeftovers(folder));
}

std::vector<std::string> recoverLeftovers(const std::string& folder, const std::vector<std::string>& names) {
    std::vector<std::string> lines;
    for (const std::string& name : names) {
        const std::string path = joinPath(folder, name);
        const std::string original = tempNameHint(name);
        // Only a whole, sound archive may take the original's place.
        bool restorable = !original.empty() && original[0] != '.' && isArchiveName(original) &&
                          isRegularFile(path) && !pathExists(joinPath(folder, original));
        if (restorable) {
            const ZipListing info(path);
            restorable = info.listStatus() == ZipStatus::Ok && zipTestPassed(info.testZip());
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
