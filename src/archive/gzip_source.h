// The inflated content of a gzip file, read block by block through a
// FileOps. Every member of the file is checked against the CRC-32 and
// length in its trailer as it ends (libarchive's own gzip reader checks
// neither), so damage inside a .gz or .tar.gz is found, not passed on.
#pragma once

#include <zlib.h>

#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/file_ops.h"

namespace quorvane {

class GzipSource {
public:
    GzipSource(FileOps& ops, int fd, std::string path);
    ~GzipSource();
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;

    // Up to `size` inflated bytes into `out`: how many, 0 at the end of the
    // last member, -1 on failure (then error() says why).
    ssize_t read(unsigned char* out, size_t size);

    const std::string& error() const { return error_; }
    // The errno of a failed read of the file; 0 when the data was at fault.
    int readErrno() const { return readErrno_; }

private:
    ssize_t fail(std::string why);

    FileOps* ops_;
    int fd_;
    std::string path_;
    z_stream stream_{};
    bool ready_ = false;
    std::unique_ptr<unsigned char[]> input_;
    uint64_t offset_ = 0;
    bool inputEnded_ = false;
    bool memberEnded_ = false;
    bool started_ = false;  // some output was produced
    int readErrno_ = 0;
    std::string error_;
};

}  // namespace quorvane
