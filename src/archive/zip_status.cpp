#include "archive/zip_status.h"

namespace quorvane {

std::string zipStatusText(int status) {
    switch (status) {
        case kZipOk: return "success";
        case kZipError: return "cannot open, read or write (or entry not found)";
        case kZipEndOfList: return "end of entries";
        case kZipSourceMissing: return "the source file cannot be read";
        case kZipParamError: return "not a zip archive";
        case kZipBadZipFile: return "damaged zip archive";
        case kZipInternalError: return "internal zip error";
        case kZipCrcError: return "CRC mismatch";
        case kZipNewEntryRefused: return "new archive refused an entry";
        case kZipEntryGone: return "the entry is no longer in the archive";
        case kZipCannotDeleteOld: return "cannot delete the old archive";
        case kZipCannotReplace: return "cannot put the new archive in place";
        case kZipFileUnreadable: return "the file cannot be read";
        default: return "zip error " + std::to_string(status);
    }
}

}  // namespace quorvane
