// The archive layer's only way to touch the disk. Every open, read, write,
// sync, rename and delete on a user's folder goes through a FileOps, so a
// test can make any single call fail and check that nothing was lost.
//
// Calls follow POSIX: descriptors are plain ints, failures return -1 with
// errno set. systemFileOps() holds no state and is safe from any thread.
//
// The engine and tools reach the seam through fileOps(), which a test can
// point at another FileOps for a while (ScopedFileOps).
//
// Crash testing: every call of the POSIX implementation counts toward the
// kill point of core/crash_point.h (QUORVANE_CRASH_AFTER_CALLS).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace quorvane {

// How a file opened for reading will be read.
enum class ReadAhead {
    Streamed,  // front to back in blocks: the kernel reads further ahead
    InOneGo,   // in one or two reads of known places: no advice, one call less
};

struct ReadOpen {
    ReadAhead ahead = ReadAhead::Streamed;
    // A descriptor of the folder that holds the file, or -1. The file is
    // then opened by its last name there, without walking the whole path:
    // the caller vouches that the path names a file of that folder.
    int folder = -1;
};

class FileOps {
public:
    virtual ~FileOps() = default;

    int openRead(const std::string& path) { return openRead(path, ReadOpen{}); }
    virtual int openRead(const std::string& path, const ReadOpen& how);
    // Opens an existing file for reading and writing; never creates one.
    virtual int openReadWrite(const std::string& path);
    // Creates a new file; fails with EEXIST rather than replace one.
    virtual int createNew(const std::string& path);

    virtual ssize_t readAt(int fd, void* buffer, size_t size, uint64_t offset);
    virtual ssize_t writeAt(int fd, const void* buffer, size_t size, uint64_t offset);
    virtual int64_t fileSize(int fd);
    // The open file's fstat: its size, and what tells a later version apart.
    virtual int statOf(int fd, struct stat& st);
    virtual int sync(int fd);
    // Sets the last-write time and leaves the last-access time alone.
    virtual int setModifiedTime(int fd, time_t when);
    virtual int close(int fd);

    virtual int modifiedTime(const std::string& path, time_t& when);
    // Replaces `to` if it exists: only for putting a complete new version of
    // a file in place of its old one.
    virtual int rename(const std::string& from, const std::string& to);
    // Fails with EEXIST instead of replacing anything at `to`.
    virtual int renameNoReplace(const std::string& from, const std::string& to);
    // A second name for the file `from`; EEXIST if `to` is taken, EXDEV or
    // EPERM where the file system cannot link.
    virtual int link(const std::string& from, const std::string& to);
    virtual int remove(const std::string& path);
    // Makes a rename or delete inside `folder` durable.
    virtual int syncFolder(const std::string& folder);
    // One folder (not its parents), private to the user; EEXIST if taken.
    virtual int makeFolder(const std::string& path);
    // An empty folder.
    virtual int removeFolder(const std::string& path);
    // `path` and the folders above it that are missing, with the usual
    // permissions (a folder of the collection, not a private one).
    virtual int makeFolderPath(const std::string& path);
};

FileOps& systemFileOps();

// The seam the engine and tools use: the calling thread's ScopedThreadFileOps,
// else systemFileOps() unless a ScopedFileOps is alive. Install a
// ScopedFileOps only while no job runs.
FileOps& fileOps();

class ScopedFileOps {
public:
    explicit ScopedFileOps(FileOps& ops);
    ~ScopedFileOps();
    ScopedFileOps(const ScopedFileOps&) = delete;
    ScopedFileOps& operator=(const ScopedFileOps&) = delete;

private:
    FileOps* previous_;
};

// As ScopedFileOps, for the calling thread only, and before any ScopedFileOps:
// a run that records its changes (a fix, the multi-zipper) does not see
// another's, and the file calls of its worker threads, which only read, are
// not recorded.
class ScopedThreadFileOps {
public:
    explicit ScopedThreadFileOps(FileOps& ops);
    ~ScopedThreadFileOps();
    ScopedThreadFileOps(const ScopedThreadFileOps&) = delete;
    ScopedThreadFileOps& operator=(const ScopedThreadFileOps&) = delete;

private:
    FileOps* previous_;
};

// Writes all of `size` bytes at `offset`, retrying short writes.
bool writeAllAt(FileOps& ops, int fd, const void* buffer, size_t size, uint64_t offset);
// Reads exactly `size` bytes at `offset`, retrying short reads; false at an
// error or the file's end.
bool readAllAt(FileOps& ops, int fd, void* buffer, size_t size, uint64_t offset);

}  // namespace quorvane
