#include "keyfile/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

#include "core/crash_point.h"
#include "core/file_util.h"
#include "keyfile/block_file.h"
#include "keyfile/byte_coding.h"

namespace quorvane {

namespace {

constexpr char kMagic[8] = {'Q', 'V', 'J', 'O', 'U', 'R', 'N', '2'};
// The header before B_game.idx existed: four block counts, 44 bytes.
constexpr char kMagicFourKeyFiles[8] = {'Q', 'V', 'J', 'O', 'U', 'R', 'N', '1'};
constexpr size_t kHeaderSizeFourKeyFiles = 44;
constexpr std::uint64_t kBlock = 4096;
constexpr size_t kWriteChunk = 256 * 1024;

void putU64(uint8_t* p, std::uint64_t v) {
    putU32(p, static_cast<uint32_t>(v >> 32));
    putU32(p + 4, static_cast<uint32_t>(v));
}

std::uint64_t getU64(const uint8_t* p) { return (std::uint64_t{getU32(p)} << 32) | getU32(p + 4); }

uint32_t crcOf(const void* data, size_t size, uint32_t crc = 0) {
    return static_cast<uint32_t>(crc32_z(crc, static_cast<const Bytef*>(data), size));
}

bool readAll(int fd, void* data, size_t size, std::uint64_t offset) {
    return readFullyAt(fd, data, size, offset) == static_cast<ssize_t>(size);
}

int syncFd(int fd) {
    crashPoint();
    return ::fdatasync(fd);
}

void syncFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    crashPoint();
    ::fsync(fd);
    ::close(fd);
}

// Where byte `offset` of a key file lies: its physical file and the offset there.
std::pair<std::string, std::uint64_t> keyFilePlace(const std::string& path, std::uint64_t offset,
                                                    uint32_t blocksPerFile) {
    const std::uint64_t block = offset / kBlock;
    return {keyfile::physicalFilePath(path, static_cast<uint32_t>(block / blocksPerFile)),
            (block % blocksPerFile) * kBlock + offset % kBlock};
}

// Writes `size` old bytes back at `offset` of file `id`.
bool restore(const std::array<std::string, Journal::kFiles>& files, uint8_t id, std::uint64_t offset,
             const uint8_t* bytes, size_t size, uint32_t blocksPerFile) {
    std::string path = files[id];
    std::uint64_t at = offset;
    if (id > 0) {
        if (offset % kBlock != 0 || size != kBlock) return false;
        std::tie(path, at) = keyFilePlace(files[id], offset, blocksPerFile);
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = writeAllAt(fd, bytes, size, at);
    ::close(fd);
    return ok;
}

// Cuts `path` to `length` bytes and syncs it. A missing file is left missing.
bool cutAndSync(const std::string& path, std::uint64_t length) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    crashPoint();
    bool ok = ::ftruncate(fd, static_cast<off_t>(length)) == 0;
    ok = syncFd(fd) == 0 && ok;
    ::close(fd);
    return ok;
}

// Cuts a key file back to `blocks` blocks over its physical files.
bool cutKeyFile(const std::string& path, std::uint64_t blocks, uint32_t blocksPerFile) {
    bool ok = true;
    for (uint32_t k = 0;; ++k) {
        const std::string physical = keyfile::physicalFilePath(path, k);
        struct stat st {};
        if (::stat(physical.c_str(), &st) != 0) break;
        const std::uint64_t first = std::uint64_t{k} * blocksPerFile;
        const std::uint64_t keep = blocks > first ? std::min<std::uint64_t>(blocks - first, blocksPerFile) : 0;
        if (keep == 0 && k > 0) {
            crashPoint();
            if (::unlink(physical.c_str()) != 0) ok = false;
            continue;
        }
        ok = cutAndSync(physical, keep * kBlock) && ok;
    }
    return ok;
}

}  // namespace

Journal::Journal(std::string path, std::array<std::string, kFiles> files)
    : path_(std::move(path)), files_(std::move(files)) {}

Journal::~Journal() {
    if (fd_ >= 0) ::close(fd_);
}

void Journal::begin(const Origin& origin) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    origin_ = origin;
    durable_ = false;
    end_ = 0;
    buffer_.clear();
    static std::mt19937 random(static_cast<uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ (static_cast<uint64_t>(::getpid()) << 16)));
    salt_ = random();
}

int Journal::openFile() {
    if (fd_ >= 0) return 0;
    crashPoint();
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) return -1;
    uint8_t header[kHeaderSize];
    std::memcpy(header, kMagic, sizeof kMagic);
    putU32(header + 8, salt_);
    putU64(header + 12, origin_.recordLength);
    for (size_t i = 0; i < kKeyFiles; ++i) putU32(header + 20 + 4 * i, origin_.blockCounts[i]);
    putU32(header + 40, origin_.blocksPerFile);
    putU32(header + 44, crcOf(header, 44));
    if (!writeAllAt(fd_, header, sizeof header, 0)) return -1;
    end_ = kHeaderSize;
    return 0;
}

