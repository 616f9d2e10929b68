#include "engine/scan_cache.h"

#include <fcntl.h>
#include <unistd.h>
#include <libdeflate.h>

#include <bit>
#include <cstring>
#include <string_view>

#include "core/file_util.h"

namespace quorvane {

namespace {

constexpr char kMagic[8] = {'Q', 'V', 'S', 'C', 'A', 'N', 'C', '\0'};

// Builds bytes in memory; given a file, it writes them out as it goes so a
// cache of a large collection never sits in memory twice.
class Writer {
public:
    Writer() = default;
    explicit Writer(int fd) : fd_(fd) {}
    void number(std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        spill();
    }
    void text(const std::string& value) {
        number(value.size(), 4);
        out_ += value;
        spill();
    }
    void raw(const char* data, size_t size) {
        out_.append(data, size);
        spill();
    }
    std::string& bytes() { return out_; }
    // Writes what is held; false once any write failed.
    bool flush() {
        if (out_.empty() || !ok_) return ok_;
        crc_ = libdeflate_crc32(crc_, out_.data(), out_.size());
        ok_ = writeAllAt(fd_, out_.data(), out_.size(), written_);
        written_ += out_.size();
        out_.clear();
        return ok_;
    }
    // The CRC-32 of every byte flushed so far.
    std::uint32_t crc() const { return crc_; }

private:
    static constexpr size_t kSpillAt = 1 << 20;
    void spill() {
        if (fd_ >= 0 && out_.size() >= kSpillAt) flush();
    }
    int fd_ = -1;
    std::string out_;
    std::uint32_t crc_ = 0;
    std::uint64_t written_ = 0;
    bool ok_ = true;
};

// Reads what Writer wrote; once anything is out of bounds every later read
// fails too, so a caller checks ok() once at the end.
class Reader {
public:
    Reader(const char* data, size_t size) : data_(data), left_(size) {}
    std::uint64_t number(int bytes) {
        if (!take(static_cast<size_t>(bytes))) return 0;
        std::uint64_t value = 0;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&value, at_, static_cast<size_t>(bytes));
            return value;
        }
        for (int i = 0; i < bytes; ++i)
            value |= std::uint64_t{static_cast<unsigned char>(at_[i])} << (8 * i);
        return value;
    }
    std::string text() { return std::string(view()); }
    // A text in place, valid while the bytes read are.
    std::string_view view() {
        const std::uint64_t size = number(4);
        if (!take(static_cast<size_t>(size))) return {};
        return {at_, static_cast<size_t>(size)};
    }
    bool raw(const char* expected, size_t size) { return take(size) && std::memcmp(at_, expected, size) == 0; }
    bool ok() const { return ok_; }
    bool atEnd() const { return ok_ && left_ == 0; }

private:
    bool take(size_t size) {
        if (!ok_ || size > left_) {
            ok_ = false;
            return false;
        }
        at_ = data_;
        data_ += size;
        left_ -= size;
        return true;
    }
    const char* data_;
    const char* at_ = nullptr;
    size_t left_;
    bool ok_ = true;
};

std::uint8_t digestBits(ScanCache::Digests digests) { return (digests.md5 ? 1 : 0) | (digests.sha1 ? 2 : 0); }

std::uint32_t crcOf(const char* bytes, size_t size) { return libdeflate_crc32(0, bytes, size); }

}  // namespace

std::string encodeListing(const std::vector<File>& files) {
    Writer out;
    out.number(files.size(), 4);
    for (const File& f : files) {
        for (const std::string* field : {&f.name, &f.size, &f.crc, &f.md5, &f.sha1}) out.text(*field);
    }
    return std::move(out.bytes());
}

bool decodeListing(const std::string& listing, std::vector<File>& files) {
    Reader in(listing.data(), listing.size());
    const std::uint64_t count = in.number(4);
    // Every file takes at least five empty texts.
    if (!in.ok() || count > listing.size() / 20) return false;
    files.clear();
    files.reserve(static_cast<size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        File& f = files.emplace_back();
        for (std::string* field : {&f.name, &f.size, &f.crc, &f.md5, &f.sha1}) *field = in.text();
    }
    return in.atEnd();
}

std::string ScanCache::pathFor(const std::string& cataloguePath, const std::string& system) {
    return cataloguePath + ".scans/" + system + ".scan";
}

