#include "db/table.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace quorvane {

namespace {

bool writeAll(int fd, const char* data, size_t size, std::uint64_t offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}


}  // namespace

bool table::parseOffset(const std::string& text, std::uint64_t& out) {
    if (text.empty() || text.size() > 19) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    out = v;
    return true;
}

table::table(const std::string& basePath)
    : sysIndex(basePath + "_sys.idx"),
      crcIndex(basePath + "_crc.idx"),
      sysCatIndex(basePath + "_sysCat.idx"),
      delIndex(basePath + "_del.idx"),
      basePath_(basePath),
      recordPath_(basePath + ".rcf") {}

table::~table() { close(); }

int table::open() {
    if (fd_ >= 0) return 0;
    const int fd = ::open(recordPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return kNotOpen;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return kInUse;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::flock(fd, LOCK_UN);
        ::close(fd);
        return kNotOpen;
    }
    fd_ = fd;
    end_ = static_cast<std::uint64_t>(st.st_size);
    written_ = false;
    int result = sysCatIndex.open();
    if (result == 0) result = sysIndex.open();
    if (result == 0) result = crcIndex.open();
    if (result == 0) result = delIndex.open();
    if (result != 0) close();
    return result;
}

bool table::flushAppends() {
    if (appended_.empty()) return true;
    if (!writeAll(fd_, appended_.data(), appended_.size(), end_ - appended_.size())) return false;
    appended_.clear();
    return true;
}

bool table::writeAt(const char* data, size_t size, std::uint64_t offset) {
    const std::uint64_t bufferAt = end_ - appended_.size();
    if (offset + size <= bufferAt) return writeAll(fd_, data, size, offset);
    if (offset >= bufferAt && offset + size <= end_) {
        appended_.replace(static_cast<size_t>(offset - bufferAt), size, data, size);
        return true;
    }
    return flushAppends() && writeAll(fd_, data, size, offset);
}

ssize_t table::readAt(char* out, size_t size, std::uint64_t offset) {
    const std::uint64_t bufferAt = end_ - appended_.size();
    size_t got = 0;
    if (offset < bufferAt) {
        const size_t fromFile = static_cast<size_t>(std::min<std::uint64_t>(size, bufferAt - offset));
        ssize_t n;
        do {
            n = ::pread(fd_, out, fromFile, static_cast<off_t>(offset));
        } while (n < 0 && errno == EINTR);
        if (n < 0) return n;
        got = static_cast<size_t>(n);
        if (got < fromFile) return static_cast<ssize_t>(got);
    }
    const std::uint64_t at = offset + got;
    if (got < size && at >= bufferAt && at < end_) {
        const size_t n = static_cast<size_t>(std::min<std::uint64_t>(size - got, end_ - at));
        appended_.copy(out + got, n, static_cast<size_t>(at - bufferAt));
        got += n;
    }
    return static_cast<ssize_t>(got);
}

