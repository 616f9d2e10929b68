#include "archive/empty_zip.h"

#include "archive/zip_signatures.h"

namespace quorvane {

bool isEmptyZip(const std::string& path, FileOps& ops) {
    const int fd = ops.openRead(path, {ReadAhead::InOneGo});
    if (fd < 0) return false;
    unsigned char record[kEndRecordSize];
    const int64_t size = ops.fileSize(fd);
    const bool read = size >= static_cast<int64_t>(kEndRecordSize) &&
                      ops.readAt(fd, record, kEndRecordSize, 0) == static_cast<ssize_t>(kEndRecordSize);
    ops.close(fd);
    if (!read) return false;
    const auto field = [&](size_t at) { return static_cast<unsigned>(record[at] | (record[at + 1] << 8)); };
    return record[0] == 'P' && record[1] == 'K' && record[2] == 5 && record[3] == 6 && field(8) == 0 &&
           field(10) == 0 && field(12) == 0 && field(14) == 0 &&
           static_cast<int64_t>(kEndRecordSize + field(20)) == size;
}

}  // namespace quorvane