ScanCache ScanCache::read(const std::string& path, const std::string& folder, Digests digests,
                          const std::string& catalogue) {
    ScanCache cache;
    // Read, not mapped: a file cut short by another program while mapped
    // would kill the process instead of failing the read.
    std::string bytes;
    if (!readWholeFile(path, bytes) || bytes.size() < sizeof kMagic + 4) return cache;
    const size_t body = bytes.size() - 4;
    Reader trailer(bytes.data() + body, 4);
    if (trailer.number(4) != crcOf(bytes.data(), body)) return cache;
    Reader in(bytes.data(), body);
    if (!in.raw(kMagic, sizeof kMagic) || in.number(4) != kVersion || in.number(1) != digestBits(digests) ||
        in.view() != folder)
        return cache;
    // Rows found under another catalogue may be other rows now; an empty
    // stamp is no catalogue at all.
    const std::string stamp = in.text();
    const bool keepRows = !stamp.empty() && stamp == catalogue;
    const std::uint64_t count = in.number(8);
    if (!in.ok()) return cache;
    // Every record takes more than 40 bytes: a count beyond that is damage.
    if (count > body / 40) return cache;
    cache.records_.reserve(static_cast<size_t>(count));
    // All records in one block that each shared record keeps alive: one
    // allocation for them all instead of one each.
    auto block = std::make_shared<std::vector<Record>>(static_cast<size_t>(count));
    for (std::uint64_t i = 0; i < count && in.ok(); ++i) {
        std::string name = in.text();
        Record& r = (*block)[static_cast<size_t>(i)];
        r.stamp.valid = true;
        r.stamp.device = in.number(8);
        r.stamp.inode = in.number(8);
        r.stamp.size = static_cast<long long>(in.number(8));
        r.stamp.modifiedNs = static_cast<long long>(in.number(8));
        r.stamp.changedNs = static_cast<long long>(in.number(8));
        const std::uint64_t kind = in.number(1);
        r.listing = in.text();
        const std::uint64_t identified = in.number(4);
        if (identified > body) return ScanCache();
        r.found.resize(keepRows ? static_cast<size_t>(identified) : 0);
        for (std::uint64_t file = 0; file < identified && in.ok(); ++file) {
            const std::uint64_t rows = in.number(4);
            if (rows > body) return ScanCache();
            if (keepRows) r.found[file].reserve(static_cast<size_t>(rows));
            for (std::uint64_t k = 0; k < rows && in.ok(); ++k) {
                FoundRow row;
                row.offset = in.number(8);
                const std::uint64_t matched = in.number(1);
                if (matched > 1) return ScanCache();
                row.matched = matched == 1;
                if (keepRows) r.found[file].push_back(row);
            }
        }
        const std::uint64_t allInPlace = in.number(1);
        const std::uint64_t haveRows = in.number(4);
        if (allInPlace > 1 || (allInPlace == 1 && identified == 0) || haveRows > body / 8) return ScanCache();
        if (keepRows) r.haveRows.reserve(static_cast<size_t>(haveRows));
        for (std::uint64_t k = 0; k < haveRows && in.ok(); ++k) {
            const std::uint64_t offset = in.number(8);
            if (keepRows) r.haveRows.push_back(offset);
        }
        r.allInPlace = keepRows && allInPlace == 1;
        if (kind > static_cast<std::uint64_t>(Kind::Packed)) return ScanCache();
        r.kind = static_cast<Kind>(kind);
        cache.records_[std::move(name)] = std::shared_ptr<const Record>(block, &r);
    }
    // Half a cache is no cache: a record may be wrong in ways its CRC missed.
    if (!in.atEnd()) return ScanCache();
    cache.wasRead_ = true;
    cache.readUnder_ = stamp;
    return cache;
}

bool ScanCache::write(const std::string& path, const std::string& folder, Digests digests,
                      const std::string& catalogue) const {
    // Written under another name and renamed over the old one, never synced:
    // after a crash a torn cache fails its CRC and the next scan tests
    // everything, which is all a sync would have bought.
    if (!makeFolders(dirName(path))) return false;
    const std::string temp = uniqueTempPath(dirName(path), baseName(path));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    Writer out(fd);
    out.raw(kMagic, sizeof kMagic);
    out.number(kVersion, 4);
    out.number(digestBits(digests), 1);
    out.text(folder);
    out.text(catalogue);
    out.number(records_.size(), 8);
    for (const auto& [name, shared] : records_) {
        const Record& r = *shared;
        out.text(name);
        out.number(r.stamp.device, 8);
        out.number(r.stamp.inode, 8);
        out.number(static_cast<std::uint64_t>(r.stamp.size), 8);
        out.number(static_cast<std::uint64_t>(r.stamp.modifiedNs), 8);
        out.number(static_cast<std::uint64_t>(r.stamp.changedNs), 8);
        out.number(static_cast<std::uint8_t>(r.kind), 1);
        out.text(r.listing);
        out.number(r.found.size(), 4);
        for (const FoundRows& rows : r.found) {
            out.number(rows.size(), 4);
            for (const FoundRow& row : rows) {
                out.number(row.offset, 8);
                out.number(row.matched ? 1 : 0, 1);
            }
        }
        const bool allInPlace = r.allInPlace && !r.found.empty();
        out.number(allInPlace ? 1 : 0, 1);
        out.number(allInPlace ? r.haveRows.size() : 0, 4);
        if (allInPlace)
            for (std::uint64_t offset : r.haveRows) out.number(offset, 8);
    }
    bool written = out.flush();
    if (written) {
        out.number(out.crc(), 4);
        written = out.flush();
    }
    if (::close(fd) != 0 || !written || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

const ScanCache::Record* ScanCache::find(const std::string& name, const FileStamp& stamp) const {
    const Record* r = find(name);
    return r && stamp.valid && r->stamp == stamp ? r : nullptr;
}

const ScanCache::Record* ScanCache::find(const std::string& name) const {
    const auto it = records_.find(name);
    return it == records_.end() ? nullptr : it->second.get();
}

std::shared_ptr<const ScanCache::Record> ScanCache::share(const std::string& name) const {
    const auto it = records_.find(name);
    return it == records_.end() ? nullptr : it->second;
}

bool ScanCache::sameAsRead(const ScanCache& read, const std::string& catalogue) const {
    if (!read.readUnder(catalogue) || records_.size() != read.records_.size()) return false;
    for (const auto& [name, record] : records_) {
        const auto it = read.records_.find(name);
        if (it == read.records_.end() || (it->second != record && !(*it->second == *record))) return false;
    }
    return true;
}

}  // namespace quorvane
