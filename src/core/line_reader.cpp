#include "core/line_reader.h"

#include <cstring>
#include <sys/stat.h>

namespace quorvane {

LineReader::LineReader(const std::string& path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) return;
    struct stat st {};
    if (::fstat(::fileno(file_), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            std::fclose(file_);
            file_ = nullptr;
            return;
        }
        size_ = static_cast<std::uint64_t>(st.st_size);
    }
}

LineReader::~LineReader() {
    if (file_) std::fclose(file_);
}

bool LineReader::fill() {
    if (!file_) return false;
    len_ = std::fread(buffer_, 1, sizeof buffer_, file_);
    pos_ = 0;
    if (len_ == 0 && std::ferror(file_)) failed_ = true;
    return len_ > 0;
}

bool LineReader::next(std::string& line) {
    line.clear();
    if (!file_) return false;
    bool any = false;
    for (;;) {
        if (pos_ >= len_ && !fill()) return any;
        any = true;
        const char* start = buffer_ + pos_;
        const size_t avail = len_ - pos_;
        // The first CR or LF, found with two vectorised searches: a DAT's
        // lines are short and its files large.
        const void* lf = std::memchr(start, '\n', avail);
        const size_t beforeLf = lf ? static_cast<size_t>(static_cast<const char*>(lf) - start) : avail;
        const void* cr = std::memchr(start, '\r', beforeLf);
        const size_t i = cr ? static_cast<size_t>(static_cast<const char*>(cr) - start) : beforeLf;
        line.append(start, i);
        pos_ += i;
        offset_ += i;
        if (i == avail) continue;
        const char end = buffer_[pos_];
        ++pos_;
        ++offset_;
        if (end == '\r') {
            if (pos_ >= len_) fill();
            if (pos_ < len_ && buffer_[pos_] == '\n') {
                ++pos_;
                ++offset_;
            }
        }
        return true;
    }
}

}  // namespace quorvane
