#include "archive/minizip_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "archive/plain_directory.h"

namespace quorvane {
namespace {

// Holds the whole span of minizip's search for the end records.
constexpr size_t kBufferSize = kLocatorSearchSpan;

// minizip opens an archive by searching the last 64 KiB of it byte by byte
// for a ZIP64 locator, and then for the end record, each search starting
// with a read of the file's last bytes. When those 64 KiB hold no locator
// signature, the first search cannot succeed: failing its first read ends
// it at once, as it would end anyway after far more work. True for that
// read: the stream's first, a read of the tail of a file whose tail
// (`tail`, the last `tailSize` bytes) shows no locator.
bool endsLocatorSearch(bool firstRead, uint64_t position, uint64_t size, const unsigned char* tail,
                       uint64_t tailSize, uint64_t fileSize) {
    return firstRead && position + size == fileSize && !minizipMayFindLocator(tail, tailSize, fileSize);
}

// Per-open settings, handed to minizip as the callbacks' `opaque`.
struct OpenSettings {
    FileOps* ops;
    int* opened = nullptr;  // gets the descriptor opened
};

// One open file. The buffer holds bytes read from [start, start+length).
struct Stream {
    FileOps* ops = nullptr;
    int fd = -1;
    bool failed = false;
    bool firstRead = true;
    // The file's length, taken at open.
    int64_t size = 0;
    uint64_t position = 0;
    uint64_t start = 0;
    size_t length = 0;
    // Left uninitialised: only bytes read or written are ever used.
    std::unique_ptr<char[]> buffer{new char[kBufferSize]};
};

// Where a buffer refill starts. minizip looks for the end records by
// reading backwards from the end of the file in 1 KiB steps over up to
// 64 KiB; a window that ends at the end of the file serves that whole
// search, and a small archive entirely, from one read.
uint64_t windowStart(const Stream& s) {
    const uint64_t size = static_cast<uint64_t>(s.size);
    if (s.position >= size || s.position + kBufferSize <= size) return s.position;
    return size > kBufferSize ? size - kBufferSize : 0;
}

voidpf ZCALLBACK openFile(voidpf opaque, const void* filename, int mode) {
    auto* settings = static_cast<OpenSettings*>(opaque);
    if (filename == nullptr) return nullptr;
    // Archives are only ever read through minizip.
    if ((mode & (ZLIB_FILEFUNC_MODE_CREATE | ZLIB_FILEFUNC_MODE_WRITE)) != 0) return nullptr;
    const int fd = settings->ops->openRead(std::string(static_cast<const char*>(filename)));
    if (fd < 0) return nullptr;
    const int64_t size = settings->ops->fileSize(fd);
    if (size < 0) {
        settings->ops->close(fd);
        return nullptr;
    }
    if (settings->opened) *settings->opened = fd;
    auto* s = new Stream;
    s->ops = settings->ops;
    s->fd = fd;
    s->size = size;
    return s;
}

uLong ZCALLBACK readFile(voidpf, voidpf stream, void* out, uLong size) {
    auto& s = *static_cast<Stream*>(stream);
    const bool first = std::exchange(s.firstRead, false);
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
        const auto fileSize = static_cast<uint64_t>(s.size);
        if (s.start + s.length == fileSize &&
            endsLocatorSearch(first, s.position, size, reinterpret_cast<const unsigned char*>(s.buffer.get()),
                              s.length, fileSize))
            return 0;
        if (s.position >= s.start + s.length) break;  // past the end
    }
    return done;
}

uLong ZCALLBACK refuseWrite(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK tellFile(voidpf, voidpf stream) { return static_cast<Stream*>(stream)->position; }

long ZCALLBACK seekFile(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto& s = *static_cast<Stream*>(stream);
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET: s.position = offset; return 0;
        case ZLIB_FILEFUNC_SEEK_CUR: s.position += offset; return 0;
        case ZLIB_FILEFUNC_SEEK_END: s.position = static_cast<uint64_t>(s.size) + offset; return 0;
        default: return -1;
    }
}

int ZCALLBACK closeFile(voidpf, voidpf stream) {
    std::unique_ptr<Stream> s(static_cast<Stream*>(stream));
    return s->ops->close(s->fd) == 0 ? 0 : -1;
}

int ZCALLBACK errorFile(voidpf, voidpf stream) { return static_cast<Stream*>(stream)->failed ? 1 : 0; }

zlib_filefunc64_def callbacks(OpenSettings& settings) {
    zlib_filefunc64_def def{};
    def.zopen64_file = openFile;
    def.zread_file = readFile;
    def.zwrite_file = refuseWrite;
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
    bool firstRead = true;
};

voidpf ZCALLBACK openMemory(voidpf opaque, const void*, int mode) {
    if ((mode & (ZLIB_FILEFUNC_MODE_CREATE | ZLIB_FILEFUNC_MODE_WRITE)) != 0) return nullptr;
    return new MemoryStream(*static_cast<const MemoryStream*>(opaque));
}

uLong ZCALLBACK readMemory(voidpf, voidpf stream, void* out, uLong size) {
    auto& s = *static_cast<MemoryStream*>(stream);
    const bool first = std::exchange(s.firstRead, false);
    if (endsLocatorSearch(first, s.position, size, s.data, s.size, s.size)) return 0;
    if (s.position >= s.size) return 0;
    const uLong n = static_cast<uLong>(std::min<uint64_t>(size, s.size - s.position));
    std::memcpy(out, s.data + s.position, n);
    s.position += n;
    return n;
}

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
    def.zwrite_file = refuseWrite;
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
    OpenSettings settings{&ops, descriptor};
    zlib_filefunc64_def def = callbacks(settings);
    return unzOpen2_64(path.c_str(), &def);
}

}  // namespace quorvane
