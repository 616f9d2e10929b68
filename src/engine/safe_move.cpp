#include "engine/safe_move.h"

#include <cerrno>
#include <cstring>

#include <vector>

#include "archive/file_ops.h"

namespace quorvane {

namespace {

// Tries this often when a free name is taken between looking and moving.
constexpr int kMoveAttempts = 16;
constexpr size_t kBlockSize = 256 * 1024;

bool readFull(FileOps& ops, int fd, char* buffer, size_t size, uint64_t offset, size_t& got) {
    got = 0;
    while (got < size) {
        const ssize_t n = ops.readAt(fd, buffer + got, size - got, offset + got);
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return true;
}

// Copies `from` to the new file `to`, syncs it and reads both back to compare.
bool copyVerified(FileOps& ops, const std::string& from, const std::string& to) {
    const int in = ops.openRead(from);
    if (in < 0) return false;
    const int out = ops.createNew(to);
    if (out < 0) {
        ops.close(in);
        return false;
    }
    std::vector<char> a(kBlockSize), b(kBlockSize);
    bool ok = true;
    for (uint64_t offset = 0;;) {
        size_t n = 0;
        ok = readFull(ops, in, a.data(), a.size(), offset, n) && writeAllAt(ops, out, a.data(), n, offset);
        if (!ok || n == 0) break;
        offset += n;
    }
    if (ok) ok = ops.sync(out) == 0;
    for (uint64_t offset = 0; ok;) {
        size_t n1 = 0, n2 = 0;
        ok = readFull(ops, in, a.data(), a.size(), offset, n1) && readFull(ops, out, b.data(), b.size(), offset, n2) &&
             n1 == n2 && std::memcmp(a.data(), b.data(), n1) == 0;
        if (n1 == 0) break;
        offset += n1;
    }
    ops.close(in);
    if (ops.close(out) != 0) ok = false;
    if (!ok) ops.remove(to);
    return ok;
}

}  // namespace

int renameNoReplace(const std::string& from, const std::string& to) { return fileOps().renameNoReplace(from, to); }

int moveIntoFolder(const std::string& from, const std::string& folder, const std::string& name,
                   std::string* finalPath) {
    FileOps& ops = fileOps();
    for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
        const std::string target = joinPath(folder, freeNameIn(folder, name));
        if (ops.renameNoReplace(from, target) == 0) {
            ops.syncFolder(folder);
            if (finalPath) *finalPath = target;
            return 0;
        }
        if (errno == EEXIST) continue;  // taken meanwhile: look again
        if (errno != EXDEV) return -1;
        // Another file system: the source goes only once a verified copy is
        // durable under its final name.
        const std::string temp = uniqueTempPath(folder, name);
        if (!copyVerified(ops, from, temp)) return -1;
        if (ops.renameNoReplace(temp, target) != 0) {
            const int saved = errno;
            ops.remove(temp);
            if (saved == EEXIST) continue;
            errno = saved;
            return -1;
        }
        if (ops.syncFolder(folder) != 0) return -1;
        if (finalPath) *finalPath = target;
        // A failed removal leaves two copies, never none; the move counts as
        // done so the caller does not make a third.
        if (ops.remove(from) == 0) ops.syncFolder(dirName(from));
        return 0;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace quorvane
