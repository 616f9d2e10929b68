#include "archive/zip_reader.h"

#include <cerrno>

#include "archive/entry_output.h"
#include "archive/minizip_io.h"
#include "archive/raw_copy.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_status.h"
#include "core/file_util.h"

namespace quorvane {

std::string entryFileName(std::string_view entryName) {
    const size_t cut = entryName.find_last_of("/\\");
    return std::string(cut == std::string_view::npos ? entryName : entryName.substr(cut + 1));
}

ZipReader::ZipReader(std::string archivePath, FileOps& ops) : path_(std::move(archivePath)), ops_(&ops) {}

ZipReader::~ZipReader() { close(); }

int ZipReader::open() {
    close();
    zip_ = openUnzip(path_, *ops_);
    return zip_ ? kZipOk : kZipError;
}

int ZipReader::close() {
    if (zip_) unzClose(zip_);
    zip_ = nullptr;
    index_.clear();
    indexed_ = false;
    return kZipOk;
}

int ZipReader::locate(const EntryMatch& match, size_t* position) {
    if (!indexed_) {
        unz_global_info64 global{};
        if (unzGetGlobalInfo64(zip_, &global) != UNZ_OK) return kZipError;
        int status = global.number_entry == 0 ? UNZ_END_OF_LIST_OF_FILE : unzGoToFirstFile(zip_);
        while (status == UNZ_OK) {
            ZipEntry entry;
            unz64_file_pos pos{};
            status = readCurrentEntryInfo(source(), entry);
            if (status == UNZ_OK) status = unzGetFilePos64(zip_, &pos);
            if (status != UNZ_OK) break;
            index_.emplace_back(std::move(entry), pos);
            status = unzGoToNextFile(zip_);
        }
        if (status != UNZ_END_OF_LIST_OF_FILE) {
            index_.clear();
            return kZipError;
        }
        indexed_ = true;
    }
    for (size_t i = 0; i < index_.size(); ++i) {
        if (!match(index_[i].first)) continue;
        if (position) *position = i;
        return unzGoToFilePos64(zip_, &index_[i].second) == UNZ_OK ? kZipOk : kZipError;
    }
    return kZipEntryGone;
}

int ZipReader::writeCurrentEntry(const ZipEntry& entry, const std::string& outputName,
                                 const std::string& folder, bool sync, std::string* writtenPath) {
    const WrittenEntry written = writeEntryToFolder(source(), entry, folder, outputName, sync);
    if (written.status == kZipOk && writtenPath) *writtenPath = written.path;
    return written.status;
}

namespace {

bool isUsableFileName(const std::string& name) { return !name.empty() && name != "." && name != ".."; }

}  // namespace

int ZipReader::extractFile(std::string_view entryName, const std::string& folder, bool removeAfterwards,
                           std::string* writtenPath) {
    const int status = extract([entryName](const ZipEntry& e) { return e.name == entryName; }, entryName, folder,
                               removeAfterwards, writtenPath);
    return status == kZipEntryGone ? kZipError : status;
}

int ZipReader::extractEntry(const EntryKey& key, const std::string& folder, bool removeAfterwards,
                            std::string* writtenPath) {
    return extract([&key](const ZipEntry& e) { return key.matches(e); }, key.name, folder, removeAfterwards,
                   writtenPath);
}

int ZipReader::extract(const EntryMatch& match, std::string_view entryName, const std::string& folder,
                       bool removeAfterwards, std::string* writtenPath) {
    if (!zip_ && open() != kZipOk) return kZipError;
    const std::string outputName = entryFileName(entryName);
    if (!isUsableFileName(outputName)) return kZipError;
    if (const int found = locate(match); found != kZipOk) return found;
    ZipEntry entry;
    int status = readCurrentEntryInfo(source(), entry);
    if (status != UNZ_OK) return status;
    status = writeCurrentEntry(entry, outputName, folder, removeAfterwards, writtenPath);
    if (status != kZipOk || !removeAfterwards) return status;
    return remove(match);
}

int ZipReader::extractAll(const std::string& folder) {
    if (!zip_ && open() != kZipOk) return kZipError;
    int status = unzGoToFirstFile(zip_);
    while (status == UNZ_OK) {
        ZipEntry entry;
        if (readCurrentEntryInfo(source(), entry) != UNZ_OK) return kZipError;
        const std::string outputName = entryFileName(entry.name);
        if (entry.uncompressedSize != 0 && isUsableFileName(outputName)) {
            if (writeCurrentEntry(entry, outputName, folder, false, nullptr) != kZipOk)
                return kZipError;
        }
        status = unzGoToNextFile(zip_);
    }
    return status == UNZ_END_OF_LIST_OF_FILE ? kZipOk : kZipError;
}

int ZipReader::removeFile(std::string_view entryName) {
    const int status = remove([entryName](const ZipEntry& e) { return e.name == entryName; });
    // Nothing of that name: the archive is as it should be.
    return status == kZipEntryGone ? kZipOk : status;
}

int ZipReader::removeEntry(const EntryKey& key) {
    return remove([&key](const ZipEntry& e) { return key.matches(e); });
}

int ZipReader::remove(const EntryMatch& match) {
    if (!zip_ && open() != kZipOk) return kZipError;
    size_t position = 0;
    if (const int found = locate(match, &position); found != kZipOk) {
        // Nothing to remove (or the directory cannot be walked): leave the
        // archive exactly as it is.
        close();
        return found;
    }
    const std::string folder = dirName(path_);
    const std::string temp = uniqueTempPath(folder, baseName(path_));
    zipFile out = openZip(temp, ZipOpenMode::CreateNew, *ops_, /*syncOnClose=*/true);
    if (out == nullptr) {
        close();
        return kZipError;
    }
    // Exactly the one entry at `position` stays behind, whatever its name shares.
    size_t at = 0;
    int kept = 0;
    int status = copyEntriesRaw(source(), out, [&at, position](const ZipEntry&) { return at++ == position; }, kept);
    const int closeStatus = zipClose(out, nullptr);
    if (status == kZipOk) status = closeStatus;
    close();
    if (status != kZipOk) {
        ops_->remove(temp);
        return status;
    }
    if (kept == 0) {
        ops_->remove(temp);
        if (ops_->remove(path_) != 0) return kZipCannotDeleteOld;
    } else if (ops_->rename(temp, path_) != 0) {
        ops_->remove(temp);
        return kZipCannotReplace;
    }
    ops_->syncFolder(folder);
    return kZipOk;
}

}  // namespace quorvane