int Journal::writeBuffer() {
    if (buffer_.empty()) return 0;
    if (openFile() != 0 || !writeAllAt(fd_, buffer_.data(), buffer_.size(), end_)) return -1;
    end_ += buffer_.size();
    buffer_.clear();
    return 0;
}

int Journal::makeDurable() {
    if (durable_) return 0;
    return sync();
}

int Journal::add(std::uint8_t file, std::uint64_t offset, const void* bytes, size_t size) {
    const size_t at = buffer_.size();
    buffer_.resize(at + kRecordOverhead + size);
    auto* p = reinterpret_cast<uint8_t*>(buffer_.data() + at);
    p[0] = file;
    putU64(p + 1, offset);
    putU32(p + 9, static_cast<uint32_t>(size));
    std::memcpy(p + 13, bytes, size);
    uint8_t salt[4];
    putU32(salt, salt_);
    putU32(p + 13 + size, crcOf(p, 13 + size, crcOf(salt, 4)));
    return buffer_.size() >= kWriteChunk ? writeBuffer() : 0;
}

int Journal::sync() {
    const bool creating = fd_ < 0;
    if (openFile() != 0 || writeBuffer() != 0 || syncFd(fd_) != 0) return -1;
    if (creating) syncFolderOf(path_);
    durable_ = true;
    return 0;
}

int Journal::finish() {
    if (fd_ < 0) return 0;
    ::close(fd_);
    fd_ = -1;
    durable_ = false;
    crashPoint();
    return ::unlink(path_.c_str()) == 0 || errno == ENOENT ? 0 : -1;
}

namespace {

// The parts of a hot journal's header that roll-back needs.
struct HotHeader {
    size_t size = 0;  // 0: not hot
    uint8_t salt[4] = {};
    std::uint64_t recordLength = 0;
    size_t keyFiles = 0;
    uint32_t blockCounts[Journal::kKeyFiles] = {};
    uint32_t blocksPerFile = 0;
};

HotHeader readHeader(int fd, std::uint64_t length) {
    HotHeader h;
    uint8_t bytes[Journal::kHeaderSize];
    if (length < kHeaderSizeFourKeyFiles || !readAll(fd, bytes, kHeaderSizeFourKeyFiles, 0)) return h;
    size_t keyFiles;
    if (std::memcmp(bytes, kMagic, sizeof kMagic) == 0) {
        if (length < Journal::kHeaderSize || !readAll(fd, bytes, Journal::kHeaderSize, 0)) return h;
        keyFiles = Journal::kKeyFiles;
    } else if (std::memcmp(bytes, kMagicFourKeyFiles, sizeof kMagicFourKeyFiles) == 0) {
        keyFiles = 4;
    } else {
        return h;
    }
    const size_t countsEnd = 20 + 4 * keyFiles;
    if (getU32(bytes + countsEnd + 4) != crcOf(bytes, countsEnd + 4)) return h;
    h.size = countsEnd + 8;
    std::memcpy(h.salt, bytes + 8, 4);
    h.recordLength = getU64(bytes + 12);
    h.keyFiles = keyFiles;
    for (size_t i = 0; i < keyFiles; ++i) h.blockCounts[i] = getU32(bytes + 20 + 4 * i);
    h.blocksPerFile = getU32(bytes + countsEnd);
    return h;
}

}  // namespace

int Journal::rollBack(const std::string& path, const std::array<std::string, kFiles>& files) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? 0 : -1;
    struct stat st {};
    const HotHeader header = ::fstat(fd, &st) == 0 ? readHeader(fd, static_cast<std::uint64_t>(st.st_size)) : HotHeader{};
    bool ok = true;
    if (header.size > 0) {
        const uint32_t blocksPerFile = header.blocksPerFile;
        const std::uint64_t length = static_cast<std::uint64_t>(st.st_size);
        std::uint64_t at = header.size;
        std::vector<uint8_t> record;
        while (ok && blocksPerFile > 0 && at + kRecordOverhead <= length) {
            uint8_t head[13];
            if (!readAll(fd, head, sizeof head, at)) break;
            const uint32_t size = getU32(head + 9);
            if (head[0] > header.keyFiles || size > length - at - kRecordOverhead) break;
            record.resize(kRecordOverhead + size);
            if (!readAll(fd, record.data(), record.size(), at)) break;
            if (getU32(record.data() + 13 + size) != crcOf(record.data(), 13 + size, crcOf(header.salt, 4))) break;
            ok = restore(files, record[0], getU64(record.data() + 1), record.data() + 13, size, blocksPerFile);
            at += record.size();
        }
        if (blocksPerFile == 0) ok = false;
        if (ok) ok = cutAndSync(files[0], header.recordLength);
        for (size_t i = 0; ok && i < header.keyFiles; ++i) ok = cutKeyFile(files[i + 1], header.blockCounts[i], blocksPerFile);
    }
    ::close(fd);
    if (!ok) return -1;
    crashPoint();
    return ::unlink(path.c_str()) == 0 || errno == ENOENT ? 0 : -1;
}

}  // namespace quorvane
