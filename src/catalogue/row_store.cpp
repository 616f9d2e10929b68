#include "catalogue/row_store.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "catalogue/catalogue_repair.h"
#include "core/crash_point.h"
#include "core/file_util.h"
#include "keyfile/key_file_format.h"
#include "keyfile/key_file_internal.h"

namespace quorvane {

namespace {

// Pending ranges closer than this are journalled and written as one, in
// runs of at most kMaxJoin bytes: a scan's status bytes lie a row apart all
// over a system, and one run would otherwise hold it all in memory twice.
constexpr std::uint64_t kJoinGap = 256;
constexpr std::uint64_t kMaxJoin = 1 << 20;

// The end of the run of pending ranges that starts at `it`; `it` moves past it.
template <class Iterator>
std::uint64_t endOfJoinedRun(Iterator& it, Iterator end) {
    const std::uint64_t lo = it->first;
    std::uint64_t hi = lo + it->second.size();
    for (++it; it != end && it->first <= hi + kJoinGap && it->first + it->second.size() - lo <= kMaxJoin; ++it)
        hi = it->first + it->second.size();
    return hi;
}

constexpr size_t kGameIndexCacheBlocks = 64;


}  // namespace

bool RowStore::parseOffset(const std::string& text, std::uint64_t& out) { return KeyIndex::parseOffset(text, out); }

RowStore::RowStore(const std::string& basePath)
    : sysIndex(basePath + "_sys.idx"),
      crcIndex(basePath + "_crc.idx"),
      sysCatIndex(basePath + "_sysCat.idx"),
      delIndex(basePath + "_del.idx"),
      gameIndex(basePath + "_game.idx"),
      basePath_(basePath),
      recordPath_(basePath + ".rcf"),
      journal_(basePath + ".jnl", filePaths()) {}

RowStore::~RowStore() { close(); }

std::array<std::string, Journal::kFiles> RowStore::filePaths() const {
    return {basePath_ + ".rcf", basePath_ + "_sys.idx", basePath_ + "_crc.idx", basePath_ + "_sysCat.idx",
            basePath_ + "_del.idx", basePath_ + "_game.idx"};
}

StoreStatus RowStore::openIndexes() {
    StoreStatus result = sysCatIndex.open();
    if (result == StoreStatus::Ok) result = sysIndex.open();
    if (result == StoreStatus::Ok) result = crcIndex.open();
    if (result == StoreStatus::Ok) result = delIndex.open();
    // Nothing lists the games of the import's scratch database.
    if (result == StoreStatus::Ok && durable_) result = gameIndex.open();
    // Rows come in game by game and are asked for one game at a time: the
    // game index needs a small share of the cache, which the CRC index's
    // random lookups use better.
    if (result == StoreStatus::Ok && gameIndex.isOpen()) keyfile::setCacheShare(gameIndex.handle(), kGameIndexCacheBlocks);
    return result;
}

std::string RowStore::gameKey(std::string_view system, std::string_view game) {
    std::string key;
    key.reserve(system.size() + 1 + game.size());
    key.append(system).push_back('\0');
    key.append(game);
    if (key.size() > static_cast<size_t>(keyfile::kMaxKeyLength)) key.resize(keyfile::kMaxKeyLength);
    return key;
}

StoreStatus RowStore::buildGameIndex() {
    std::string key, data;
    if (!gameIndex.isOpen() || gameIndex.first(key) == StoreStatus::Ok || sysIndex.first(key) != StoreStatus::Ok)
        return StoreStatus::Ok;
    std::vector<std::uint64_t> offsets;
    do {
        std::uint64_t offset;
        if (sysIndex.read(data) == StoreStatus::Ok && parseOffset(data, offset)) offsets.push_back(offset);
    } while (sysIndex.next(key) == StoreStatus::Ok);
    RowBuffer buffer;
    RowView row;
    for (std::uint64_t offset : offsets) {
        // A row that cannot be read is the check's to report; it has no game to file.
        if (readRow(offset, buffer, row) != StoreStatus::Ok) continue;
        if (gameIndex.insert(gameKey(row.system, row.game), std::to_string(offset)) != StoreStatus::Ok)
            return StoreStatus::IndexFailed;
    }
    return commit();
}

StoreStatus RowStore::open() {
    if (fd_ >= 0) return StoreStatus::Ok;
    const StoreStatus rc = openRecordFile();
    if (rc != StoreStatus::Ok) return rc;
    StoreStatus result = openIndexes();
    if (result != StoreStatus::Ok) {
        close();
        return result;
    }
    if (durable_) beginTransaction();
    result = buildGameIndex();
    if (result != StoreStatus::Ok) {
        rollBackNow();
        close();
        return result;
    }
    return StoreStatus::Ok;
}

StoreStatus RowStore::lockFiles() {
    if (fd_ >= 0) return StoreStatus::Ok;
    return openRecordFile();
}

StoreStatus RowStore::openRecordFile() {
    // A repair that a crash cut short after it was done is completed first.
    finishRepair(basePath_);
    const int fd = ::open(recordPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno == EACCES || errno == EROFS || errno == EPERM ? StoreStatus::ReadOnly : StoreStatus::NotOpen;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return StoreStatus::InUse;
    }
    auto fail = [&](StoreStatus code) {
        ::flock(fd, LOCK_UN);
        ::close(fd);
        return code;
    };
    // A journal left by a crash: the lock is ours, so no one else is writing.
    if (durable_ && Journal::rollBack(journalPath(), filePaths()) != 0) return fail(StoreStatus::RollbackFailed);
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail(StoreStatus::NotOpen);
    fd_ = fd;
    cache_.clear();
    end_ = static_cast<std::uint64_t>(st.st_size);
    startEnd_ = end_;
    written_ = false;
    return StoreStatus::Ok;
}

int RowStore::beforeWrite(void* self) { return static_cast<RowStore*>(self)->journal_.makeDurable(); }

void RowStore::beginTransaction() {
    Journal::Origin origin;
    origin.recordLength = end_;
    origin.blocksPerFile = kKeyFileBlocksPerPhysicalFile;
    const auto indexes = keyIndexes();
    for (size_t i = 0; i < indexes.size(); ++i) {
        const int count = indexes[i]->handle() ? keyFileBeginBatch(indexes[i]->handle(), &beforeWrite, this) : -1;
        origin.blockCounts[i] = count > 0 ? static_cast<std::uint32_t>(count) : 0;
    }
    startEnd_ = end_;
    pending_.clear();
    journal_.begin(origin);
}

bool RowStore::flushAppends() {
    if (appended_.empty()) return true;
    if (durable_ && journal_.makeDurable() != 0) return false;
    if (!writeFile(appended_.data(), appended_.size(), end_ - appended_.size())) return false;
    written_ = true;
    appended_.clear();
    return true;
}

void RowStore::keepPending(const char* data, size_t size, std::uint64_t offset) {
    const std::uint64_t end = offset + size;
    auto it = pending_.upper_bound(offset);
    if (it != pending_.begin()) {
        auto before = std::prev(it);
        const std::uint64_t beforeEnd = before->first + before->second.size();
        if (beforeEnd >= end) {  // inside one kept range: the common status write
            before->second.replace(static_cast<size_t>(offset - before->first), size, data, size);
            return;
        }
        if (beforeEnd >= offset) it = before;
    }
    // Merge every range that overlaps or touches the new one: together they
    // cover one interval without gaps.
    std::uint64_t lo = offset, hi = end;
    auto last = it;
    while (last != pending_.end() && last->first <= end) {
        lo = std::min(lo, last->first);
        hi = std::max<std::uint64_t>(hi, last->first + last->second.size());
        ++last;
    }
    std::string merged(static_cast<size_t>(hi - lo), '\0');
    for (auto j = it; j != last; ++j) merged.replace(static_cast<size_t>(j->first - lo), j->second.size(), j->second);
    merged.replace(static_cast<size_t>(offset - lo), size, data, size);
    pending_.erase(it, last);
    pending_.emplace(lo, std::move(merged));
}

void RowStore::patchPending(char* out, size_t size, std::uint64_t offset) const {
    const std::uint64_t end = offset + size;
    auto it = pending_.upper_bound(offset);
    if (it != pending_.begin()) --it;
    for (; it != pending_.end() && it->first < end; ++it) {
        const std::uint64_t from = std::max(offset, it->first);
        const std::uint64_t to = std::min<std::uint64_t>(end, it->first + it->second.size());
        if (from < to)
            std::copy_n(it->second.data() + (from - it->first), static_cast<size_t>(to - from), out + (from - offset));
    }
}

bool RowStore::writeAt(const char* data, size_t size, std::uint64_t offset) {
    if (durable_ && offset < startEnd_) {
        // Rows never straddle the old end: a row is wholly old or appended.
        keepPending(data, size, offset);
        return true;
    }
    const std::uint64_t bufferAt = end_ - appended_.size();
    if (offset + size <= bufferAt)
        return (!durable_ || journal_.makeDurable() == 0) && writeFile(data, size, offset);
    if (offset >= bufferAt && offset + size <= end_) {
        appended_.replace(static_cast<size_t>(offset - bufferAt), size, data, size);
        return true;
    }
    return flushAppends() && writeFile(data, size, offset);
}

bool RowStore::writeFile(const char* data, size_t size, std::uint64_t offset) {
    if (writeAllAt(fd_, data, size, offset)) {
        cache_.wrote(data, size, offset);
        return true;
    }
    cache_.clear();  // part of it may have reached the file
    return false;
}

ssize_t RowStore::readAt(char* out, size_t size, std::uint64_t offset) {
    const std::uint64_t bufferAt = end_ - appended_.size();
    size_t got = 0;
    if (offset < bufferAt) {
        const size_t fromFile = static_cast<size_t>(std::min<std::uint64_t>(size, bufferAt - offset));
        const ssize_t n = cache_.read(fd_, out, fromFile, offset);
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
    if (!pending_.empty() && offset < startEnd_) patchPending(out, got, offset);
    return static_cast<ssize_t>(got);
}

// The old bytes of every block and byte range the transaction changed go to
// the journal. Pending ranges are read from the disk, which still holds
// them as they were.
StoreStatus RowStore::journalOldBytes() {
    const auto indexes = keyIndexes();
    struct Context {
        Journal* journal;
        std::uint8_t file;
    };
    for (size_t i = 0; i < indexes.size(); ++i) {
        if (!indexes[i]->handle()) continue;
        Context context{&journal_, static_cast<std::uint8_t>(i + 1)};
        unsigned start = 0;
        const auto visit = [](void* c, unsigned block, const unsigned char* bytes) {
            auto* ctx = static_cast<Context*>(c);
            return ctx->journal->add(ctx->file, std::uint64_t{block} * 4096, bytes, 4096);
        };
        if (keyFileBatchOriginals(indexes[i]->handle(), &start, visit, &context) != 0) return StoreStatus::WriteFailed;
    }
    std::string old;
    for (auto it = pending_.begin(); it != pending_.end();) {
        const std::uint64_t lo = it->first;
        const std::uint64_t hi = endOfJoinedRun(it, pending_.end());
        old.resize(static_cast<size_t>(hi - lo));
        ssize_t n;
        do {
            n = ::pread(fd_, old.data(), old.size(), static_cast<off_t>(lo));
        } while (n < 0 && errno == EINTR);
        if (n != static_cast<ssize_t>(old.size())) return StoreStatus::WriteFailed;
        if (journal_.add(0, lo, old.data(), old.size()) != 0) return StoreStatus::WriteFailed;
    }
    return StoreStatus::Ok;
}

// Writes the pending ranges, joined as the journal holds them.
bool RowStore::writePending() {
    std::string bytes;
    for (auto it = pending_.begin(); it != pending_.end();) {
        const auto first = it;
        const std::uint64_t lo = it->first;
        const std::uint64_t hi = endOfJoinedRun(it, pending_.end());
        bytes.resize(static_cast<size_t>(hi - lo));
        if (std::next(first) != it) {
            ssize_t n;
            do {
                n = ::pread(fd_, bytes.data(), bytes.size(), static_cast<off_t>(lo));
            } while (n < 0 && errno == EINTR);
            if (n != static_cast<ssize_t>(bytes.size())) return false;
        }
        for (auto j = first; j != it; ++j) bytes.replace(static_cast<size_t>(j->first - lo), j->second.size(), j->second);
        if (!writeFile(bytes.data(), bytes.size(), lo)) return false;
        written_ = true;
    }
    pending_.clear();
    return true;
}

void RowStore::rollBackNow() {
    for (KeyIndex* index : keyIndexes()) index->abandon();
    pending_.clear();
    appended_.clear();
    journal_.begin({});
    Journal::rollBack(journalPath(), filePaths());
    cache_.clear();
    struct stat st {};
    end_ = ::fstat(fd_, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : startEnd_;
    written_ = false;
    if (openIndexes() == StoreStatus::Ok) beginTransaction();
}

StoreStatus RowStore::commit() {
    if (fd_ < 0) return StoreStatus::NotOpen;
    StoreStatus result = StoreStatus::Ok;
    if (!durable_) {
        // A scratch database is made anew each time: nothing to sync.
        if (!flushAppends()) result = StoreStatus::WriteFailed;
        written_ = false;
        for (KeyIndex* index : keyIndexes())
            if (index->isOpen() && index->flush() != StoreStatus::Ok) result = StoreStatus::IndexFlushFailed;
        return result;
    }
    // Old bytes first, synced once; then the new ones, synced once; then the
    // journal goes, which is the moment the change is committed.
    result = journalOldBytes();
    const bool changed = journal_.needed() || !pending_.empty() || !appended_.empty() || end_ > startEnd_;
    if (result == StoreStatus::Ok && changed && journal_.sync() != 0) result = StoreStatus::WriteFailed;
    if (result == StoreStatus::Ok && !flushAppends()) result = StoreStatus::WriteFailed;
    if (result == StoreStatus::Ok && !writePending()) result = StoreStatus::WriteFailed;
    if (result == StoreStatus::Ok && written_) {
        crashPoint();
        if (::fdatasync(fd_) != 0) result = StoreStatus::WriteFailed;
    }
    for (KeyIndex* index : keyIndexes())
        if (result == StoreStatus::Ok && index->handle() && keyFileEndBatch(index->handle()) != 0)
            result = StoreStatus::WriteFailed;
    if (result == StoreStatus::Ok && journal_.finish() != 0) result = StoreStatus::WriteFailed;
    if (result != StoreStatus::Ok) {
        rollBackNow();
        return result;
    }
    written_ = false;
    beginTransaction();
    return StoreStatus::Ok;
}

StoreStatus RowStore::close() {
    StoreStatus result = StoreStatus::Ok;
    if (fd_ >= 0) result = commit();
    // Nothing is left to write: the indexes close before the lock goes.
    for (KeyIndex* index : keyIndexes()) {
        const StoreStatus r = index->close();
        if (r != StoreStatus::Ok && result == StoreStatus::Ok) result = r;
    }
    if (fd_ >= 0) {
        appended_.clear();
        pending_.clear();
        cache_.clear();
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
    return result;
}

void RowStore::deleteFiles() {
    // The journal first: one left behind would roll new files back.
    ::unlink(journalPath().c_str());
    for (const char* suffix : {".rcf", "_sys.idx", "_crc.idx", "_sysCat.idx", "_del.idx", "_game.idx"})
        ::unlink((basePath_ + suffix).c_str());
}

std::string RowStore::sizeKey(const RomRow& r) {
    const size_t sum = r.system.size() + r.game.size() + r.crc.size() + r.romName.size() + r.size.size() +
                       r.md5.size() + r.sha1.size() + r.cloneOf.size() + r.romOf.size() + r.version.size() +
                       r.author.size();
    return std::to_string(sum + 8);
}

std::string RowStore::encodeRow(const RomRow& r) {
    std::string row;
    appendRow(row, romStatusLetter(r.status),
              {r.system, r.game, r.crc, r.romName, r.size, r.md5, r.sha1, r.cloneOf, r.romOf, r.version, r.author});
    return row;
}

bool RowStore::appendRow(std::string& out, char status, const RowFields& fields) {
    size_t length = 1;
    for (std::string_view f : fields) {
        if (f.size() > kMaxFieldLength) return false;
        length += 1 + f.size();
    }
    if (length > kMaxRowLength) return false;
    out.reserve(out.size() + length);
    out.push_back(status);
    for (std::string_view f : fields) {
        out.push_back(static_cast<char>(f.size()));
        out += f;
    }
    return true;
}

bool RowStore::parseRow(const char* bytes, size_t length, RowView& r, size_t* used) {
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

StoreStatus RowStore::readRow(std::uint64_t recordOffset, RowBuffer& buffer, RowView& r, size_t* rowLength) {
    if (fd_ < 0) return StoreStatus::NotOpen;
    auto parse = [&](size_t length) { return parseRow(buffer, length, r, rowLength); };
    // Most rows are under 256 bytes: read that much first, and the rest of
    // the longest possible row only when the row goes on past it. Lookups
    // read rows at random, so every byte copied is a cache miss.
    constexpr size_t kFirstRead = 256;
    const ssize_t n = readAt(buffer, kFirstRead, recordOffset);
    if (n < 1) return StoreStatus::BadRow;
    if (parse(static_cast<size_t>(n))) return StoreStatus::Ok;
    if (static_cast<size_t>(n) < kFirstRead) return StoreStatus::BadRow;  // the file ends inside the row
    const ssize_t rest = readAt(buffer + kFirstRead, sizeof buffer - kFirstRead, recordOffset + kFirstRead);
    if (rest < 0) return StoreStatus::BadRow;
    return parse(kFirstRead + static_cast<size_t>(rest)) ? StoreStatus::Ok : StoreStatus::BadRow;
}

StoreStatus RowStore::readRecord(std::uint64_t recordOffset, RomRow& r) {
    RowBuffer buffer;
    RowView v;
    const StoreStatus result = readRow(recordOffset, buffer, v);
    if (result == StoreStatus::Ok) copyRow(v, r);
    return result;
}

void RowStore::copyRow(const RowView& v, RomRow& r) {
    // Kept as read: a damaged byte is the check's to report and the repair's to mend.
    r.status = static_cast<RomStatus>(v.status);
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
}

StoreStatus RowStore::writeStatus(std::uint64_t recordOffset, RomStatus status) {
    if (fd_ < 0) return StoreStatus::NotOpen;
    const char letter = romStatusLetter(status);
    if (!writeAt(&letter, 1, recordOffset)) return StoreStatus::WriteFailed;
    written_ = true;
    return StoreStatus::Ok;
}

void RowStore::removeIndexEntry(KeyIndex& index, const std::string& key, const std::string& offset) {
    if (index.find(key) != StoreStatus::Ok) return;
    std::string data, k;
    do {
        if (index.read(data) == StoreStatus::Ok && data == offset) {
            index.deleteCurrent();
            return;
        }
    } while (index.next(k) == StoreStatus::Ok && k == key);
}

StoreStatus RowStore::insertRecord(const RomRow& record) {
    if (fd_ < 0) return StoreStatus::NotOpen;
    const std::string row = encodeRow(record);
    if (row.empty()) return StoreStatus::RowTooLarge;
    if (record.system.empty()) return StoreStatus::BadRow;

    const std::string freedKey = sizeKey(record);
    std::uint64_t offset = 0;
    bool reuse = false;
    std::string data;
    if (delIndex.find(freedKey) == StoreStatus::Ok && delIndex.read(data) == StoreStatus::Ok &&
        parseOffset(data, offset)) {
        reuse = true;
    } else {
        offset = end_;
    }
    const std::string offsetText = std::to_string(offset);
    const std::string crcKey = record.crc + record.size;
    const std::string game = gameKey(record.system, record.game);

    // Index entries first, each checked; a failure undoes the earlier ones so
    // no index names a row that was never written.
    if (sysIndex.insert(record.system, offsetText) != StoreStatus::Ok) return StoreStatus::IndexFailed;
    if (crcIndex.insert(crcKey, offsetText) != StoreStatus::Ok) {
        removeIndexEntry(sysIndex, record.system, offsetText);
        return StoreStatus::IndexFailed;
    }
    if (gameIndex.isOpen() && gameIndex.insert(game, offsetText) != StoreStatus::Ok) {
        removeIndexEntry(crcIndex, crcKey, offsetText);
        removeIndexEntry(sysIndex, record.system, offsetText);
        return StoreStatus::IndexFailed;
    }
    bool newSystem = false;
    if (sysCatIndex.find(record.system) != StoreStatus::Ok) {
        if (sysCatIndex.insert(record.system, "N") != StoreStatus::Ok) {
            removeIndexEntry(gameIndex, game, offsetText);
            removeIndexEntry(crcIndex, crcKey, offsetText);
            removeIndexEntry(sysIndex, record.system, offsetText);
            return StoreStatus::IndexFailed;
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
        removeIndexEntry(gameIndex, game, offsetText);
        removeIndexEntry(crcIndex, crcKey, offsetText);
        removeIndexEntry(sysIndex, record.system, offsetText);
        if (newSystem && sysCatIndex.find(record.system) == StoreStatus::Ok) sysCatIndex.deleteCurrent();
        return StoreStatus::WriteFailed;
    }
    written_ = true;
    end_ = std::max<std::uint64_t>(end_, offset + row.size());
    // The oldest freed slot of this size is used up now.
    if (reuse && delIndex.find(freedKey) == StoreStatus::Ok) delIndex.deleteCurrent();
    return StoreStatus::Ok;
}

}  // namespace quorvane
