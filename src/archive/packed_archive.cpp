#include "archive/packed_archive.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <set>
#include <utility>

#include "archive/digest_set.h"
#include "archive/entry_output.h"
#include "archive/file_ops.h"
#include "archive/packed_reader.h"
#include "archive/zip_reader.h"
#include "core/file_util.h"
#include "core/text.h"

namespace quorvane {

namespace {

struct Extension {
    std::string_view text;
    PackedFormat format;
};

// Longest first, so ".tar.gz" is found before ".gz".
constexpr Extension kExtensions[] = {
    {".tar.bz2", PackedFormat::Tar}, {".tar.gz", PackedFormat::Tar}, {".tar.xz", PackedFormat::Tar},
    {".tbz2", PackedFormat::Tar},    {".tgz", PackedFormat::Tar},    {".txz", PackedFormat::Tar},
    {".tar", PackedFormat::Tar},     {".rar", PackedFormat::Rar},    {".7z", PackedFormat::SevenZip},
    {".gz", PackedFormat::Gzip},
};

const Extension* extensionOf(std::string_view fileName) {
    for (const Extension& e : kExtensions)
        if (endsWithIgnoreCase(fileName, e.text)) return &e;
    return nullptr;
}

}  // namespace

PackedFormat packedFormatOf(std::string_view fileName) {
    const Extension* e = extensionOf(fileName);
    return e ? e->format : PackedFormat::None;
}

std::string packedStem(std::string_view fileName) {
    const Extension* e = extensionOf(fileName);
    const size_t cut = endsWithIgnoreCase(fileName, ".zip") ? 4 : e ? e->text.size() : 0;
    return std::string(fileName.substr(0, fileName.size() > cut ? fileName.size() - cut : fileName.size()));
}

PackedListing listPacked(const std::string& path, bool wantMd5, bool wantSha1) {
    return listPacked(path, packedFormatOf(path), wantMd5, wantSha1);
}

PackedListing listPacked(const std::string& path, PackedFormat format, bool wantMd5, bool wantSha1) {
    PackedListing out;
    PackedReader reader;
    ZipStatus status = reader.open(path, format);
    while (status == ZipStatus::Ok && (status = reader.next()) == ZipStatus::Ok) {
        PackedEntry entry;
        entry.name = reader.name();
        DigestSet digests(true, wantMd5, wantSha1);
        if (!digests.ready()) {
            status = ZipStatus::MemoryError;
            break;
        }
        status = reader.read([&](const void* data, size_t size) {
            digests.update(data, size);
            if (entry.head.size() < kPackedHeadBytes)
                entry.head.append(static_cast<const char*>(data), std::min(size, kPackedHeadBytes - entry.head.size()));
            entry.size += size;
            return true;
        });
        if (status != ZipStatus::Ok) break;
        std::string crcText;
        digests.finish(crcText, entry.md5, entry.sha1);
        entry.crc32 = digests.crc();
        out.entries.push_back(std::move(entry));
    }
    if (status != ZipStatus::EndOfList) {
        out.status = status;
        out.detail = reader.detail();
        out.entries.clear();
    }
    return out;
}

ZipStatus readPackedEntry(const std::string& path, const EntryKey& key,
                          const std::function<bool(const void* data, size_t size)>& sink) {
    PackedReader reader;
    ZipStatus status = reader.open(path, packedFormatOf(path));
    if (status != ZipStatus::Ok) return status;
    while ((status = reader.next()) == ZipStatus::Ok) {
        if (reader.name() != key.name || (reader.sizeKnown() && reader.size() != key.size)) continue;
        DigestSet digests(true, false, false);
        uint64_t size = 0;
        bool tooLong = false;
        status = reader.read([&](const void* data, size_t n) {
            // Stops a gzip that inflates past what was listed before it fills a disk.
            if ((size += n) > key.size) return !(tooLong = true);
            digests.update(data, n);
            return sink(data, n);
        });
        if (tooLong) return ZipStatus::CrcError;
        if (status != ZipStatus::Ok) return status;
        return size == key.size && digests.crc() == key.crc32 ? ZipStatus::Ok : ZipStatus::CrcError;
    }
    return status == ZipStatus::EndOfList ? ZipStatus::EntryGone : status;
}

namespace {

// One entry's data on its way to a file: a temporary file beside the final
// name, removed unless finished.
class PendingFile {
public:
    explicit PendingFile(FileOps& ops) : ops_(&ops) {}
    ~PendingFile() { discard(); }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    PendingFile(PendingFile&& other) noexcept
        : ops_(other.ops_), temp_(std::move(other.temp_)), fd_(std::exchange(other.fd_, -1)), written_(other.written_) {
        other.temp_.clear();
    }

