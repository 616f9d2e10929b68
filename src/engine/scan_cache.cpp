#include "engine/scan_cache.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "core/file_util.h"
#include "core/huge_pages.h"

namespace quorvane {

namespace {

constexpr char kMagic[8] = {'Q', 'V', 'S', 'C', 'A', 'N', 'C', '\0'};

// The whole file at `path`, read into memory that `block` keeps (empty
// when it cannot be read whole). Read, not mapped: a file cut short by
// another program while mapped would kill the process instead of failing
// the read. A large file goes into huge pages: a fault per 4 KiB page, once
// by the read and once by the first look, costs more than the read itself
// where faults are dear (virtual machines); a small one into memory made
// whole up front, in one go rather than a fault per page.
std::string_view readFile(const std::string& path, std::shared_ptr<const char>& block) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size <= 0) {
        ::close(fd);
        return {};
    }
    const size_t size = static_cast<size_t>(st.st_size);
    const bool huge = size >= kHugePageSize / 4;
    void* memory =
        huge ? mapHugePages(size)
             : ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (memory == nullptr || memory == MAP_FAILED) {
        ::close(fd);
        return {};
    }
    block = std::shared_ptr<const char>(static_cast<const char*>(memory), [size, huge](const char* at) {
        if (huge) unmapHugePages(const_cast<char*>(at), size);
        else ::munmap(const_cast<char*>(at), size);
    });
    const ssize_t got = readFullyAt(fd, static_cast<char*>(memory), size, 0);
    // One byte more would say the file grew meanwhile.
    char more = 0;
    const bool whole = got == static_cast<ssize_t>(size) && readFullyAt(fd, &more, 1, size) == 0;
    ::close(fd);
    if (!whole) {
        block.reset();
        return {};
    }
    return {static_cast<const char*>(memory), size};
}

std::uint8_t digestBits(ScanCache::Digests digests) { return (digests.md5 ? 1 : 0) | (digests.sha1 ? 2 : 0); }

std::uint32_t crcOf(const char* bytes, size_t size) { return libdeflate_crc32(0, bytes, size); }

}  // namespace

std::string encodeListing(const std::vector<File>& files) {
    FieldWriter out;
    size_t size = 4;
    for (const File& f : files) size += 5 * 4 + f.name.size() + f.size.size() + f.crc.size() + f.md5.size() + f.sha1.size();
    out.reserve(size);
    out.number(files.size(), 4);
    for (const File& f : files) {
        for (const std::string* field : {&f.name, &f.size, &f.crc, &f.md5, &f.sha1}) out.text(*field);
    }
    return std::move(out.bytes());
}

