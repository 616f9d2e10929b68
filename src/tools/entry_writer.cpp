#include "tools/entry_writer.h"

#include "archive/minizip_io.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_status.h"

namespace quorvane {

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

int EntryWriter::readHeader(int status, ZipEntry& entry) {
    if (status == UNZ_OK) status = readCurrentEntryInfo(ZipSource{zip_, path_, *ops_}, entry);
    if (status == UNZ_END_OF_LIST_OF_FILE) atEnd_ = true;
    else if (status != UNZ_OK) walkStatus_ = status;
    return status;
}

int EntryWriter::first(ZipEntry& entry) {
    if (!zip_) return kZipError;
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(zip_, &global) != UNZ_OK) return walkStatus_ = kZipError;
    if (global.number_entry == 0) {
        atEnd_ = true;
        return UNZ_END_OF_LIST_OF_FILE;
    }
    return readHeader(unzGoToFirstFile(zip_), entry);
}

int EntryWriter::next(ZipEntry& entry) {
    if (!zip_) return kZipError;
    return readHeader(unzGoToNextFile(zip_), entry);
}

std::string EntryWriter::walkError() const {
    return "its directory cannot be read past this point (" + zipStatusText(walkStatus_ ? walkStatus_ : kZipError) +
           ")";
}

WrittenEntry EntryWriter::writeCurrent(const ZipEntry& entry, const std::string& folder, const std::string& name,
                                       bool sync) {
    return writeEntryToFolder(ZipSource{zip_, path_, *ops_}, entry, folder, name, sync);
}

}  // namespace quorvane
