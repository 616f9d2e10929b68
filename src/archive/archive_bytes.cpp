#include "archive/archive_bytes.h"

#include "archive/minizip_io.h"

namespace quorvane {
namespace {

thread_local ScratchBuffer threadBuffer;
thread_local bool threadBufferTaken = false;

}  // namespace

ArchiveBytes::ArchiveBytes(const std::string& path, FileOps& ops, ArchivePart part, int folder, uint64_t wholeLimit)
    : ops_(ops) {
    if (threadBufferTaken) {
        own_ = std::make_unique<ScratchBuffer>();
        buffer_ = own_.get();
    } else {
        threadBufferTaken = true;
        buffer_ = &threadBuffer;
    }
    fd_ = ops_.openRead(path, {ReadAhead::InOneGo, folder});
    if (fd_ < 0) return;
    if (ops_.statOf(fd_, opened_) != 0) return;
    fileSize_ = opened_.st_size;
    const uint64_t size = static_cast<uint64_t>(fileSize_);
    uint64_t want = size < kTailSize ? size : kTailSize;
    if (part == ArchivePart::Whole && size <= wholeLimit) want = size;
    unsigned char* into = buffer_->reserve(static_cast<size_t>(want));
    if (into == nullptr || !readExactly(into, want, size - want)) return;
    tail_ = into;
    tailSize_ = want;
}

ArchiveBytes::~ArchiveBytes() {
    if (fd_ >= 0) ops_.close(fd_);
    buffer_->trim();
    if (!own_) threadBufferTaken = false;
}

bool ArchiveBytes::readExactly(unsigned char* into, uint64_t size, uint64_t offset) {
    return readAllAt(ops_, fd_, into, static_cast<size_t>(size), offset);
}

unzFile ArchiveBytes::openInMemory() const { return whole() ? openUnzipInMemory(tail_, tailSize_) : nullptr; }

unzFile openUnzipFrom(const ArchiveBytes* bytes, const std::string& path, FileOps& ops, int* descriptor) {
    if (descriptor) *descriptor = -1;
    return bytes && bytes->whole() ? bytes->openInMemory() : openUnzip(path, ops, descriptor);
}

const unsigned char* ArchiveBytes::span(uint64_t offset, uint64_t size) {
    if (!loaded()) return nullptr;
    const uint64_t end = fileSize();
    if (offset > end || size > end - offset || size > kSpanLimit) return nullptr;
    const uint64_t tailStart = end - tailSize_;
    if (offset >= tailStart) return tail_ + (offset - tailStart);
    unsigned char* into = spans_.reserve(static_cast<size_t>(size));
    if (into == nullptr || !readExactly(into, size, offset)) return nullptr;
    return into;
}

}  // namespace quorvane