bool decodeListing(const std::string& listing, std::vector<File>& files) {
    FieldReader in(listing.data(), listing.size());
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

namespace {

// Checks the rows of a record, from its files identified on, without
// keeping them: each row's bytes are skipped at once but its matched byte.
bool skipRows(FieldReader& in, std::uint64_t identified, bool allInPlace, size_t body) {
    for (std::uint64_t file = 0; file < identified; ++file) {
        const std::uint64_t count = in.number(4);
        if (count > body) return false;
        const char* rows = in.bytes(static_cast<size_t>(count) * 9);
        if (!rows) return false;
        for (std::uint64_t k = 0; k < count; ++k)
            if (static_cast<unsigned char>(rows[k * 9 + 8]) > 1) return false;
    }
    const std::uint64_t haveRows = in.number(4);
    if (haveRows > body / 8 || (!allInPlace && haveRows != 0)) return false;
    in.bytes(static_cast<size_t>(haveRows) * 8);
    return in.ok();
}

// Reads one record after its name; with `out`, into it (the rows only with
// `keepRows`). False when the record is damaged.
bool readRecord(FieldReader& in, size_t body, bool keepRows, ScanRecord* out) {
    const FileStamp stamp = readStamp(in);
    const std::uint64_t kind = in.number(1);
    const std::uint64_t allInPlace = in.number(1);
    const std::string_view listing = in.view();
    const std::uint64_t identified = in.number(4);
    if (kind > static_cast<std::uint64_t>(ScanKind::Packed) || allInPlace > 1 ||
        (allInPlace == 1 && identified == 0) || identified > body)
        return false;
    if (!out) return skipRows(in, identified, allInPlace == 1, body);
    const bool rows = keepRows;
    out->stamp = stamp;
    out->kind = static_cast<ScanKind>(kind);
    out->listing.assign(listing);
    out->allInPlace = rows && allInPlace == 1;
    out->found.clear();
    if (rows) out->found.reserve(static_cast<size_t>(identified), static_cast<size_t>(identified));
    for (std::uint64_t file = 0; file < identified && in.ok(); ++file) {
        const std::uint64_t count = in.number(4);
        if (count > body) return false;
        for (std::uint64_t k = 0; k < count && in.ok(); ++k) {
            FoundRow row;
            row.offset = in.number(8);
            const std::uint64_t matched = in.number(1);
            if (matched > 1) return false;
            row.matched = matched == 1;
            if (rows) out->found.add(row);
        }
        if (rows) out->found.endList();
    }
    const std::uint64_t haveRows = in.number(4);
    if (haveRows > body / 8 || (allInPlace == 0 && haveRows != 0)) return false;
    if (rows) out->haveRows.reserve(static_cast<size_t>(haveRows));
    for (std::uint64_t k = 0; k < haveRows && in.ok(); ++k) {
        const std::uint64_t offset = in.number(8);
        if (rows) out->haveRows.push_back(offset);
    }
    return in.ok();
}

void writeRecord(FieldWriter& out, std::string_view name, const ScanRecord& r) {
    out.text(name);
    writeStamp(out, r.stamp);
    out.number(static_cast<std::uint8_t>(r.kind), 1);
    const bool allInPlace = r.allInPlace && !r.found.empty();
    out.number(allInPlace ? 1 : 0, 1);
    out.text(r.listing);
    out.number(r.found.size(), 4);
    for (size_t file = 0; file < r.found.size(); ++file) {
        const FoundRows rows = r.found[file];
        out.number(rows.size(), 4);
        for (const FoundRow& row : rows) {
            out.number(row.offset, 8);
            out.number(row.matched ? 1 : 0, 1);
        }
    }
    out.number(allInPlace ? r.haveRows.size() : 0, 4);
    if (allInPlace)
        for (std::uint64_t offset : r.haveRows) out.number(offset, 8);
}

}  // namespace

ScanCache::Encoder::Encoder(const std::string& folder, Digests digests, const std::string& catalogue,
                            size_t expectedBytes) {
    out_.reserve(expectedBytes);
    out_.raw(kMagic, sizeof kMagic);
    out_.number(kVersion, 4);
    out_.number(digestBits(digests), 1);
    out_.text(folder);
    out_.text(catalogue);
    countAt_ = out_.bytes().size();
    out_.number(0, 8);
}

void ScanCache::Encoder::add(std::string_view name, const Record& record) {
    starts_.push_back(out_.bytes().size());
    writeRecord(out_, name, record);
}

ScanCache ScanCache::Encoder::finish() && {
    std::string& bytes = out_.bytes();
    for (size_t i = 0; i < 8; ++i) bytes[countAt_ + i] = static_cast<char>((starts_.size() >> (8 * i)) & 0xFF);
    out_.number(crcOf(bytes.data(), bytes.size()), 4);
    auto owner = std::make_shared<const std::string>(std::move(bytes));
    ScanCache cache;
    cache.block_ = std::shared_ptr<const char>(owner, owner->data());
    cache.bytes_ = *owner;
    cache.starts_ = std::move(starts_);
    // Written as made: its rows are the ones to keep.
    cache.keepRows_ = true;
    return cache;
}

ScanCache& ScanCache::operator=(ScanCache&& other) noexcept {
    if (this == &other) return *this;
    records_ = std::move(other.records_);
    bytes_ = other.bytes_;
    block_ = std::move(other.block_);
    starts_ = std::move(other.starts_);
    keepRows_ = other.keepRows_;
    {
        std::scoped_lock lock(foundMutex_, other.foundMutex_);
        found_ = std::move(other.found_);
    }
    wasRead_ = other.wasRead_;
    readUnder_ = std::move(other.readUnder_);
    fileSize_ = other.fileSize_;
    fileCrc_ = other.fileCrc_;
    other.bytes_ = {};
    other.starts_.clear();
    other.wasRead_ = false;
    return *this;
}

ScanCache ScanCache::read(const std::string& path, const std::string& folder, Digests digests,
                          const std::string& catalogue) {
    ScanCache cache;
    std::shared_ptr<const char> block;
    const std::string_view bytes = readFile(path, block);
    if (bytes.size() < sizeof kMagic + 4) return cache;
    const size_t body = bytes.size() - 4;
    FieldReader trailer(bytes.data() + body, 4);
    const std::uint32_t crc = static_cast<std::uint32_t>(trailer.number(4));
    if (crc != crcOf(bytes.data(), body)) return cache;
    FieldReader in(bytes.data(), body);
    if (!in.raw(kMagic, sizeof kMagic) || in.number(4) != kVersion || in.number(1) != digestBits(digests) ||
        in.view() != folder)
        return cache;
    // Rows found under another catalogue may be other rows now; an empty
    // stamp is no catalogue at all.
    const std::string stamp = in.text();
    const std::uint64_t count = in.number(8);
    if (!in.ok()) return cache;
    // Every record takes more than 40 bytes: a count beyond that is damage.
    if (count > body / 40) return cache;
    // Each record is checked here and decoded only when looked up.
    cache.starts_.reserve(static_cast<size_t>(count));
    std::string_view previous;
    for (std::uint64_t i = 0; i < count; ++i) {
        const size_t start = body - in.left();
        const std::string_view name = in.view();
        if (!in.ok() || (i > 0 && !(previous < name)) || !readRecord(in, body, false, nullptr)) return ScanCache();
        previous = name;
        cache.starts_.push_back(start);
    }
    // Half a cache is no cache: a record may be wrong in ways its CRC missed.
    if (!in.atEnd()) return ScanCache();
    cache.keepRows_ = !stamp.empty() && stamp == catalogue;
    cache.wasRead_ = true;
    cache.readUnder_ = stamp;
    cache.fileSize_ = bytes.size();
    cache.fileCrc_ = crc;
    cache.bytes_ = bytes;
    cache.block_ = std::move(block);
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
    FieldWriter out(fd);
    out.raw(kMagic, sizeof kMagic);
    out.number(kVersion, 4);
    out.number(digestBits(digests), 1);
    out.text(folder);
    out.text(catalogue);
    out.number(size(), 8);
    if (!bytes_.empty()) {
        // Unchanged since read: the records as they were, rows kept only
        // where they still hold.
        for (size_t i = 0; i < starts_.size(); ++i) {
            if (keepRows_) {
                const size_t end = i + 1 < starts_.size() ? starts_[i + 1] : bytes_.size() - 4;
                out.raw(bytes_.data() + starts_[i], end - starts_[i]);
            } else {
                writeRecord(out, std::string(nameAt(i)), *share(std::string(nameAt(i))));
            }
        }
    } else {
        for (const auto& [name, record] : records_) writeRecord(out, name, *record);
    }
    bool written = out.flush();
    const std::uint32_t crc = out.crc();
    const std::uint64_t length = out.written() + 4;
    if (written) {
        out.number(crc, 4);
        written = out.flush();
    }
    if (::close(fd) != 0 || !written || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    fileSize_ = length;
    fileCrc_ = crc;
    return true;
}

std::vector<std::string> ScanCache::names() const {
    std::vector<std::string> out;
    out.reserve(size());
    if (bytes_.empty()) {
        for (const auto& entry : records_) out.push_back(entry.first);
    } else {
        for (size_t i = 0; i < starts_.size(); ++i) out.emplace_back(nameAt(i));
    }
    return out;
}

std::vector<FileStamp> ScanCache::stamps() const {
    std::vector<FileStamp> out;
    out.reserve(size());
    if (bytes_.empty()) {
        for (const auto& entry : records_) out.push_back(entry.second->stamp);
    } else {
        for (size_t i = 0; i < starts_.size(); ++i) {
            FieldReader in(bytes_.data() + starts_[i], bytes_.size() - 4 - starts_[i]);
            in.view();
            out.push_back(readStamp(in));
        }
    }
    return out;
}

std::string_view ScanCache::nameAt(size_t index) const {
    FieldReader in(bytes_.data() + starts_[index], bytes_.size() - 4 - starts_[index]);
    return in.view();
}

size_t ScanCache::indexOf(std::string_view name, size_t hint) const {
    if (hint < starts_.size() && nameAt(hint) == name) return hint;
    const auto at = std::lower_bound(starts_.begin(), starts_.end(), name, [this](size_t start, std::string_view n) {
        FieldReader in(bytes_.data() + start, bytes_.size() - 4 - start);
        return in.view() < n;
    });
    const size_t index = static_cast<size_t>(at - starts_.begin());
    return index < starts_.size() && nameAt(index) == name ? index : starts_.size();
}

bool ScanCache::glance(const std::string& name, Glance& out, size_t hint) const {
    if (bytes_.empty()) {
        const auto it = records_.find(name);
        if (it == records_.end()) return false;
        out = {it->second->stamp, it->second->kind, it->second->allInPlace, it->second->listing};
        return true;
    }
    const size_t index = indexOf(name, hint);
    if (index == starts_.size()) return false;
    FieldReader in(bytes_.data() + starts_[index], bytes_.size() - 4 - starts_[index]);
    in.view();
    out.stamp = readStamp(in);
    out.kind = static_cast<Kind>(in.number(1));
    const bool allInPlace = in.number(1) == 1;
    out.allInPlace = keepRows_ && allInPlace;
    out.listing = in.view();
    return true;
}

const ScanCache::Record* ScanCache::find(const std::string& name, const FileStamp& stamp) const {
    const Record* r = find(name);
    return r && stamp.valid && r->stamp == stamp ? r : nullptr;
}

const ScanCache::Record* ScanCache::find(const std::string& name) const {
    if (bytes_.empty()) {
        const auto it = records_.find(name);
        return it == records_.end() ? nullptr : it->second.get();
    }
    std::lock_guard lock(foundMutex_);
    if (const auto it = found_.find(name); it != found_.end()) return it->second.get();
    std::shared_ptr<const Record> record = share(name);
    if (!record) return nullptr;
    return found_.emplace(name, std::move(record)).first->second.get();
}

std::shared_ptr<const ScanCache::Record> ScanCache::share(const std::string& name, size_t hint) const {
    if (bytes_.empty()) {
        const auto it = records_.find(name);
        return it == records_.end() ? nullptr : it->second;
    }
    const size_t index = indexOf(name, hint);
    if (index == starts_.size()) return nullptr;
    FieldReader in(bytes_.data() + starts_[index], bytes_.size() - 4 - starts_[index]);
    in.view();
    auto record = std::make_shared<Record>();
    // Checked whole when read: it decodes.
    readRecord(in, bytes_.size() - 4, keepRows_, record.get());
    return record;
}

void ScanCache::decodeAll() {
    if (bytes_.empty()) return;
    for (size_t i = 0; i < starts_.size(); ++i) {
        const std::string name(nameAt(i));
        records_[name] = share(name);
    }
    bytes_ = {};
    block_.reset();
    starts_.clear();
    std::lock_guard lock(foundMutex_);
    found_.clear();
}

void ScanCache::put(const std::string& name, std::shared_ptr<const Record> record) {
    decodeAll();
    // A cache is mostly built in name order: the end is where each record goes.
    records_.insert_or_assign(records_.end(), name, std::move(record));
}

void ScanCache::erase(const std::string& name) {
    decodeAll();
    records_.erase(name);
}

bool ScanCache::sameAsRead(const ScanCache& read, const std::string& catalogue) const {
    if (!read.readUnder(catalogue) || size() != read.size()) return false;
    if (read.bytes_.empty()) {
        for (const auto& [name, record] : records_) {
            const auto it = read.records_.find(name);
            if (it == read.records_.end() || (it->second != record && !(*it->second == *record))) return false;
        }
        return true;
    }
    if (!bytes_.empty()) return bytes_ == read.bytes_;
    // Both in name order: each record as it would be written against the bytes read.
    size_t index = 0;
    FieldWriter encoded;
    for (const auto& [name, record] : records_) {
        encoded.bytes().clear();
        writeRecord(encoded, name, *record);
        const size_t start = read.starts_[index];
        const size_t end = index + 1 < read.starts_.size() ? read.starts_[index + 1] : read.bytes_.size() - 4;
        if (read.bytes_.substr(start, end - start) != encoded.bytes()) return false;
        ++index;
    }
    return true;
}

}  // namespace quorvane
