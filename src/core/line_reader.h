// Streams a text file line by line. A line ends at LF, CR LF or a lone CR;
// the line end is not part of the line. Lines of any length are read whole.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace quorvane {

class LineReader {
public:
    explicit LineReader(const std::string& path);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    // False at the end of the file (or on a read error, see failed()).
    bool next(std::string& line);
    // Byte offset just after the last line returned.
    std::uint64_t offset() const { return offset_; }
    std::uint64_t fileSize() const { return size_; }
    bool failed() const { return failed_; }

private:
    bool fill();

    FILE* file_ = nullptr;
    char buffer_[1 << 16];
    size_t pos_ = 0;
    size_t len_ = 0;
    std::uint64_t offset_ = 0;
    std::uint64_t size_ = 0;
    bool failed_ = false;
};

}  // namespace quorvane
