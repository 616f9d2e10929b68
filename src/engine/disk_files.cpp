#include "engine/disk_files.h"

#include <cerrno>
#include <vector>

#include "archive/file_ops.h"
#include "core/file_util.h"

namespace quorvane {

namespace {

constexpr size_t kBlockSize = 1 << 20;

}  // namespace

bool streamCopy(FileOps& ops, const std::string& from, const std::string& to, const CancelCheck& cancelled) {
    const int in = ops.openRead(from);
    if (in < 0) return false;
    const int64_t size = ops.fileSize(in);
    const int out = size < 0 ? -1 : ops.createNew(to);
    if (out < 0) {
        const int saved = errno;
        ops.close(in);
        errno = saved;
        return false;
    }
    std::vector<char> block(kBlockSize);
    int error = 0;
    for (uint64_t offset = 0; offset < static_cast<uint64_t>(size);) {
        if (cancelled && cancelled()) {
            error = ECANCELED;
            break;
        }
        const ssize_t n = ops.readAt(in, block.data(), block.size(), offset);
        if (n <= 0) {
            error = n == 0 ? EIO : errno;  // shorter than it was sized: so would the copy be
            break;
        }
        errno = 0;
        if (!writeAllAt(ops, out, block.data(), static_cast<size_t>(n), offset)) {
            error = errno != 0 ? errno : EIO;
            break;
        }
        offset += static_cast<uint64_t>(n);
    }
    if (error == 0 && ops.sync(out) != 0) error = errno;
    ops.close(in);
    if (ops.close(out) != 0 && error == 0) error = errno;
    if (error == 0) return true;
    ops.remove(to);
    errno = error;
    return false;
}

int copyDisk(const std::string& from, const std::string& to, const std::string& tempFolder,
             const CancelCheck& cancelled) {
    FileOps& ops = fileOps();
    if (ops.link(from, to) == 0) {
        ops.syncFolder(dirName(to));
        return 0;
    }
    if (errno == EEXIST || errno == ENOENT || errno == ENOTDIR) return -1;
    const std::string temp = uniqueTempPath(tempFolder, baseName(to));
    if (!streamCopy(ops, from, temp, cancelled)) return -1;
    if (ops.renameNoReplace(temp, to) != 0) {
        const int saved = errno;
        ops.remove(temp);
        errno = saved;
        return -1;
    }
    ops.syncFolder(dirName(to));
    return 0;
}

int moveDisk(const std::string& from, const std::string& to, const std::string& tempFolder,
             const CancelCheck& cancelled) {
    FileOps& ops = fileOps();
    if (ops.renameNoReplace(from, to) == 0) {
        ops.syncFolder(dirName(to));
        if (dirName(from) != dirName(to)) ops.syncFolder(dirName(from));
        return 0;
    }
    if (errno != EXDEV) return -1;
    if (copyDisk(from, to, tempFolder, cancelled) != 0) return -1;
    // A failed removal leaves two copies, never none; the move counts as done.
    if (ops.remove(from) == 0) ops.syncFolder(dirName(from));
    return 0;
}

bool makeParentFolder(const std::string& to) { return fileOps().makeFolderPath(dirName(to)) == 0; }

void removeIfEmpty(const std::string& folder) {
    if (fileOps().removeFolder(folder) == 0) fileOps().syncFolder(dirName(folder));
}

}  // namespace quorvane
