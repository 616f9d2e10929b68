#include "engine/safe_move.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "core/file_util.h"

namespace quorvane {

namespace {

// Gives up looking for a free name after this many tries; a folder holding
// that many copies of one name is not worth searching further.
constexpr int kMaxNameVariants = 100000;

bool readFull(int fd, char* buffer, size_t size, ssize_t& got) {
    got = 0;
    while (static_cast<size_t>(got) < size) {
        const ssize_t n = ::read(fd, buffer + got, size - static_cast<size_t>(got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        got += n;
    }
    return true;
}

bool writeFull(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Copies `from` to the new file `to`, syncs it and reads both back to compare.
bool copyVerified(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const int out = ::open(to.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        ::close(in);
        return false;
    }
    std::vector<char> a(1 << 18), b(1 << 18);
    bool ok = true;
    for (;;) {
        ssize_t n = 0;
        if (!readFull(in, a.data(), a.size(), n)) ok = false;
        if (!ok || n == 0) break;
        if (!writeFull(out, a.data(), static_cast<size_t>(n))) {
            ok = false;
            break;
        }
    }
    if (ok) ok = ::fsync(out) == 0;
    if (ok) ok = ::lseek(in, 0, SEEK_SET) == 0 && ::lseek(out, 0, SEEK_SET) == 0;
    while (ok) {
        ssize_t n1 = 0, n2 = 0;
        ok = readFull(in, a.data(), a.size(), n1) && readFull(out, b.data(), b.size(), n2) && n1 == n2 &&
             std::memcmp(a.data(), b.data(), static_cast<size_t>(n1)) == 0;
        if (n1 == 0) break;
    }
    ::close(in);
    if (::close(out) != 0) ok = false;
    if (!ok) ::unlink(to.c_str());
    return ok;
}

int syncFolderOf(const std::string& path) {
    const std::string folder = dirName(path);
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    const int result = ::fsync(fd);
    ::close(fd);
    return result;
}

}  // namespace

std::string freeNameIn(const std::string& folder, const std::string& name) {
    if (!pathExists(joinPath(folder, name))) return name;
    const size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    for (int i = 1; i < kMaxNameVariants; ++i) {
        std::string candidate = stem + " (" + std::to_string(i) + ")" + extension;
        if (!pathExists(joinPath(folder, candidate))) return candidate;
    }
    return name;
}

int renameNoReplace(const std::string& from, const std::string& to) {
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

int moveIntoFolder(const std::string& from, const std::string& folder, const std::string& name,
                   std::string* finalPath) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string target = joinPath(folder, freeNameIn(folder, name));
        if (renameNoReplace(from, target) == 0) {
            syncFolderOf(target);
            if (finalPath) *finalPath = target;
            return 0;
        }
        if (errno == EEXIST) continue;  // taken meanwhile: look again
        if (errno != EXDEV) return -1;
        const std::string temp = uniqueTempPath(folder, name);
        if (!copyVerified(from, temp)) return -1;
        if (renameNoReplace(temp, target) != 0) {
            const int saved = errno;
            ::unlink(temp.c_str());
            if (saved == EEXIST) continue;
            return -1;
        }
        syncFolderOf(target);
        if (::unlink(from.c_str()) != 0) return -1;
        if (finalPath) *finalPath = target;
        return 0;
    }
    errno = EEXIST;
    return -1;
}

bool syncFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace quorvane
