#include "engine/prepared_entry.h"

#include <cerrno>
#include <cstdlib>

#include "archive/digest_set.h"
#include "archive/dos_time.h"
#include "archive/file_ops.h"
#include "archive/plain_deflate.h"
#include "core/file_util.h"

namespace quorvane {

bool PreparedEntry::matches(const File& file) const {
    if (!ready || file.crc.size() != 8) return false;
    char* end = nullptr;
    const unsigned long long fileSize = std::strtoull(file.size.c_str(), &end, 10);
    if (file.size.empty() || *end != '\0' || fileSize != data.size) return false;
    return std::strtoul(file.crc.c_str(), &end, 16) == data.crc32 && *end == '\0';
}

bool readLooseSource(ContainerFiles& collection, const FileStamp& stamp, const LoadOptions& options,
                     ZipStatus& status, LooseSource& out) {
    if (!stamp.valid || stamp.size < 0 || static_cast<uint64_t>(stamp.size) > kPrepareSizeLimit) return false;
    FileOps& ops = fileOps();
    const int fd = ops.openRead(collection.path, {ReadAhead::InOneGo});
    if (fd < 0) {
        status = openFailure(errno, ZipStatus::FileUnreadable);
        collection.files.clear();
        return true;
    }
    const auto expected = static_cast<size_t>(stamp.size);
    // One byte more than stamped shows a file that grew since. Not cleared:
    // every byte kept is one read.
    std::unique_ptr<char[]> bytes(new (std::nothrow) char[expected + 1]);
    size_t have = 0;
    bool ok = bytes != nullptr;
    while (ok && have <= expected) {
        const ssize_t n = ops.readAt(fd, bytes.get() + have, expected + 1 - have, have);
        if (n < 0) ok = false;
        if (n <= 0) break;
        have += static_cast<size_t>(n);
    }
    ops.close(fd);
    if (!ok || have != expected) return false;

    File file(baseName(collection.path));
    file.size = std::to_string(have);
    out.crc32 = zipCrc32(bytes.get(), have);
    file.crc = crcHex(out.crc32, false);
    if (options.useMD5 || options.useSHA1) {
        DigestSet digests(false, options.useMD5, options.useSHA1);
        if (!digests.ready()) return false;
        digests.update(bytes.get(), have);
        std::string unused;
        digests.finish(unused, file.md5, file.sha1);
    }
    collection.isZip = false;
    collection.isPacked = false;
    collection.files.clear();
    collection.files.push_back(std::move(file));
    out.bytes = std::move(bytes);
    out.size = have;
    out.modified = static_cast<time_t>(stamp.modifiedNs / 1000000000LL);
    status = ZipStatus::Ok;
    return true;
}

bool prepareFrom(const LooseSource& source, PreparedEntry& out) {
    out.data = DeflatedData{.crc32 = source.crc32, .size = source.size, .dosDate = timeToDosDate(source.modified)};
    out.ready = deflateWhole(source.bytes.get(), source.size, out.data.bytes);
    return out.ready;
}

}  // namespace quorvane
