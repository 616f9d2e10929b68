#include "archive/entry_output.h"

#include <cerrno>
#include <cstring>

#include "archive/dos_time.h"
#include "archive/zip_status.h"
#include "core/file_util.h"

namespace quorvane {

namespace {

std::string errnoText(int error) { return error ? std::string(std::strerror(error)) : std::string("unknown error"); }

}  // namespace

int moveToFreeName(FileOps& ops, const std::string& temp, const std::string& folder, const std::string& name,
                   std::string& path) {
    // A name taken between looking and renaming is looked for again.
    constexpr int kAttempts = 16;
    int error = EEXIST;
    for (int attempt = 0; attempt < kAttempts && error == EEXIST; ++attempt) {
        path = joinPath(folder, freeNameIn(folder, name));
        error = ops.renameNoReplace(temp, path) == 0 ? 0 : errno;
    }
    return error;
}

WrittenEntry writeEntryToFolder(const ZipSource& source, const ZipEntry& entry, const std::string& folder,
                                const std::string& name, EntrySync sync) {
    FileOps* const ops = &source.ops;
    WrittenEntry out;
    const std::string temp = uniqueTempPath(folder, name);
    const int fd = ops->createNew(temp);
    if (fd < 0) {
        out.status = ZipStatus::Error;
        out.why = "cannot create a file in " + folder + ": " + errnoText(errno);
        return out;
    }
    uint64_t offset = 0;
    int writeError = 0;
    out.status = readCurrentEntryData(source, entry, [&](const char* data, size_t n) {
        if (!writeAllAt(*ops, fd, data, n, offset)) {
            writeError = errno;
            return false;
        }
        offset += n;
        return true;
    });
    if (out.status != ZipStatus::Ok) {
        out.why = writeError ? "cannot write in " + folder + ": " + errnoText(writeError)
                             : "its data cannot be read (" + zipStatusText(out.status) + ")";
    } else {
        const time_t when = dosDateToTime(entry.dosDate);
        if (when != static_cast<time_t>(-1)) ops->setModifiedTime(fd, when);
        if (sync != EntrySync::None && ops->sync(fd) != 0) {
            out.status = ZipStatus::Error;
            out.why = "cannot flush it to disk in " + folder + ": " + errnoText(errno);
        }
    }
    if (ops->close(fd) != 0 && out.status == ZipStatus::Ok) {
        out.status = ZipStatus::Error;
        out.why = "cannot write in " + folder + ": " + errnoText(errno);
    }
    if (out.status == ZipStatus::Ok) {
        if (const int error = moveToFreeName(*ops, temp, folder, name, out.path); error != 0) {
            out.status = ZipStatus::Error;
            out.why = "cannot name it " + out.path + ": " + errnoText(error);
        }
    }
    if (out.status != ZipStatus::Ok) {
        ops->remove(temp);
        out.path.clear();
        return out;
    }
    if (sync == EntrySync::DataAndName && ops->syncFolder(folder) != 0) {
        // The file is complete; only its name may not survive a power cut.
        out.status = ZipStatus::Error;
        out.why = "cannot flush " + folder + " to disk: " + errnoText(errno);
    }
    return out;
}

}  // namespace quorvane
