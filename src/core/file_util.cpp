#include "core/file_util.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/crash_point.h"
#include "core/text.h"

namespace quorvane {

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string fileProblemText(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? "file not found" : std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "it is a folder";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    return {};
}

bool makeFolders(const std::string& path) {
    if (path.empty()) return false;
    // Mostly one folder in one that exists: its ancestors are looked at only
    // when one of them is missing.
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    if (errno == ENOENT) {
        const std::string parent = dirName(path);
        if (parent.empty() || parent.size() >= path.size() || !makeFolders(parent)) return false;
        if (::mkdir(path.c_str(), 0777) == 0) return true;
    }
    return errno == EEXIST && isDirectory(path);
}

std::string absolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char here[4096];
    if (!::getcwd(here, sizeof here)) return path;
    return joinPath(here, path.starts_with("./") ? path.substr(2) : path);
}

std::string baseName(std::string_view path) {
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string dirName(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

std::string joinPath(std::string_view folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    // One allocation: scans join a path for every file.
    std::string out;
    out.reserve(folder.size() + 1 + name.size());
    out.append(folder);
    if (out.back() != '/') out += '/';
    out.append(name);
    return out;
}

std::string fitName(std::string_view name, std::string_view suffix, size_t limit) {
    const size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string_view::npos && dot > 0;
    std::string_view stem = hasExtension ? name.substr(0, dot) : name;
    std::string_view extension = hasExtension ? name.substr(dot) : std::string_view();
    if (stem.size() + suffix.size() + extension.size() <= limit) {
        return std::string(stem).append(suffix).append(extension);
    }
    if (suffix.size() >= limit) return std::string(suffix.substr(0, limit));
    if (extension.size() + suffix.size() >= limit || utf8Prefix(stem, limit - suffix.size() - extension.size()).empty()) {
        stem = name;  // no room for the stem beside the extension: cut the whole name
        extension = {};
    }
    stem = utf8Prefix(stem, limit - suffix.size() - extension.size());
    return std::string(stem).append(suffix).append(extension);
}

std::string uniqueTempPath(const std::string& folder, std::string_view hint) {
    static std::atomic<unsigned> counter{0};
    // The program forks nothing that makes temporary files: one system call, not one per name.
    static const std::string pid = std::to_string(::getpid());
    for (;;) {
        std::string name(kTempPrefix);
        name += pid + "-" + std::to_string(counter.fetch_add(1));
        if (name.size() + 1 + hint.size() <= kNameMax) {
            name += '-';
            name.append(hint);
        } else {
            name += '~';
            name += fitName(hint, {}, kNameMax - name.size());
        }
        std::string candidate = folder.empty() ? name : joinPath(folder, name);
        if (!pathExists(candidate)) return candidate;
    }
}

std::string tempNameHint(std::string_view name) {
    if (name.substr(0, kTempPrefix.size()) != kTempPrefix) return {};
    name.remove_prefix(kTempPrefix.size());
    // Two runs of digits, each followed by "-".
    for (int part = 0; part < 2; ++part) {
        size_t digits = 0;
        while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') ++digits;
        if (digits == 0 || digits >= name.size() || name[digits] != '-') return {};
        name.remove_prefix(digits + 1);
    }
    return std::string(name);
}

std::string freeNameIn(const std::string& folder, const std::string& name) {
    // Gives up after this many tries; a folder holding that many copies of
    // one name is not worth searching further.
    constexpr int kMaxNameVariants = 100000;
    std::string first = fitName(name);
    if (!pathExists(joinPath(folder, first))) return first;
    for (int i = 1; i < kMaxNameVariants; ++i) {
        std::string candidate = fitName(name, " (" + std::to_string(i) + ")");
        if (!pathExists(joinPath(folder, candidate))) return candidate;
    }
    return first;
}

bool writeAllAt(int fd, const void* data, size_t size, std::uint64_t offset) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        crashPoint();
        const ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

ssize_t readFullyAt(int fd, void* data, size_t size, std::uint64_t offset) {
    auto* p = static_cast<char*>(data);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, p + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

bool readWholeFile(const std::string& path, std::string& out) {
    out.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool writeFileAtomically(const std::string& path, std::string_view content, std::string* error) {
    const std::string folder = dirName(path);
    const std::string temp = uniqueTempPath(folder, baseName(path));
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + " " + path + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    };
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (error) *error = std::string("Cannot write ") + path + ": " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return fail("Cannot write");
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        ::close(fd);
        return fail("Cannot sync");
    }
    if (::close(fd) != 0) return fail("Cannot close");
    if (::rename(temp.c_str(), path.c_str()) != 0) return fail("Cannot replace");
    const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace quorvane
