#include "archive/minizip_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace quorvane {
namespace {

constexpr size_t kBufferSize = 64 * 1024;

// Per-open settings, handed to minizip as the callbacks' `opaque`.
struct OpenSettings {
    FileOps* ops;
    bool create;
    bool syncOnClose;
    int* opened = nullptr;  // gets the descriptor opened
};

// One open file. The buffer holds either bytes read from [start, start+length)
// or bytes written there and not yet flushed (`dirty`).
struct Stream {
    FileOps* ops = nullptr;
    int fd = -1;
    bool syncOnClose = false;
    bool failed = false;
    bool dirty = false;
    // Length of a file opened only for reading, taken at open; -1 otherwise.
    int64_t readOnlySize = -1;
    uint64_t position = 0;
    uint64_t start = 0;
    size_t length = 0;
    // Left uninitialised: only bytes read or written are ever used.
    std::unique_ptr<char[]> buffer{new char[kBufferSize]};
};

bool flush(Stream& s) {
    if (!s.dirty) return !s.failed;
    s.dirty = false;
    if (!writeAllAt(*s.ops, s.fd, s.buffer.get(), s.length, s.start)) s.failed = true;
    s.length = 0;
    return !s.failed;
}

// Where a buffer refill starts. minizip looks for the end records by
// reading backwards from the end of the file in 1 KiB steps over up to
// 64 KiB; a window that ends at the end of the file serves that whole
// search, and a small archive entirely, from one read.
uint64_t windowStart(const Stream& s) {
    if (s.readOnlySize < 0) return s.position;
    const uint64_t size = static_cast<uint64_t>(s.readOnlySize);
    if (s.position >= size || s.position + kBufferSize <= size) return s.position;
    return size > kBufferSize ? size - kBufferSize : 0;
}

voidpf ZCALLBACK openFile(voidpf opaque, const void* filename, int mode) {
    auto* settings = static_cast<OpenSettings*>(opaque);
    if (filename == nullptr) return nullptr;
    const std::string path(static_cast<const char*>(filename));
    int fd;
    if ((mode & ZLIB_FILEFUNC_MODE_CREATE) != 0) {
        if (!settings->create) return nullptr;
        fd = settings->ops->createNew(path);
    } else if ((mode & ZLIB_FILEFUNC_MODE_WRITE) != 0) {
        fd = settings->ops->openReadWrite(path);
    } else {
        fd = settings->ops->openRead(path);
    }
    if (fd < 0) return nullptr;
    const bool readOnly = (mode & (ZLIB_FILEFUNC_MODE_CREATE | ZLIB_FILEFUNC_MODE_WRITE)) == 0;
    const int64_t size = readOnly ? settings->ops->fileSize(fd) : -1;
    if (readOnly && size < 0) {
        settings->ops->close(fd);
        return nullptr;
    }
    if (settings->opened) *settings->opened = fd;
    auto* s = new Stream;
    s->ops = settings->ops;
    s->fd = fd;
    s->readOnlySize = size;
    s->syncOnClose = settings->syncOnClose;
    return s;
}

uLong ZCALLBACK readFile(voidpf, voidpf stream, void* out, uLong size) {
    auto& s = *static_cast<Stream*>(stream);
    if (s.dirty && !flush(s)) return 0;
    char* dest = static_cast<char*>(out);
    uLong done = 0;
    while (done < size) {
        if (s.position >= s.start && s.position < s.start + s.length) {
            const size_t at = static_cast<size_t>(s.position - s.start);
            const size_t n = std::min<size_t>(s.length - at, size - done);
            std::memcpy(dest + done, s.buffer.get() + at, n);
            done += n;
            s.position += n;
            continue;
        }
        if (size - done >= kBufferSize) {
            const ssize_t n = s.ops->readAt(s.fd, dest + done, size - done, s.position);
            if (n < 0) s.failed = true;
            if (n <= 0) break;
            done += static_cast<uLong>(n);
            s.position += static_cast<uint64_t>(n);
            continue;
        }
        const uint64_t from = windowStart(s);
        const ssize_t n = s.ops->readAt(s.fd, s.buffer.get(), kBufferSize, from);
        if (n < 0) s.failed = true;
        if (n <= 0) break;
        s.start = from;
        s.length = static_cast<size_t>(n);
        if (s.position >= s.start + s.length) break;  // past the end
    }
    return done;
}

uLong ZCALLBACK writeFile(voidpf, voidpf stream, const void* in, uLong size) {
    auto& s = *static_cast<Stream*>(stream);
    if (s.failed) return 0;
    if (!s.dirty || s.position != s.start + s.length) {
        if (!flush(s)) return 0;
        s.start = s.position;
        s.length = 0;
        s.dirty = true;
    }
    if (s.length + size > kBufferSize) {
        if (!flush(s)) return 0;
        s.start = s.position;
        if (size >= kBufferSize) {
            if (!writeAllAt(*s.ops, s.fd, in, size, s.position)) {
                s.failed = true;
                return 0;
            }
            s.position += size;
            s.start = s.position;
            return size;
        }
        s.dirty = true;
    }
    std::memcpy(s.buffer.get() + s.length, in, size);
    s.length += size;
    s.position += size;
    return size;
}

ZPOS64_T ZCALLBACK tellFile(voidpf, voidpf stream) { return static_cast<Stream*>(stream)->position; }

long ZCALLBACK seekFile(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto& s = *static_cast<Stream*>(stream);
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET: s.position = offset; return 0;
        case ZLIB_FILEFUNC_SEEK_CUR: s.position += offset; return 0;
        case ZLIB_FILEFUNC_SEEK_END: {
            int64_t size = s.readOnlySize >= 0 ? s.readOnlySize : s.ops->fileSize(s.fd);
            if (size < 0) return -1;
            if (s.dirty) size = std::max<int64_t>(size, static_cast<int64_t>(s.start + s.length));
            s.position = static_cast<uint64_t>(size) + offset;
            return 0;
        }
        default: return -1;
    }
}

