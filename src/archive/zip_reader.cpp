#include "archive/zip_reader.h"

#include <algorithm>
#include <cerrno>

#include "archive/archive_bytes.h"
#include "archive/entry_output.h"
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

ZipReader::ZipReader(std::string archivePath, const ArchiveBytes* bytes, FileOps& ops)
    : path_(std::move(archivePath)), ops_(&ops), bytes_(bytes && bytes->whole() ? bytes : nullptr) {}

ZipReader::~ZipReader() { close(); }

ZipStatus ZipReader::open() {
    close();
    zip_ = openUnzipFrom(bytes_, path_, *ops_, &fd_);
    return zip_ ? ZipStatus::Ok : ZipStatus::Error;
}

ZipSource ZipReader::source() const {
    ZipSource source{zip_, path_, *ops_, fd_};
    if (bytes_) {
        source.image = bytes_->tail();
        source.imageSize = bytes_->tailSize();
    }
    return source;
}

ZipStatus ZipReader::close() {
    if (zip_) unzClose(zip_);
    zip_ = nullptr;
    fd_ = -1;
    index_.clear();
    indexed_ = false;
    return ZipStatus::Ok;
}

ZipStatus ZipReader::locate(const EntryMatch& match, size_t* position) {
    if (!indexed_) {
        unz_global_info64 global{};
        if (unzGetGlobalInfo64(zip_, &global) != UNZ_OK) return ZipStatus::Error;
        ZipStatus status = global.number_entry == 0 ? ZipStatus::EndOfList : fromMinizip(unzGoToFirstFile(zip_));
        while (status == ZipStatus::Ok) {
            ZipEntry entry;
            unz64_file_pos pos{};
            status = readCurrentEntryInfo(source(), entry);
            if (status == ZipStatus::Ok) status = fromMinizip(unzGetFilePos64(zip_, &pos));
            if (status != ZipStatus::Ok) break;
            index_.emplace_back(std::move(entry), pos);
            status = fromMinizip(unzGoToNextFile(zip_));
        }
        if (status != ZipStatus::EndOfList) {
            index_.clear();
            return ZipStatus::Error;
        }
        indexed_ = true;
    }
    for (size_t i = 0; i < index_.size(); ++i) {
        if (!match(index_[i].first)) continue;
        if (position) *position = i;
        return unzGoToFilePos64(zip_, &index_[i].second) == UNZ_OK ? ZipStatus::Ok : ZipStatus::Error;
    }
    return ZipStatus::EntryGone;
}

ZipStatus ZipReader::writeCurrentEntry(const ZipEntry& entry, const std::string& outputName, const std::string& folder,
                                       EntrySync sync, std::string* writtenPath) {
    const WrittenEntry written = writeEntryToFolder(source(), entry, folder, outputName, sync);
    if (written.status == ZipStatus::Ok && writtenPath) *writtenPath = written.path;
    return written.status;
}

namespace {

bool isUsableFileName(const std::string& name) { return !name.empty() && name != "." && name != ".."; }

}  // namespace

ZipStatus ZipReader::extractFile(std::string_view entryName, const std::string& folder, bool removeAfterwards,
                                 std::string* writtenPath) {
    const ZipStatus status = extract([entryName](const ZipEntry& e) { return e.name == entryName; }, entryName, folder,
                                     removeAfterwards, removeAfterwards ? EntrySync::DataAndName : EntrySync::None,
                                     writtenPath);
    return status == ZipStatus::EntryGone ? ZipStatus::Error : status;
}

ZipStatus ZipReader::extractEntry(const EntryKey& key, const std::string& folder, bool removeAfterwards,
                                  std::string* writtenPath) {
    return extract([&key](const ZipEntry& e) { return key.matches(e); }, key.name, folder, removeAfterwards,
                   removeAfterwards ? EntrySync::DataAndName : EntrySync::None, writtenPath);
}

ZipStatus ZipReader::extractEntrySynced(const EntryKey& key, const std::string& folder, std::string* writtenPath) {
    return extract([&key](const ZipEntry& e) { return key.matches(e); }, key.name, folder, false, EntrySync::Data,
                   writtenPath);
}

