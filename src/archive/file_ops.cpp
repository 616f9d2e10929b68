#include "archive/file_ops.h"

#include "core/crash_point.h"
#include "core/file_util.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

namespace {

std::atomic<FileOps*> installed{nullptr};
thread_local FileOps* installedForThread = nullptr;

}  // namespace

int FileOps::openRead(const std::string& path, const ReadOpen& how) {
    crashPoint();
    const size_t slash = path.rfind('/');
    const int fd = how.folder >= 0 && slash != std::string::npos
                       ? ::openat(how.folder, path.c_str() + slash + 1, O_RDONLY | O_CLOEXEC)
                       : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && how.ahead == ReadAhead::Streamed) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

int FileOps::openReadWrite(const std::string& path) {
    crashPoint();
    return ::open(path.c_str(), O_RDWR | O_CLOEXEC);
}

int FileOps::createNew(const std::string& path) {
    crashPoint();
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

ssize_t FileOps::readAt(int fd, void* buffer, size_t size, uint64_t offset) {
    crashPoint();
    ssize_t n;
    do {
        n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t FileOps::writeAt(int fd, const void* buffer, size_t size, uint64_t offset) {
    crashPoint();
    ssize_t n;
    do {
        n = ::pwrite(fd, buffer, size, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

int64_t FileOps::fileSize(int fd) {
    crashPoint();
    struct stat st {};
    if (::fstat(fd, &st) != 0) return -1;
    return st.st_size;
}

int FileOps::statOf(int fd, struct stat& st) {
    crashPoint();
    return ::fstat(fd, &st);
}

int FileOps::sync(int fd) {
    crashPoint();
    return ::fsync(fd);
}

int FileOps::setModifiedTime(int fd, time_t when) {
    crashPoint();
    const struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    return ::futimens(fd, times);
}

int FileOps::close(int fd) {
    crashPoint();
    return ::close(fd);
}

int FileOps::modifiedTime(const std::string& path, time_t& when) {
    crashPoint();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    when = st.st_mtime;
    return 0;
}

int FileOps::rename(const std::string& from, const std::string& to) {
    crashPoint();
    return ::rename(from.c_str(), to.c_str());
}

int FileOps::renameNoReplace(const std::string& from, const std::string& to) {
    crashPoint();
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // File systems without the flag: a hard link cannot replace either.
    if (::link(from.c_str(), to.c_str()) != 0) return -1;
    if (::unlink(from.c_str()) != 0) {
        const int saved = errno;
        ::unlink(to.c_str());
        errno = saved;
        return -1;
    }
    return 0;
}

int FileOps::remove(const std::string& path) {
    crashPoint();
    return ::unlink(path.c_str());
}

int FileOps::link(const std::string& from, const std::string& to) {
    crashPoint();
    return ::link(from.c_str(), to.c_str());
}

int FileOps::makeFolder(const std::string& path) {
    crashPoint();
    return ::mkdir(path.c_str(), 0700);
}

int FileOps::removeFolder(const std::string& path) {
    crashPoint();
    return ::rmdir(path.c_str());
}

int FileOps::makeFolderPath(const std::string& path) {
    crashPoint();
    return makeFolders(path) ? 0 : -1;
}

int FileOps::syncFolder(const std::string& folder) {
    crashPoint();
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    const int result = ::fsync(fd);
    ::close(fd);
    return result;
}

FileOps& systemFileOps() {
    static FileOps ops;
    return ops;
}

FileOps& fileOps() {
    if (installedForThread) return *installedForThread;
    FileOps* ops = installed.load(std::memory_order_acquire);
    return ops ? *ops : systemFileOps();
}

ScopedFileOps::ScopedFileOps(FileOps& ops) : previous_(installed.exchange(&ops)) {}

ScopedFileOps::~ScopedFileOps() { installed.store(previous_); }

ScopedThreadFileOps::ScopedThreadFileOps(FileOps& ops) : previous_(installedForThread) { installedForThread = &ops; }

ScopedThreadFileOps::~ScopedThreadFileOps() { installedForThread = previous_; }

bool readAllAt(FileOps& ops, int fd, void* buffer, size_t size, uint64_t offset) {
    char* p = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t n = ops.readAt(fd, p, size, offset);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool writeAllAt(FileOps& ops, int fd, const void* buffer, size_t size, uint64_t offset) {
    const char* p = static_cast<const char*>(buffer);
    while (size > 0) {
        const ssize_t n = ops.writeAt(fd, p, size, offset);
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

}  // namespace quorvane