int ZCALLBACK closeFile(voidpf, voidpf stream) {
    std::unique_ptr<Stream> s(static_cast<Stream*>(stream));
    bool ok = flush(*s);
    if (ok && s->syncOnClose && s->ops->sync(s->fd) != 0) ok = false;
    if (s->ops->close(s->fd) != 0) ok = false;
    return ok ? 0 : -1;
}

int ZCALLBACK errorFile(voidpf, voidpf stream) { return static_cast<Stream*>(stream)->failed ? 1 : 0; }

zlib_filefunc64_def callbacks(OpenSettings& settings) {
    zlib_filefunc64_def def{};
    def.zopen64_file = openFile;
    def.zread_file = readFile;
    def.zwrite_file = writeFile;
    def.ztell64_file = tellFile;
    def.zseek64_file = seekFile;
    def.zclose_file = closeFile;
    def.zerror_file = errorFile;
    def.opaque = &settings;
    return def;
}

// A read-only view of bytes already in memory.
struct MemoryStream {
    const unsigned char* data;
    uint64_t size;
    uint64_t position = 0;
};

voidpf ZCALLBACK openMemory(voidpf opaque, const void*, int mode) {
    if ((mode & (ZLIB_FILEFUNC_MODE_CREATE | ZLIB_FILEFUNC_MODE_WRITE)) != 0) return nullptr;
    return new MemoryStream(*static_cast<const MemoryStream*>(opaque));
}

uLong ZCALLBACK readMemory(voidpf, voidpf stream, void* out, uLong size) {
    auto& s = *static_cast<MemoryStream*>(stream);
    if (s.position >= s.size) return 0;
    const uLong n = static_cast<uLong>(std::min<uint64_t>(size, s.size - s.position));
    std::memcpy(out, s.data + s.position, n);
    s.position += n;
    return n;
}

uLong ZCALLBACK writeMemory(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK tellMemory(voidpf, voidpf stream) { return static_cast<MemoryStream*>(stream)->position; }

long ZCALLBACK seekMemory(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto& s = *static_cast<MemoryStream*>(stream);
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET: s.position = offset; return 0;
        case ZLIB_FILEFUNC_SEEK_CUR: s.position += offset; return 0;
        case ZLIB_FILEFUNC_SEEK_END: s.position = s.size + offset; return 0;
        default: return -1;
    }
}

int ZCALLBACK closeMemory(voidpf, voidpf stream) {
    delete static_cast<MemoryStream*>(stream);
    return 0;
}

int ZCALLBACK errorMemory(voidpf, voidpf) { return 0; }

}  // namespace

unzFile openUnzipInMemory(const unsigned char* data, uint64_t size) {
    MemoryStream source{data, size};
    zlib_filefunc64_def def{};
    def.zopen64_file = openMemory;
    def.zread_file = readMemory;
    def.zwrite_file = writeMemory;
    def.ztell64_file = tellMemory;
    def.zseek64_file = seekMemory;
    def.zclose_file = closeMemory;
    def.zerror_file = errorMemory;
    def.opaque = &source;
    return unzOpen2_64("(memory)", &def);
}

// minizip copies the callback table but keeps the opaque pointer only for
// calls made while opening; our callbacks read settings from the stream
// after that, so stack-held settings are enough.
unzFile openUnzip(const std::string& path, FileOps& ops, int* descriptor) {
    OpenSettings settings{&ops, false, false, descriptor};
    zlib_filefunc64_def def = callbacks(settings);
    return unzOpen2_64(path.c_str(), &def);
}

zipFile openZip(const std::string& path, ZipOpenMode mode, FileOps& ops, bool syncOnClose) {
    OpenSettings settings{&ops, mode == ZipOpenMode::CreateNew, syncOnClose};
    zlib_filefunc64_def def = callbacks(settings);
    return zipOpen2_64(path.c_str(), mode == ZipOpenMode::CreateNew ? APPEND_STATUS_CREATE : APPEND_STATUS_ADDINZIP,
                       nullptr, &def);
}

}  // namespace quorvane
