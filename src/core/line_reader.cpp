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
        size_t i = 0;
        while (i < avail && start[i] != '\n' && start[i] != '\r') ++i;
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
