#include "archive/gzip_source.h"

#include <cerrno>
#include <cstring>

namespace quorvane {

namespace {

constexpr size_t kInputSize = size_t{128} << 10;

}  // namespace

GzipSource::GzipSource(FileOps& ops, int fd, std::string path)
    : ops_(&ops), fd_(fd), path_(std::move(path)), input_(new unsigned char[kInputSize]) {
    // 16 + 15: a gzip wrapper around a 32 KiB window.
    ready_ = inflateInit2(&stream_, 16 + MAX_WBITS) == Z_OK;
}

GzipSource::~GzipSource() {
    if (ready_) inflateEnd(&stream_);
}

ssize_t GzipSource::fail(std::string why) {
    error_ = std::move(why);
    return -1;
}

ssize_t GzipSource::read(unsigned char* out, size_t size) {
    if (!ready_) return fail("zlib cannot start");
    for (;;) {
        if (stream_.avail_in == 0 && !inputEnded_) {
            const ssize_t n = ops_->readAt(fd_, input_.get(), kInputSize, offset_);
            if (n < 0) {
                readErrno_ = errno;
                return fail("cannot read " + path_ + ": " + std::strerror(readErrno_));
            }
            inputEnded_ = n == 0;
            offset_ += static_cast<uint64_t>(n);
            stream_.next_in = input_.get();
            stream_.avail_in = static_cast<uInt>(n);
        }
        if (memberEnded_) {
            if (stream_.avail_in == 0) {
                if (inputEnded_) return 0;
                continue;
            }
            // What follows a member is another member, or padding that gzip
            // itself ignores.
            if (stream_.next_in[0] != 0x1F) return 0;
            if (inflateReset(&stream_) != Z_OK) return fail("zlib cannot go on to the next member");
            memberEnded_ = false;
        }
        stream_.next_out = out;
        stream_.avail_out = static_cast<uInt>(size);
        const int result = inflate(&stream_, Z_NO_FLUSH);
        const size_t produced = size - stream_.avail_out;
        if (result == Z_STREAM_END) {
            memberEnded_ = true;
        } else if (result == Z_BUF_ERROR && inputEnded_ && stream_.avail_in == 0) {
            return fail("the gzip data ends too soon (truncated gzip input)");
        } else if (result == Z_DATA_ERROR && !started_ && produced == 0 && stream_.msg &&
                   std::strcmp(stream_.msg, "incorrect header check") == 0) {
            return fail("the content is not gzip data");
        } else if (result == Z_DATA_ERROR && stream_.msg && std::strcmp(stream_.msg, "incorrect data check") == 0) {
            return fail("the inflated data does not match the gzip CRC");
        } else if (result != Z_OK && result != Z_BUF_ERROR) {
            return fail(std::string("damaged gzip data (") + (stream_.msg ? stream_.msg : "zlib error") + ")");
        }
        if (produced > 0) {
            started_ = true;
            return static_cast<ssize_t>(produced);
        }
    }
}

}  // namespace quorvane