ZipStatus ZipReader::extract(const EntryMatch& match, std::string_view entryName, const std::string& folder,
                             bool removeAfterwards, EntrySync sync, std::string* writtenPath) {
    if (!zip_ && open() != ZipStatus::Ok) return ZipStatus::Error;
    const std::string outputName = entryFileName(entryName);
    if (!isUsableFileName(outputName)) return ZipStatus::Error;
    if (const ZipStatus found = locate(match); found != ZipStatus::Ok) return found;
    ZipEntry entry;
    ZipStatus status = readCurrentEntryInfo(source(), entry);
    if (status != ZipStatus::Ok) return status;
    status = writeCurrentEntry(entry, outputName, folder, sync, writtenPath);
    if (status != ZipStatus::Ok || !removeAfterwards) return status;
    return remove(match);
}

ZipStatus ZipReader::extractAll(const std::string& folder) {
    if (!zip_ && open() != ZipStatus::Ok) return ZipStatus::Error;
    ZipStatus status = fromMinizip(unzGoToFirstFile(zip_));
    while (status == ZipStatus::Ok) {
        ZipEntry entry;
        if (readCurrentEntryInfo(source(), entry) != ZipStatus::Ok) return ZipStatus::Error;
        const std::string outputName = entryFileName(entry.name);
        if (entry.uncompressedSize != 0 && isUsableFileName(outputName)) {
            if (writeCurrentEntry(entry, outputName, folder, EntrySync::None, nullptr) != ZipStatus::Ok)
                return ZipStatus::Error;
        }
        status = fromMinizip(unzGoToNextFile(zip_));
    }
    return status == ZipStatus::EndOfList ? ZipStatus::Ok : ZipStatus::Error;
}

ZipStatus ZipReader::removeFile(std::string_view entryName) {
    const ZipStatus status = remove([entryName](const ZipEntry& e) { return e.name == entryName; });
    // Nothing of that name: the archive is as it should be.
    return status == ZipStatus::EntryGone ? ZipStatus::Ok : status;
}

ZipStatus ZipReader::removeEntry(const EntryKey& key) {
    return remove([&key](const ZipEntry& e) { return key.matches(e); });
}

ZipStatus ZipReader::remove(const EntryMatch& match) {
    if (!zip_ && open() != ZipStatus::Ok) return ZipStatus::Error;
    size_t position = 0;
    if (const ZipStatus found = locate(match, &position); found != ZipStatus::Ok) {
        // Nothing to remove (or the directory cannot be walked): leave the
        // archive exactly as it is.
        close();
        return found;
    }
    return removeAt({position});
}

ZipStatus ZipReader::removeEntries(const std::vector<EntryKey>& keys) {
    if (!zip_ && open() != ZipStatus::Ok) return ZipStatus::Error;
    std::vector<size_t> positions;
    for (const EntryKey& key : keys) {
        const auto leaving = [&](const ZipEntry& e) {
            return std::any_of(positions.begin(), positions.end(), [&](size_t p) { return &index_[p].first == &e; });
        };
        size_t position = 0;
        if (const ZipStatus found = locate([&](const ZipEntry& e) { return key.matches(e) && !leaving(e); }, &position);
            found != ZipStatus::Ok) {
            close();
            return found;
        }
        positions.push_back(position);
    }
    if (positions.empty()) {
        close();
        return ZipStatus::Ok;
    }
    return removeAt(positions);
}

ZipStatus ZipReader::removeAt(const std::vector<size_t>& positions) {
    const ZipSource from = source();
    // Once rewritten, the archive is no longer the bytes in memory.
    bytes_ = nullptr;
    const std::string folder = dirName(path_);
    if (positions.size() >= index_.size()) {
        // Every entry leaves: an empty archive would be deleted anyway, so
        // none is written.
        close();
        if (ops_->remove(path_) != 0) return ZipStatus::CannotDeleteOld;
        ops_->syncFolder(folder);
        return ZipStatus::Ok;
    }
    const std::string temp = uniqueTempPath(folder, baseName(path_));
    ZipFileWriter out(*ops_);
    if (!out.create(temp, /*syncOnFinish=*/true)) {
        close();
        return ZipStatus::Error;
    }
    // Exactly the entries at `positions` stay behind, whatever their names share.
    size_t at = 0;
    int kept = 0;
    ZipStatus status = copyEntriesRaw(
        from, out,
        [&at, &positions](const ZipEntry&) {
            return std::find(positions.begin(), positions.end(), at++) != positions.end();
        },
        kept);
    if (status == ZipStatus::Ok) status = out.finish();
    out.abandon();
    close();
    if (status != ZipStatus::Ok) {
        ops_->remove(temp);
        return status;
    }
    if (ops_->rename(temp, path_) != 0) {
        ops_->remove(temp);
        return ZipStatus::CannotReplace;
    }
    ops_->syncFolder(folder);
    return ZipStatus::Ok;
}

}  // namespace quorvane