    bool create(const std::string& folder, const std::string& name) {
        temp_ = uniqueTempPath(folder, name);
        fd_ = ops_->createNew(temp_);
        if (fd_ < 0) temp_.clear();
        return fd_ >= 0;
    }
    bool write(const void* data, size_t size) {
        if (!writeAllAt(*ops_, fd_, data, size, written_)) return false;
        written_ += size;
        return true;
    }
    // Closes the file, dated `when` (unless -1), synced first if asked.
    bool close(time_t when, bool sync) {
        if (when != static_cast<time_t>(-1)) ops_->setModifiedTime(fd_, when);
        bool ok = !sync || ops_->sync(fd_) == 0;
        ok = ops_->close(std::exchange(fd_, -1)) == 0 && ok;
        return ok;
    }
    const std::string& temp() const { return temp_; }
    // The file now has its final name: nothing to clean up.
    void release() { temp_.clear(); }
    void discard() {
        if (fd_ >= 0) ops_->close(std::exchange(fd_, -1));
        if (!temp_.empty()) ops_->remove(temp_);
        temp_.clear();
    }

private:
    FileOps* ops_;
    std::string temp_;
    int fd_ = -1;
    uint64_t written_ = 0;
};

bool isUsableFileName(const std::string& name) { return !name.empty() && name != "." && name != ".."; }

}  // namespace

ZipStatus extractPacked(const std::string& path, const std::vector<std::pair<EntryKey, std::string>>& wanted) {
    FileOps& ops = fileOps();
    PackedReader reader(ops);
    ZipStatus status = reader.open(path, packedFormatOf(path));
    if (status != ZipStatus::Ok) return status;
    std::vector<bool> done(wanted.size(), false);
    size_t left = wanted.size();
    std::set<std::string> folders;
    while (left > 0 && (status = reader.next()) == ZipStatus::Ok) {
        // Every key this entry may match gets its own file; its CRC, known
        // only at the end, tells which really do.
        std::vector<size_t> targets;
        std::vector<PendingFile> files;
        for (size_t i = 0; i < wanted.size(); ++i) {
            const EntryKey& key = wanted[i].first;
            if (done[i] || key.name != reader.name() || (reader.sizeKnown() && reader.size() != key.size)) continue;
            files.emplace_back(ops);
            if (!files.back().create(dirName(wanted[i].second), baseName(wanted[i].second))) return ZipStatus::Error;
            targets.push_back(i);
        }
        if (targets.empty()) continue;
        uint64_t longest = 0;
        for (size_t i : targets) longest = std::max(longest, wanted[i].first.size);
        DigestSet digests(true, false, false);
        uint64_t size = 0;
        bool tooLong = false, writeFailed = false;
        status = reader.read([&](const void* data, size_t n) {
            if ((size += n) > longest) return !(tooLong = true);
            digests.update(data, n);
            for (PendingFile& file : files)
                if (!file.write(data, n)) return !(writeFailed = true);
            return true;
        });
        if (writeFailed) return ZipStatus::Error;
        if (tooLong) continue;  // matches none of the keys
        if (status != ZipStatus::Ok) return status;
        for (size_t t = 0; t < targets.size(); ++t) {
            const auto& [key, target] = wanted[targets[t]];
            if (key.size != size || key.crc32 != digests.crc()) continue;
            if (!files[t].close(reader.modifiedTime(), true) || ops.renameNoReplace(files[t].temp(), target) != 0)
                return ZipStatus::Error;
            files[t].release();
            done[targets[t]] = true;
            --left;
            folders.insert(dirName(target));
        }
    }
    if (status != ZipStatus::Ok && status != ZipStatus::EndOfList) return status;
    for (const std::string& folder : folders)
        if (ops.syncFolder(folder) != 0) return ZipStatus::Error;
    return left == 0 ? ZipStatus::Ok : ZipStatus::EntryGone;
}

ZipStatus extractAllPacked(const std::string& path, const std::string& folder) {
    FileOps& ops = fileOps();
    PackedReader reader(ops);
    ZipStatus status = reader.open(path, packedFormatOf(path));
    while (status == ZipStatus::Ok && (status = reader.next()) == ZipStatus::Ok) {
        // Only the last component names the file, so "../x" and "/x" land in
        // `folder` as "x"; a name ending in "/", "." or ".." names no file
        // and is passed over, as the zip side does.
        const std::string name = entryFileName(reader.name());
        if (!isUsableFileName(name)) continue;
        PendingFile file(ops);
        if (!file.create(folder, name)) return ZipStatus::Error;
        bool writeFailed = false;
        status = reader.read([&](const void* data, size_t n) { return !(writeFailed = !file.write(data, n)); });
        if (writeFailed) return ZipStatus::Error;
        if (status != ZipStatus::Ok) return status;
        std::string written;
        if (!file.close(reader.modifiedTime(), false) || moveToFreeName(ops, file.temp(), folder, name, written) != 0)
            return ZipStatus::Error;
        file.release();
    }
    return status == ZipStatus::EndOfList ? ZipStatus::Ok : status;
}

}  // namespace quorvane
