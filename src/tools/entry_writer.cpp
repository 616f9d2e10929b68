#include "tools/entry_writer.h"

#include <cerrno>
#include <cstring>

#include "archive/dos_time.h"
#include "archive/minizip_io.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_status.h"
#include "core/file_util.h"

namespace quorvane {

namespace {

std::string errnoText(int error) { return error ? std::string(std::strerror(error)) : std::string("unknown error"); }

}  // namespace

EntryWriter::EntryWriter(std::string archivePath, FileOps& ops) : path_(std::move(archivePath)), ops_(&ops) {}

EntryWriter::~EntryWriter() {
    if (zip_) unzClose(zip_);
}

int EntryWriter::open() {
    if (zip_) unzClose(zip_);
    zip_ = openUnzip(path_, *ops_);
    atEnd_ = false;
    walkStatus_ = 0;
    return zip_ ? kZipOk : kZipError;
}

int EntryWriter::readHeader(int status, ZipEntryInfo& entry) {
    if (status == UNZ_OK) status = readCurrentEntryInfo(ZipSource{zip_, path_, *ops_}, entry);
    if (status == UNZ_END_OF_LIST_OF_FILE) atEnd_ = true;
    else if (status != UNZ_OK) walkStatus_ = status;
    return status;
}

int EntryWriter::first(ZipEntryInfo& entry) {
    if (!zip_) return kZipError;
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(zip_, &global) != UNZ_OK) return walkStatus_ = kZipError;
    if (global.number_entry == 0) {
        atEnd_ = true;
        return UNZ_END_OF_LIST_OF_FILE;
    }
    return readHeader(unzGoToFirstFile(zip_), entry);
}

int EntryWriter::next(ZipEntryInfo& entry) {
    if (!zip_) return kZipError;
    return readHeader(unzGoToNextFile(zip_), entry);
}

std::string EntryWriter::walkError() const {
    return "its directory cannot be read past this point (" + zipStatusText(walkStatus_ ? walkStatus_ : kZipError) +
           ")";
}

WrittenEntry EntryWriter::writeCurrent(const ZipEntryInfo& entry, const std::string& folder, const std::string& name,
                                       bool sync) {
    WrittenEntry out;
    const std::string temp = uniqueTempPath(folder, name);
    const int fd = ops_->createNew(temp);
    if (fd < 0) {
        out.status = kZipError;
        out.why = "cannot create a file in " + folder + ": " + errnoText(errno);
        return out;
    }
    uint64_t offset = 0;
    int writeError = 0;
    out.status = readCurrentEntryData(ZipSource{zip_, path_, *ops_}, entry, [&](const char* data, size_t n) {
        if (!writeAllAt(*ops_, fd, data, n, offset)) {
            writeError = errno;
            return false;
        }
        offset += n;
        return true;
    });
    if (out.status != kZipOk) {
        out.why = writeError ? "cannot write in " + folder + ": " + errnoText(writeError)
                             : "its data cannot be read (" + zipStatusText(out.status) + ")";
    } else {
        const time_t when = dosDateToTime(entry.dosDate);
        if (when != static_cast<time_t>(-1)) ops_->setModifiedTime(fd, when);
        if (sync && ops_->sync(fd) != 0) {
            out.status = kZipError;
            out.why = "cannot flush it to disk in " + folder + ": " + errnoText(errno);
        }
    }
    if (ops_->close(fd) != 0 && out.status == kZipOk) {
        out.status = kZipError;
        out.why = "cannot write in " + folder + ": " + errnoText(errno);
    }
    if (out.status == kZipOk) {
        // A name taken between looking and renaming is looked for again.
        constexpr int kAttempts = 16;
        int error = 0;
        out.status = kZipError;
        for (int attempt = 0; attempt < kAttempts && out.status != kZipOk; ++attempt) {
            out.path = joinPath(folder, freeNameIn(folder, name));
            if (ops_->renameNoReplace(temp, out.path) == 0) out.status = kZipOk;
            else if ((error = errno) != EEXIST) break;
        }
        if (out.status != kZipOk) out.why = "cannot name it " + out.path + ": " + errnoText(error);
    }
    if (out.status != kZipOk) {
        ops_->remove(temp);
        out.path.clear();
        return out;
    }
    if (sync && ops_->syncFolder(folder) != 0) {
        // The file is complete; only its name may not survive a power cut.
        out.status = kZipError;
        out.why = "cannot flush " + folder + " to disk: " + errnoText(errno);
    }
    return out;
}

}  // namespace quorvane
