#include "archive/zip_status.h"

#include <cerrno>
#include <ostream>

namespace quorvane {

std::string zipStatusText(ZipStatus status) {
    switch (status) {
        case ZipStatus::Ok: return "success";
        case ZipStatus::Error: return "cannot open, read or write (or entry not found)";
        case ZipStatus::StreamError: return "the compressor failed";
        case ZipStatus::DataError: return "an entry's compressed data is damaged";
        case ZipStatus::MemoryError: return "out of memory";
        case ZipStatus::BufferError: return "an entry's compressed data ends too soon";
        case ZipStatus::EndOfList: return "end of entries";
        case ZipStatus::SourceMissing: return "the source file cannot be read";
        case ZipStatus::ParamError: return "not a zip archive";
        case ZipStatus::BadZipFile: return "damaged zip archive";
        case ZipStatus::InternalError: return "internal zip error";
        case ZipStatus::CrcError: return "an entry's data does not match its CRC";
        case ZipStatus::NewEntryRefused: return "new archive refused an entry";
        case ZipStatus::EntryGone: return "the entry is no longer in the archive";
        case ZipStatus::CannotDeleteOld: return "cannot delete the old archive";
        case ZipStatus::CannotReplace: return "cannot put the new archive in place";
        case ZipStatus::Encrypted: return "the archive is encrypted (it needs a password)";
        case ZipStatus::UnsupportedMethod: return "an entry uses a compression method that cannot be read";
        case ZipStatus::FileNotFound: return "file not found";
        case ZipStatus::FileUnreadable: return "the file cannot be read";
    }
    return "unknown zip error";
}

ZipStatus openFailure(int error, ZipStatus otherwise) {
    return error == ENOENT || error == ENOTDIR ? ZipStatus::FileNotFound : otherwise;
}

std::string zipStatusWithReason(ZipStatus status) {
    return std::to_string(zipStatusCode(status)) + " (" + zipStatusText(status) + ")";
}

std::ostream& operator<<(std::ostream& out, ZipStatus status) { return out << zipStatusWithReason(status); }

}  // namespace quorvane
