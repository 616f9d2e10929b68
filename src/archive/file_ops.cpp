#include "archive/file_ops.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

int FileOps::openRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

int FileOps::openReadWrite(const std::string& path) { return ::open(path.c_str(), O_RDWR | O_CLOEXEC); }

int FileOps::createNew(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

ssize_t FileOps::readAt(int fd, void* buffer, size_t size, uint64_t offset) {
    ssize_t n;
    do {
        n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t FileOps::writeAt(int fd, const void* buffer, size_t size, uint64_t offset) {
    ssize_t n;
    do {
        n = ::pwrite(fd, buffer, size, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

int64_t FileOps::fileSize(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return -1;
    return st.st_size;
}

int FileOps::sync(int fd) { return ::fsync(fd); }

int FileOps::setModifiedTime(int fd, time_t when) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    return ::futimens(fd, times);
}

int FileOps::close(int fd) { return ::close(fd); }

int FileOps::modifiedTime(const std::string& path, time_t& when) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    when = st.st_mtime;
    return 0;
}

int FileOps::rename(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()); }

int FileOps::remove(const std::string& path) { return ::unlink(path.c_str()); }

int FileOps::syncFolder(const std::string& folder) {
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
