#include "archive/torrent_zip.h"

#include <minizip/unzip.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/empty_zip.h"
#include "archive/file_ops.h"
#include "archive/minizip_io.h"
#include "archive/raw_deflater.h"
#include "archive/torrent_zip_format.h"
#include "archive/torrent_zip_names.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_listing.h"
#include "core/file_util.h"

namespace quorvane {
namespace {

// A directory larger than this is not read whole to check its records; such
// an archive is simply converted again.
constexpr uint64_t kDirectoryCheckLimit = uint64_t{256} << 20;

class Descriptor {
public:
    Descriptor(FileOps& ops, int fd) : ops_(ops), fd_(fd) {}
    ~Descriptor() { close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    // False when the close reports a failure (a late write error).
    bool close() {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || ops_.close(fd) == 0;
    }

private:
    FileOps& ops_;
    int fd_;
};

uint32_t crcOf(std::string_view bytes) {
    return static_cast<uint32_t>(
        crc32_z(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

// Read a block at a time: a directory can be large.
std::optional<uint32_t> directoryCrc(FileOps& ops, int fd, const TorrentZipEnd& end) {
    std::unique_ptr<char[]> block(new (std::nothrow) char[kCopyBlockSize]);
    if (!block) return std::nullopt;
    uLong crc = crc32(0L, Z_NULL, 0);
    for (uint64_t done = 0; done < end.directorySize;) {
        const uint64_t n = std::min<uint64_t>(end.directorySize - done, kCopyBlockSize);
        if (!readAllAt(ops, fd, block.get(), static_cast<size_t>(n), end.directoryOffset + done)) return std::nullopt;
        crc = crc32_z(crc, reinterpret_cast<const Bytef*>(block.get()), static_cast<size_t>(n));
        done += n;
    }
    return static_cast<uint32_t>(crc);
}

// isTorrentZip, and besides that every central record follows the rules:
// an archive another program stamped without sorting or re-dating its
// entries is not left as it is.
bool alreadyTorrentZip(const std::string& path, FileOps& ops) {
    Descriptor file(ops, ops.openRead(path));
    TorrentZipEnd end;
    if (!file.ok() || !readTorrentZipEnd(ops, file.get(), end) || end.directorySize > kDirectoryCheckLimit)
        return false;
    std::string directory(static_cast<size_t>(end.directorySize), '\0');
    if (!readAllAt(ops, file.get(), directory.data(), directory.size(), end.directoryOffset)) return false;
    return crcOf(directory) == end.commentCrc && directoryFollowsRules(directory, end.entries);
}

struct Unzip {
    unzFile zip = nullptr;
    ~Unzip() {
        if (zip) unzClose(zip);
    }
};

struct SourceEntry {
    ZipEntry entry;
    unz64_file_pos position{};
};

// Every entry of the archive with its place in the directory. An archive
// with no entries lists as such (minizip cannot open one).
ZipStatus listSource(const std::string& path, FileOps& ops, Unzip& unzip, std::vector<SourceEntry>& entries) {
    unzip.zip = openUnzip(path, ops);
    if (unzip.zip == nullptr) {
        if (isEmptyZip(path, ops)) return ZipStatus::Ok;
        Descriptor file(ops, ops.openRead(path));
        return file.ok() ? ZipStatus::ParamError : openFailure(errno, ZipStatus::ParamError);
    }
    unz_global_info64 global{};
    ZipStatus status = fromMinizip(unzGetGlobalInfo64(unzip.zip, &global));
    if (status == ZipStatus::Ok) status = fromMinizip(unzGoToFirstFile(unzip.zip));
    const ZipSource source{unzip.zip, path, ops};
    while (status == ZipStatus::Ok) {
        SourceEntry item;
        status = readCurrentEntryInfo(source, item.entry);
        if (status == ZipStatus::Ok) status = fromMinizip(unzGetFilePos64(unzip.zip, &item.position));
        if (status != ZipStatus::Ok) break;
        entries.push_back(std::move(item));
        status = fromMinizip(unzGoToNextFile(unzip.zip));
    }
    if (status == ZipStatus::EndOfList) status = ZipStatus::Ok;
    if (status == ZipStatus::Ok && entries.size() != global.number_entry) status = ZipStatus::BadZipFile;
    return status;
}

struct PlannedEntry {
    const SourceEntry* source;
    StoredName name;
    EntryOrder order;
};

// The entries the new archive holds, in their order: all of them, renamed
// as TorrentZip stores names, less the folder entries of folders that
// hold something.
std::vector<PlannedEntry> planEntries(const std::vector<SourceEntry>& sources) {
    std::vector<PlannedEntry> planned;
    planned.reserve(sources.size());
    std::set<std::string> names;
    for (const SourceEntry& source : sources) {
        std::string name = entryNameUtf8(source.entry.name, source.entry.flag);
        names.insert(name);
        StoredName stored = storedName(name);
        planned.push_back({&source, std::move(stored),
                           EntryOrder(std::move(name), source.entry.crc32, source.entry.uncompressedSize)});
    }
    std::erase_if(planned, [&](const PlannedEntry& p) {
        return isFolderEntry(p.order.name, p.order.size) && folderHoldsEntries(names, p.order.name);
    });
    // Stable: entries equal in every key are interchangeable anyway.
    std::stable_sort(planned.begin(), planned.end(),
                     [](const PlannedEntry& a, const PlannedEntry& b) { return a.order < b.order; });
    return planned;
}

// Writes one entry at `record.localHeaderOffset`: the local header first
// (its CRC and compressed size still unknown), then the data, then the
// header again, complete; no data descriptor.
//
// Entries near 4 GiB: whether the local header has the ZIP64 block must be
// settled before the data is written, and is, by the uncompressed size
// (4 GiB - 1 and up). Deflate can grow data that does not compress by a few
// bytes per 16 KiB, so an entry just under 4 GiB may come out at 4 GiB or
// more compressed; then `widen` is set and the caller writes the entry again
// from its header on, with the block. Either way the bytes follow from the
// content alone.
ZipStatus writeEntry(const ZipSource& source, const SourceEntry& entry, int fd, bool zip64, TorrentZipRecord& record,
                     bool& widen) {
    widen = false;
    record.size = entry.entry.uncompressedSize;
    record.crc32 = 0;
    record.compressedSize = 0;
    const std::string placeholder = localHeader(record, zip64);
    if (!writeAllAt(source.ops, fd, placeholder.data(), placeholder.size(), record.localHeaderOffset))
        return ZipStatus::Error;
    ZipStatus status = fromMinizip(unzGoToFilePos64(source.zip, &entry.position));
    if (status != ZipStatus::Ok) return status;
    RawDeflater deflater(source.ops, fd, record.localHeaderOffset + placeholder.size());
    status = readCurrentEntryData(source, entry.entry,
                                  [&deflater](const char* data, size_t size) { return deflater.write(data, size); });
    if (status != ZipStatus::Ok) return status;
    if (!deflater.finish()) return ZipStatus::Error;
    // readCurrentEntryData checked the data against the directory.
    record.crc32 = deflater.crc32();
    record.compressedSize = deflater.compressedSize();
    if (!zip64 && localHeaderHasZip64(record.size, record.compressedSize)) {
        widen = true;
        return ZipStatus::Ok;
    }
    const std::string header = localHeader(record, zip64);
    if (!writeAllAt(source.ops, fd, header.data(), header.size(), record.localHeaderOffset)) return ZipStatus::Error;
    return ZipStatus::Ok;
}

// Writes the whole new archive into the open file `fd`.
ZipStatus writeArchive(const ZipSource& source, const std::vector<PlannedEntry>& planned, int fd) {
    std::string directory;
    uint64_t offset = 0;
    for (const PlannedEntry& p : planned) {
        TorrentZipRecord record;
        record.name = p.name.bytes;
        record.utf8 = p.name.utf8;
        record.localHeaderOffset = offset;
        bool zip64 = localHeaderHasZip64(p.source->entry.uncompressedSize, 0);
        bool widen = false;
        ZipStatus status = writeEntry(source, *p.source, fd, zip64, record, widen);
        if (status == ZipStatus::Ok && widen) {
            zip64 = true;
            status = writeEntry(source, *p.source, fd, zip64, record, widen);
        }
        if (status != ZipStatus::Ok) return status;
        offset += kLocalHeaderFixedSize + record.name.size() + (zip64 ? kZip64LocalExtraSize : 0) +
                  record.compressedSize;
        directory += centralRecord(record);
    }
    directory += endRecords(planned.size(), offset, directory.size(), crcOf(directory));
    return writeAllAt(source.ops, fd, directory.data(), directory.size(), offset) ? ZipStatus::Ok : ZipStatus::Error;
}

// The written archive, listed afresh, holds exactly the planned entries.
bool writtenAsPlanned(const std::string& path, FileOps& ops, const std::vector<PlannedEntry>& planned) {
    const ZipListing written(path, ops);
    if (written.listStatus() != ZipStatus::Ok || written.entries().size() != planned.size()) return false;
    for (size_t i = 0; i < planned.size(); ++i) {
        const ZipEntry& got = written.entries()[i];
        const ZipEntry& want = planned[i].source->entry;
        if (got.name != planned[i].name.bytes || got.crc32 != want.crc32 || got.uncompressedSize != want.uncompressedSize)
            return false;
    }
    return isTorrentZip(path, ops);
}

// Copies `from` to the new file `to` and syncs it; on failure `to` is gone.
bool copyFile(FileOps& ops, const std::string& from, const std::string& to) {
    Descriptor in(ops, ops.openRead(from));
    if (!in.ok()) return false;
    Descriptor out(ops, ops.createNew(to));
    if (!out.ok()) return false;
    std::unique_ptr<char[]> block(new (std::nothrow) char[kCopyBlockSize]);
    bool copied = block != nullptr;
    for (uint64_t offset = 0; copied;) {
        const ssize_t n = ops.readAt(in.get(), block.get(), kCopyBlockSize, offset);
        if (n == 0) break;
        copied = n > 0 && writeAllAt(ops, out.get(), block.get(), static_cast<size_t>(n), offset);
        offset += static_cast<uint64_t>(std::max<ssize_t>(n, 0));
    }
    copied = copied && ops.sync(out.get()) == 0;
    copied = out.close() && copied;
    if (!copied) ops.remove(to);
    return copied;
}

// Puts the new archive `temp` in place of `path`, the original going into
// `keepIn` under a free name (`keptAs`). A move across file systems copies
// the original first. On failure the original is back where it was.
ZipStatus replaceKeepingOriginal(FileOps& ops, const std::string& path, const std::string& temp,
                                 const std::string& keepIn, std::string& keptAs) {
    if (!isDirectory(keepIn) && !makeFolders(keepIn)) return ZipStatus::CannotReplace;
    const std::string folder = dirName(path);
    // A name taken meanwhile by someone else: try the next free one.
    for (int attempt = 0; attempt < 3; ++attempt) {
        keptAs = joinPath(keepIn, freeNameIn(keepIn, baseName(path)));
        if (ops.renameNoReplace(path, keptAs) == 0) {
            if (ops.renameNoReplace(temp, path) != 0) {
                ops.renameNoReplace(keptAs, path);
                return ZipStatus::CannotReplace;
            }
            ops.syncFolder(keepIn);
            ops.syncFolder(folder);
            return ZipStatus::Ok;
        }
        if (errno == EXDEV) {
            if (!copyFile(ops, path, keptAs)) return ZipStatus::CannotReplace;
            ops.syncFolder(keepIn);
            if (ops.rename(temp, path) != 0) {
                ops.remove(keptAs);
                return ZipStatus::CannotReplace;
            }
            ops.syncFolder(folder);
            return ZipStatus::Ok;
        }
        if (errno != EEXIST) break;
    }
    return ZipStatus::CannotReplace;
}

}  // namespace

bool isTorrentZip(const std::string& path, FileOps& ops) {
    Descriptor file(ops, ops.openRead(path));
    TorrentZipEnd end;
    if (!file.ok() || !readTorrentZipEnd(ops, file.get(), end)) return false;
    return directoryCrc(ops, file.get(), end) == end.commentCrc;
}

ZipStatus torrentZipArchive(const std::string& path, const std::string& keepOriginalIn, bool* changed,
                            std::string* keptAs) {
    FileOps& ops = fileOps();
    if (changed) *changed = false;
    if (keptAs) keptAs->clear();
    if (alreadyTorrentZip(path, ops)) return ZipStatus::Ok;

    Unzip unzip;
    std::vector<SourceEntry> sources;
    ZipStatus status = listSource(path, ops, unzip, sources);
    if (status != ZipStatus::Ok) return status;
    const std::vector<PlannedEntry> planned = planEntries(sources);

    const std::string folder = dirName(path);
    const std::string temp = uniqueTempPath(folder, baseName(path));
    Descriptor out(ops, ops.createNew(temp));
    if (!out.ok()) return ZipStatus::Error;
    // From here on, every way out but success removes the new file.
    struct RemoveUnlessKept {
        FileOps& ops;
        const std::string& path;
        bool keep = false;
        ~RemoveUnlessKept() {
            if (!keep) ops.remove(path);
        }
    } cleanup{ops, temp};

    status = writeArchive(ZipSource{unzip.zip, path, ops}, planned, out.get());
    if (status == ZipStatus::Ok && ops.sync(out.get()) != 0) status = ZipStatus::Error;
    if (!out.close() && status == ZipStatus::Ok) status = ZipStatus::Error;
    if (status != ZipStatus::Ok) return status;
    if (!writtenAsPlanned(temp, ops, planned)) return ZipStatus::Error;

    std::string kept;
    if (keepOriginalIn.empty()) {
        if (ops.rename(temp, path) != 0) return ZipStatus::CannotReplace;
        ops.syncFolder(folder);
    } else {
        status = replaceKeepingOriginal(ops, path, temp, keepOriginalIn, kept);
        if (status != ZipStatus::Ok) return status;
    }
    cleanup.keep = true;
    if (changed) *changed = true;
    if (keptAs) *keptAs = std::move(kept);
    return ZipStatus::Ok;
}

}  // namespace quorvane
