#include "archive/zip_info.h"

#include "archive/empty_zip.h"
#include "archive/minizip_io.h"
#include "archive/zip_entry_io.h"
#include "archive/zip_status.h"

namespace quorvane {

ZipInfo::ZipInfo(std::string archivePath, FileOps& ops) : path_(std::move(archivePath)), ops_(&ops) {
    unzFile zip = openUnzip(path_, ops);
    if (zip == nullptr) {
        listStatus_ = isEmptyZip(path_, ops) ? kZipOk : kZipParamError;
        return;
    }
    const ZipSource source{zip, path_, ops};
    unz_global_info64 global{};
    int status = unzGetGlobalInfo64(zip, &global);
    if (status == UNZ_OK && global.number_entry > 0) {
        entries_.reserve(global.number_entry);
        status = unzGoToFirstFile(zip);
        while (status == UNZ_OK) {
            ZipEntryInfo entry;
            status = readCurrentEntryInfo(source, entry);
            if (status != UNZ_OK) break;
            entries_.push_back(std::move(entry));
            status = unzGoToNextFile(zip);
        }
        if (status == UNZ_END_OF_LIST_OF_FILE) status = UNZ_OK;
        // The end record's count must agree with the records actually found.
        if (status == UNZ_OK && entries_.size() != global.number_entry) status = kZipBadZipFile;
    }
    unzClose(zip);
    if (status != UNZ_OK) {
        entries_.clear();
        listStatus_ = status;
    }
}

int ZipInfo::find(std::string_view name) const {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

int ZipInfo::testZip() const {
    unzFile zip = openUnzip(path_, *ops_);
    if (zip == nullptr) return isEmptyZip(path_, *ops_) ? kZipEndOfList : kZipParamError;
    const ZipSource source{zip, path_, *ops_};
    const BlockSink discard = [](const char*, size_t) { return true; };
    int status = unzGoToFirstFile(zip);
    while (status == UNZ_OK) {
        ZipEntryInfo entry;
        status = readCurrentEntryInfo(source, entry);
        if (status != UNZ_OK) break;
        status = readCurrentEntryData(source, entry, discard);
        if (status != UNZ_OK) break;
        status = unzGoToNextFile(zip);
    }
    unzClose(zip);
    return status;
}

}  // namespace quorvane
