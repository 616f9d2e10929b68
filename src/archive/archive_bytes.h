// The bytes of one archive, read in as few calls as possible: a file up to
// kWholeFileLimit whole (then minizip, when needed, walks it in memory);
// otherwise its last kTailSize bytes, where the directory usually is, and
// one entry's span at a time on demand. The memory is the calling thread's
// and is reused for the next archive, so at most one ArchiveBytes per
// thread holds it (a second one gets its own).
//
// How to use:
//   ArchiveBytes bytes(path, ops, ArchivePart::Whole);
//   readPlainDirectory(bytes.tail(), bytes.tailSize(), bytes.fileSize(), directory);
//   const unsigned char* data = bytes.span(dataOffset, compressedSize);
#pragma once

#include <minizip/unzip.h>

#include <cstdint>
#include <memory>
#include <string>

#include "archive/file_ops.h"
#include "archive/scratch_buffer.h"

namespace quorvane {

enum class ArchivePart {
    Whole,      // the whole file when it is small enough, else its tail
    Directory,  // the tail only
};

class ArchiveBytes {
public:
    static constexpr uint64_t kWholeFileLimit = uint64_t{16} << 20;
    static constexpr uint64_t kTailSize = uint64_t{128} << 10;
    // The largest span read for one entry.
    static constexpr uint64_t kSpanLimit = uint64_t{64} << 20;

    // `folder`: a descriptor of the folder holding `path`, or -1 (ReadOpen).
    // `wholeLimit`: the largest file ArchivePart::Whole reads whole.
    ArchiveBytes(const std::string& path, FileOps& ops, ArchivePart part, int folder = -1,
                 uint64_t wholeLimit = kWholeFileLimit);
    ~ArchiveBytes();
    ArchiveBytes(const ArchiveBytes&) = delete;
    ArchiveBytes& operator=(const ArchiveBytes&) = delete;

    // False when the file could not be opened or read.
    bool loaded() const { return tail_ != nullptr; }
    // True when the whole file is in memory.
    bool whole() const { return loaded() && tailSize_ == fileSize(); }
    uint64_t fileSize() const { return fileSize_ < 0 ? 0 : static_cast<uint64_t>(fileSize_); }
    // The file as opened, before a byte of it was read; null if it was not.
    const struct stat* opened() const { return fileSize_ < 0 ? nullptr : &opened_; }
    // The last tailSize() bytes of the file (all of them when whole()).
    const unsigned char* tail() const { return tail_; }
    uint64_t tailSize() const { return tailSize_; }
    // A minizip handle over the bytes in memory (whole() only), or null.
    unzFile openInMemory() const;
    // Bytes [offset, offset + size) of the file; null when they lie past its
    // end, exceed kSpanLimit or cannot be read. Valid until the next call.
    const unsigned char* span(uint64_t offset, uint64_t size);

private:
    bool readExactly(unsigned char* into, uint64_t size, uint64_t offset);

    FileOps& ops_;
    int fd_ = -1;
    int64_t fileSize_ = -1;
    struct stat opened_ {};
    const unsigned char* tail_ = nullptr;
    uint64_t tailSize_ = 0;
    ScratchBuffer* buffer_ = nullptr;
    std::unique_ptr<ScratchBuffer> own_;  // when the thread's buffer is taken
    ScratchBuffer spans_;                 // entry spans of a large file
};

// A minizip handle on the archive `path`: over `bytes` when they hold its
// whole file, else on the file itself (`descriptor`, when given, receives
// its descriptor then, and -1 otherwise); null when it cannot be opened.
unzFile openUnzipFrom(const ArchiveBytes* bytes, const std::string& path, FileOps& ops, int* descriptor = nullptr);

}  // namespace quorvane
