#include "archive/zip_file_writer.h"

#include "archive/little_endian.h"
#include "archive/zip_entry_io.h"

namespace quorvane {
namespace {

// Write buffers kept by each thread between archives: a new block for each
// archive would cost its page faults every time.
std::vector<std::string>& spareBuffers() {
    thread_local std::vector<std::string> spare;
    return spare;
}

constexpr size_t kSpareBuffersKept = 2;

}  // namespace

void ZipFileWriter::abandon() {
    if (fd_ >= 0) ops_.close(fd_);
    fd_ = -1;
    if (buffer_.capacity() >= kCopyBlockSize && spareBuffers().size() < kSpareBuffersKept) {
        buffer_.clear();
        spareBuffers().push_back(std::move(buffer_));
    }
    buffer_ = std::string();
}

bool ZipFileWriter::create(const std::string& path, bool syncOnFinish) {
    fd_ = ops_.createNew(path);
    sync_ = syncOnFinish;
    if (!spareBuffers().empty()) {
        buffer_ = std::move(spareBuffers().back());
        spareBuffers().pop_back();
    }
    buffer_.reserve(kCopyBlockSize);
    return fd_ >= 0;
}

bool ZipFileWriter::flush() {
    if (failed_ || fd_ < 0) return false;
    if (!buffer_.empty() && !writeAllAt(ops_, fd_, buffer_.data(), buffer_.size(), bufferStart_)) failed_ = true;
    buffer_.clear();
    bufferStart_ = position_;
    return !failed_;
}

bool ZipFileWriter::append(const void* data, size_t size) {
    if (failed_ || fd_ < 0) return false;
    if (buffer_.size() + size > kCopyBlockSize) {
        if (!flush()) return false;
        if (size >= kCopyBlockSize) {
            if (!writeAllAt(ops_, fd_, data, size, position_)) failed_ = true;
            position_ += size;
            bufferStart_ = position_;
            return !failed_;
        }
    }
    buffer_.append(static_cast<const char*>(data), size);
    position_ += size;
    return true;
}

// Overwrites bytes written before, in the buffer or in the file.
bool ZipFileWriter::patch(uint64_t offset, const std::string& bytes) {
    if (offset >= bufferStart_) {
        buffer_.replace(static_cast<size_t>(offset - bufferStart_), bytes.size(), bytes);
        return true;
    }
    if (offset + bytes.size() > bufferStart_ && !flush()) return false;
    if (!writeAllAt(ops_, fd_, bytes.data(), bytes.size(), offset)) failed_ = true;
    return !failed_;
}

bool ZipFileWriter::startEntry(ZipRecord record, bool zip64) {
    if (entryOpen_ || failed_) return false;
    record.localHeaderOffset = position_;
    std::string header;
    appendLocalHeader(header, record, zip64);
    if (!append(header.data(), header.size())) return false;
    records_.push_back(std::move(record));
    entryOpen_ = true;
    entryZip64_ = zip64;
    directWrite_ = false;
    dataStart_ = position_;
    return true;
}

bool ZipFileWriter::write(const void* data, size_t size) { return entryOpen_ && !directWrite_ && append(data, size); }

int64_t ZipFileWriter::dataOffsetForDirectWrite() {
    if (!entryOpen_ || !flush()) return -1;
    directWrite_ = true;
    return static_cast<int64_t>(position_);
}

bool ZipFileWriter::finishEntry(uint32_t crc32, uint64_t size, uint64_t compressedSize) {
    if (!entryOpen_ || failed_) return false;
    entryOpen_ = false;
    if (directWrite_) {
        position_ += compressedSize;
        bufferStart_ = position_;
    }
    ZipRecord& record = records_.back();
    if (position_ - dataStart_ != compressedSize || (!entryZip64_ && localHeaderHasZip64(size, compressedSize))) {
        failed_ = true;
        return false;
    }
    if (record.crc32 == crc32 && record.size == size && record.compressedSize == compressedSize) return true;
    record.crc32 = crc32;
    record.size = size;
    record.compressedSize = compressedSize;
    std::string fields;
    appendLittle(fields, crc32, 4);
    if (!entryZip64_) {
        appendLittle(fields, compressedSize, 4);
        appendLittle(fields, size, 4);
        return patch(record.localHeaderOffset + kLocalCrcOffset, fields);
    }
    std::string sizes;
    appendLittle(sizes, size, 8);
    appendLittle(sizes, compressedSize, 8);
    return patch(record.localHeaderOffset + kLocalCrcOffset, fields) &&
           patch(record.localHeaderOffset + kLocalHeaderFixedSize + record.name.size() + kLocalZip64SizesOffset,
                 sizes);
}

ZipStatus ZipFileWriter::finish() {
    bool ok = !entryOpen_ && !failed_ && fd_ >= 0;
    if (ok) {
        const uint64_t directoryOffset = position_;
        std::string directory;
        for (const ZipRecord& record : records_) {
            appendCentralRecord(directory, record);
            if (directory.size() < kCopyBlockSize) continue;
            ok = append(directory.data(), directory.size());
            directory.clear();
            if (!ok) break;
        }
        const uint64_t directorySize = position_ + directory.size() - directoryOffset;
        appendEndRecords(directory, records_.size(), directoryOffset, directorySize, {});
        ok = ok && append(directory.data(), directory.size()) && flush();
        if (ok && sync_ && ops_.sync(fd_) != 0) ok = false;
    }
    if (fd_ >= 0 && ops_.close(fd_) != 0) ok = false;
    fd_ = -1;
    abandon();
    return ok ? ZipStatus::Ok : ZipStatus::Error;
}

}  // namespace quorvane
