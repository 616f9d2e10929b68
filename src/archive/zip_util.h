// The write side of one archive: add a disk file as an entry, replacing an
// entry of the same name.
//
// How to use:
//   ZipUtil zip(archivePath);
//   if (zip.open() != 0) ...;
//   int status = zip.addFile(sourcePath, entryName);
//   zip.close();
//
// open() creates a new archive only when no file of that name exists; an
// existing file that is not a readable zip is an error, never truncated.
#pragma once

#include <minizip/zip.h>

#include <string>
#include <string_view>

#include "archive/file_ops.h"

namespace quorvane {

class ZipUtil {
public:
    explicit ZipUtil(std::string archivePath, FileOps& ops = systemFileOps());
    ~ZipUtil();
    ZipUtil(const ZipUtil&) = delete;
    ZipUtil& operator=(const ZipUtil&) = delete;

    const std::string& path() const { return path_; }
    bool isOpen() const { return zip_ != nullptr; }

    // 0, or kZipError if the archive can be neither extended nor created.
    int open();
    // Writes the central directory. 0, or the failing minizip status (a
    // write or sync that failed while finishing the archive).
    int close();

    // Deflates `sourcePath` (default level) into the entry `entryName`, dated
    // with the source's last-write time. An entry of exactly that name is
    // removed first. kZipSourceMissing when the source cannot be read; then
    // the archive is untouched. The archive stays open for close().
    int addFile(const std::string& sourcePath, std::string_view entryName);

private:
    std::string path_;
    FileOps* ops_;
    zipFile zip_ = nullptr;
};

}  // namespace quorvane
