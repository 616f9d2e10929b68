#include "archive/zip_status.h"

#include <ostream>

namespace quorvane {

std::string zipStatusText(ZipStatus status) {
    switch (status) {
        case ZipStatus::Ok: return "success";
        case ZipStatus::Error: return "cannot open, read or write (or entry not found)";
        case ZipStatus::EndOfList: return "end of entries";
        case ZipStatus::SourceMissing: return "the source file cannot be read";
        case ZipStatus::ParamError: return "not a zip archive";
        case ZipStatus::BadZipFile: return "damaged zip archive";
        case ZipStatus::InternalError: return "internal zip error";
        case ZipStatus::CrcError: return "CRC mismatch";
        case ZipStatus::NewEntryRefused: return "new archive refused an entry";
        case ZipStatus::EntryGone: return "the entry is no longer in the archive";
        case ZipStatus::CannotDeleteOld: return "cannot delete the old archive";
        case ZipStatus::CannotReplace: return "cannot put the new archive in place";
        case ZipStatus::FileUnreadable: return "the file cannot be read";
    }
    return "zip error " + std::to_string(zipStatusCode(status));
}

std::ostream& operator<<(std::ostream& out, ZipStatus status) { return out << zipStatusCode(status); }

}  // namespace quorvane
