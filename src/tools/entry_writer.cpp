#include "tools/entry_writer.h"

#include "archive/minizip_io.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_status.h"

namespace quorvane {

EntryWriter::EntryWriter(std::string archivePath, FileOps& ops) : path_(std::move(archivePath)), ops_(&ops) {}

EntryWriter::~EntryWriter() {
    if (zip_) unzClose(zip_);
}

ZipStatus EntryWriter::open() {
    if (zip_) unzClose(zip_);
    zip_ = openUnzip(path_, *ops_);
    atEnd_ = false;
    walkStatus_ = ZipStatus::Ok;
    return zip_ ? ZipStatus::Ok : ZipStatus::Error;
}

ZipStatus EntryWriter::readHeader(ZipStatus status, ZipEntry& entry) {
    if (status == ZipStatus::Ok) status = readCurrentEntryInfo(ZipSource{zip_, path_, *ops_}, entry);
    if (status == ZipStatus::EndOfList) atEnd_ = true;
    else if (status != ZipStatus::Ok) walkStatus_ = status;
    return status;
}

ZipStatus EntryWriter::first(ZipEntry& entry) {
    if (!zip_) return ZipStatus::Error;
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(zip_, &global) != UNZ_OK) return walkStatus_ = ZipStatus::Error;
    if (global.number_entry == 0) {
        atEnd_ = true;
        return ZipStatus::EndOfList;
    }
    return readHeader(fromMinizip(unzGoToFirstFile(zip_)), entry);
}

ZipStatus EntryWriter::next(ZipEntry& entry) {
    if (!zip_) return ZipStatus::Error;
    return readHeader(fromMinizip(unzGoToNextFile(zip_)), entry);
}

std::string EntryWriter::walkError() const {
    return "its directory cannot be read past this point (" +
           zipStatusText(walkStatus_ != ZipStatus::Ok ? walkStatus_ : ZipStatus::Error) + ")";
}

WrittenEntry EntryWriter::writeCurrent(const ZipEntry& entry, const std::string& folder, const std::string& name,
                                       bool sync) {
    return writeEntryToFolder(ZipSource{zip_, path_, *ops_}, entry, folder, name,
                              sync ? EntrySync::DataAndName : EntrySync::None);
}

}  // namespace quorvane
