// Writes a new zip archive into a file from front to back: each entry's
// local header and stored bytes as they come, then, at finish(), the
// central directory and the end records (zip_records.h). Small writes are
// gathered in one buffer, so an archive of small entries costs a few
// writes in all.
//
// How to use:
//   ZipFileWriter out(ops);
//   if (!out.create(temp, /*syncOnFinish=*/true)) ...
//   out.startEntry(record, false);           // CRC and sizes known ahead
//   out.write(bytes, n);                      // its stored bytes
//   out.finishEntry(crc, size, compressedSize);
//   if (out.finish() != ZipStatus::Ok) ...    // the caller removes the file
//
// An entry whose CRC and sizes are known only after its data is started
// with zeros for them, or with ZIP64 room (`zip64`) when it may reach 4 GiB;
// finishEntry writes the true values into its local header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/file_ops.h"
#include "archive/zip_records.h"
#include "archive/zip_status.h"

namespace quorvane {

class ZipFileWriter {
public:
    explicit ZipFileWriter(FileOps& ops) : ops_(ops) {}
    ~ZipFileWriter() { abandon(); }
    ZipFileWriter(const ZipFileWriter&) = delete;
    ZipFileWriter& operator=(const ZipFileWriter&) = delete;

    // Creates `path`, which must not exist. With `syncOnFinish`, finish()
    // flushes the file to the disk and a failed sync fails it.
    bool create(const std::string& path, bool syncOnFinish);

    // Writes the entry's local header at the current end. `record`'s offset is
    // set here. False when a write failed or an entry is still open.
    bool startEntry(ZipRecord record, bool zip64);
    // The open entry's stored bytes.
    bool write(const void* data, size_t size);
    // Where the open entry's data continue in the file, for a writer that
    // writes them itself (RawDeflater); the buffer is flushed first. -1 when
    // that failed. finishEntry counts its bytes.
    int64_t dataOffsetForDirectWrite();
    FileOps& ops() const { return ops_; }
    int descriptor() const { return fd_; }
    // Ends the open entry with its true CRC and sizes; false when its bytes
    // number otherwise, a write failed, or a size needs ZIP64 room that
    // the local header lacks.
    bool finishEntry(uint32_t crc32, uint64_t size, uint64_t compressedSize);

    // Writes the directory and end records and closes the file. Ok, or Error
    // when any step of the archive failed.
    ZipStatus finish();
    // Closes the file as it stands, for an archive that will be removed.
    void abandon();

private:
    bool flush();
    bool append(const void* data, size_t size);
    bool patch(uint64_t offset, const std::string& bytes);

    FileOps& ops_;
    int fd_ = -1;
    bool sync_ = false;
    bool failed_ = false;
    bool entryOpen_ = false;
    bool entryZip64_ = false;
    bool directWrite_ = false;
    uint64_t dataStart_ = 0;
    uint64_t position_ = 0;     // the end of what was written, buffered or not
    uint64_t bufferStart_ = 0;  // where the buffered bytes go
    std::string buffer_;
    std::vector<ZipRecord> records_;
};

}  // namespace quorvane