int table::close() {
    int result = 0;
    if (fd_ >= 0) {
        if (!flushAppends()) {
            result = kWriteFailed;
            appended_.clear();
        }
        if (written_ && ::fdatasync(fd_) != 0) result = kWriteFailed;
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
    for (btreeImpl* index : {&sysCatIndex, &sysIndex, &crcIndex, &delIndex}) {
        const int r = index->close();
        if (r != 0) result = r;
    }
    return result;
}

void table::deleteFiles() {
    for (const char* suffix : {".rcf", "_sys.idx", "_crc.idx", "_sysCat.idx", "_del.idx"})
        ::unlink((basePath_ + suffix).c_str());
}

std::string table::sizeKey(const SimpleRecord& r) {
    const size_t sum = r.system.size() + r.game.size() + r.crc.size() + r.romName.size() + r.size.size() +
                       r.md5.size() + r.sha1.size() + r.cloneOf.size() + r.romOf.size() + r.version.size() +
                       r.author.size();
    return std::to_string(sum + 8);
}

std::string table::encodeRow(const SimpleRecord& r) {
    const std::string* fields[] = {&r.system, &r.game, &r.crc,     &r.romName, &r.size,  &r.md5,
                                   &r.sha1,   &r.cloneOf, &r.romOf, &r.version, &r.author};
    std::string row(1, r.status);
    for (const std::string* f : fields) {
        if (f->size() > kMaxFieldLength) return {};
        row.push_back(static_cast<char>(f->size()));
        row += *f;
    }
    if (row.size() > kMaxRowLength) return {};
    return row;
}

bool table::parseRow(const char* bytes, size_t length, RowView& r, size_t* used) {
    if (length < 1) return false;
    r.status = bytes[0];
    std::string_view* fields[] = {&r.system, &r.game, &r.crc,     &r.romName, &r.size,  &r.md5,
                                  &r.sha1,   &r.cloneOf, &r.romOf, &r.version, &r.author};
    size_t pos = 1;
    for (std::string_view* f : fields) {
        if (pos >= length) return false;
        const size_t fieldLength = static_cast<unsigned char>(bytes[pos++]);
        if (pos + fieldLength > length) return false;
        *f = std::string_view(bytes + pos, fieldLength);
        pos += fieldLength;
    }
    if (used) *used = pos;
    return true;
}

int table::readRow(std::uint64_t recordOffset, RowBuffer& buffer, RowView& r, size_t* rowLength) {
    if (fd_ < 0) return kNotOpen;
    auto read = [&](size_t want) { return readAt(buffer, want, recordOffset); };
    auto parse = [&](size_t length) { return parseRow(buffer, length, r, rowLength); };
    // Most rows are a few hundred bytes: read that much first, and the
    // longest possible row only when the row goes on past it.
    constexpr size_t kFirstRead = 512;
    ssize_t n = read(kFirstRead);
    if (n < 1) return kBadRow;
    if (parse(static_cast<size_t>(n))) return 0;
    if (static_cast<size_t>(n) < kFirstRead) return kBadRow;  // the file ends inside the row
    n = read(sizeof buffer);
    if (n < 1) return kBadRow;
    return parse(static_cast<size_t>(n)) ? 0 : kBadRow;
}

int table::readRecord(std::uint64_t recordOffset, SimpleRecord& r) {
    RowBuffer buffer;
    RowView v;
    const int result = readRow(recordOffset, buffer, v);
    if (result != 0) return result;
    r.status = v.status;
    r.system.assign(v.system);
    r.game.assign(v.game);
    r.crc.assign(v.crc);
    r.romName.assign(v.romName);
    r.size.assign(v.size);
    r.md5.assign(v.md5);
    r.sha1.assign(v.sha1);
    r.cloneOf.assign(v.cloneOf);
    r.romOf.assign(v.romOf);
    r.version.assign(v.version);
    r.author.assign(v.author);
    return 0;
}

int table::writeStatus(std::uint64_t recordOffset, char status) {
    if (fd_ < 0) return kNotOpen;
    if (!writeAt(&status, 1, recordOffset)) return kWriteFailed;
    written_ = true;
    return 0;
}

void table::removeIndexEntry(btreeImpl& index, const std::string& key, const std::string& offset) {
    if (index.find(key) != 0) return;
    std::string data, k;
    do {
        if (index.read(data) > 0 && data == offset) {
            index.deleteCurrent();
            return;
        }
    } while (index.next(k) == 0 && k == key);
}

int table::insertRecord(const SimpleRecord& record) {
    if (fd_ < 0) return kNotOpen;
    const std::string row = encodeRow(record);
    if (row.empty()) return kRowTooLarge;
    if (record.system.empty()) return kBadRow;

    const std::string freedKey = sizeKey(record);
    std::uint64_t offset = 0;
    bool reuse = false;
    std::string data;
    if (delIndex.find(freedKey) == 0 && delIndex.read(data) > 0 && parseOffset(data, offset)) {
        reuse = true;
    } else {
        offset = end_;
    }
    const std::string offsetText = std::to_string(offset);
    const std::string crcKey = record.crc + record.size;

    // Index entries first, each checked; a failure undoes the earlier ones so
    // no index names a row that was never written.
    if (sysIndex.insert(record.system, offsetText) != 0) return kIndexFailed;
    if (crcIndex.insert(crcKey, offsetText) != 0) {
        removeIndexEntry(sysIndex, record.system, offsetText);
        return kIndexFailed;
    }
    bool newSystem = false;
    if (sysCatIndex.find(record.system) != 0) {
        if (sysCatIndex.insert(record.system, "N") != 0) {
            removeIndexEntry(crcIndex, crcKey, offsetText);
            removeIndexEntry(sysIndex, record.system, offsetText);
            return kIndexFailed;
        }
        newSystem = true;
    }
    const bool appending = offset == end_;
    bool stored;
    if (appending) {
        appended_ += row;
        end_ += row.size();
        stored = appended_.size() < kAppendBuffer || flushAppends();
        if (!stored) {
            appended_.resize(appended_.size() - row.size());
            end_ -= row.size();
        }
    } else {
        stored = writeAt(row.data(), row.size(), offset);
    }
    if (!stored) {
        removeIndexEntry(crcIndex, crcKey, offsetText);
        removeIndexEntry(sysIndex, record.system, offsetText);
        if (newSystem && sysCatIndex.find(record.system) == 0) sysCatIndex.deleteCurrent();
        return kWriteFailed;
    }
    written_ = true;
    end_ = std::max<std::uint64_t>(end_, offset + row.size());
    // The oldest freed slot of this size is used up now.
    if (reuse && delIndex.find(freedKey) == 0) delIndex.deleteCurrent();
    return 0;
}

}  // namespace quorvane
