#include "keyfile/block_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <list>
#include <utility>

#include "core/crash_point.h"
#include "keyfile/key_file.h"
#include "keyfile/key_file_format.h"

namespace quorvane::keyfile {

namespace {

BlockIoFault g_fault;
constexpr int kOpenAttempts = 3;
constexpr int kTransferAttempts = 3;

}  // namespace

// Every open physical file of every block file, most recently used first, so
// that running out of descriptors closes the least used one and retries.
struct HandleList {
    struct Entry {
        BlockFile* file;
        uint32_t physical;
    };
    std::list<Entry> entries;

    void touch(BlockFile* f, uint32_t k) {
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (it->file == f && it->physical == k) {
                entries.splice(entries.begin(), entries, it);
                return;
            }
        }
        entries.push_front({f, k});
    }
    void forget(BlockFile* f) { entries.remove_if([f](const Entry& e) { return e.file == f; }); }
    bool closeLeastRecent() {
        if (entries.empty()) return false;
        Entry e = entries.back();
        entries.pop_back();
        ::close(e.file->fds_[e.physical]);
        e.file->fds_[e.physical] = -1;
        return true;
    }
};

namespace {
HandleList g_handles;
}

void setBlockIoFaultForTesting(BlockIoFault fault) { g_fault = std::move(fault); }

std::string physicalFilePath(const std::string& path, uint32_t k) {
    if (k == 0) return path;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%04x", k);
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find_first_of("/\\", dot) != std::string::npos) return path + suffix;
    return path.substr(0, dot) + suffix + path.substr(dot);
}

BlockFile::BlockFile(std::string path, bool writable, uint32_t blocksPerFile)
    : path_(std::move(path)), writable_(writable), blocksPerFile_(blocksPerFile ? blocksPerFile : 1) {}

BlockFile::~BlockFile() { closeHandles(); }

void BlockFile::closeHandles() {
    for (int& fd : fds_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    g_handles.forget(this);
}

int BlockFile::open() {
    const uint64_t fullLength = uint64_t{blocksPerFile_} * kBlockSize;
    uint64_t blocks = 0;
    for (uint32_t k = 0;; ++k) {
        struct stat st;
        if (::stat(physicalFilePath(path_, k).c_str(), &st) != 0) {
            if (k == 0) return kKfOpenFailed;
            break;
        }
        if (k > 0 && blocks != uint64_t{k} * blocksPerFile_) return kKfDamaged;  // an earlier file is short
        const uint64_t len = static_cast<uint64_t>(st.st_size);
        if (!S_ISREG(st.st_mode) || len % kBlockSize != 0 || len > fullLength) return kKfDamaged;
        blocks += len / kBlockSize;
        if (blocks > UINT32_MAX) return kKfDamaged;
    }
    blockCount_ = static_cast<uint32_t>(blocks);
    int error = 0;
    if (handleFor(0, &error) < 0) return kKfOpenFailed;
    return 0;
}

int BlockFile::handleFor(uint32_t k, int* error) {
    if (k >= fds_.size()) fds_.resize(k + 1, -1);
    if (fds_[k] >= 0) {
        g_handles.touch(this, k);
        return fds_[k];
    }
    const std::string p = physicalFilePath(path_, k);
    const int flags = writable_ ? (O_RDWR | O_CREAT | O_CLOEXEC) : (O_RDONLY | O_CLOEXEC);
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        const int fd = ::open(p.c_str(), flags, S_IRUSR | S_IWUSR);
        if (fd >= 0) {
            fds_[k] = fd;
            g_handles.touch(this, k);
            return fd;
        }
        if ((errno != EMFILE && errno != ENFILE) || !g_handles.closeLeastRecent()) break;
    }
    *error = kKfOpenFailed;
    return -1;
}

int BlockFile::readBlock(uint32_t n, uint8_t* out) {
    if (n >= blockCount_) return kKfDamaged;
    int error = 0;
    const int fd = handleFor(n / blocksPerFile_, &error);
    if (fd < 0) return error;
    const off_t at = static_cast<off_t>(n % blocksPerFile_) * static_cast<off_t>(kBlockSize);
    for (int attempt = 0; attempt < kTransferAttempts; ++attempt) {
        int injected = g_fault ? g_fault(false, n) : 0;
        ssize_t got;
        if (injected) {
            errno = injected;
            got = -1;
        } else {
            got = ::pread(fd, out, kBlockSize, at);
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return kKfReadFailed;
        return got == static_cast<ssize_t>(kBlockSize) ? 0 : kKfDamaged;
    }
    return kKfReadFailed;
}

int BlockFile::writeBlock(uint32_t n, const uint8_t* data) {
    if (!writable_) return kKfNotForUpdate;
    if (n >= blockCount_ || held(n)) return kKfStateError;
    if (gate_ && gate_(gateContext_) != 0) return kKfWriteFailed;
    int error = 0;
    const int fd = handleFor(n / blocksPerFile_, &error);
    if (fd < 0) return error;
    const off_t at = static_cast<off_t>(n % blocksPerFile_) * static_cast<off_t>(kBlockSize);
    for (int attempt = 0; attempt < kTransferAttempts; ++attempt) {
        int injected = g_fault ? g_fault(true, n) : 0;
        crashPoint();
        ssize_t put;
        if (injected) {
            errno = injected;
            put = -1;
        } else {
            put = ::pwrite(fd, data, kBlockSize, at);
        }
        if (put < 0 && errno == EINTR) continue;
        if (put != static_cast<ssize_t>(kBlockSize)) return kKfWriteFailed;
        written_ = true;
        markChecked(n);
        return 0;
    }
    return kKfWriteFailed;
}

int BlockFile::sync() {
    if (!written_) return 0;
    const uint32_t files = blockCount_ == 0 ? 1 : (blockCount_ - 1) / blocksPerFile_ + 1;
    for (uint32_t k = 0; k < files; ++k) {
        int error = 0;
        const int fd = handleFor(k, &error);
        if (fd < 0) return kKfWriteFailed;
        crashPoint();
        if (::fdatasync(fd) != 0) return kKfWriteFailed;
    }
    written_ = false;
    return 0;
}

}  // namespace quorvane::keyfile
