// Status codes of the zip layer and of the loose files loaded beside
// archives. Operations return Ok on success and a negative code otherwise;
// minizip's (and, through it, zlib's) own codes pass through unchanged, so
// the table below extends minizip's rather than replacing it, and a message
// that shows a code shows that number. Each number means one thing, and
// zipStatusText is the one place that says what.
#pragma once

#include <iosfwd>
#include <string>

namespace quorvane {

enum class ZipStatus : int {
    Ok = 0,
    // Cannot open or allocate, entry not found, an entry walk failed, or a
    // disk write failed (equal to minizip's Z_ERRNO).
    Error = -1,
    // zlib's codes, which minizip passes on when inflating or deflating fails.
    StreamError = -2,  // Z_STREAM_ERROR
    DataError = -3,    // Z_DATA_ERROR: damaged deflate data
    MemoryError = -4,  // Z_MEM_ERROR
    BufferError = -5,  // Z_BUF_ERROR: the deflate data ends too soon
    // Listing a zip: the walk reached the end. Callers treat it as success.
    EndOfList = -100,        // minizip UNZ_END_OF_LIST_OF_FILE
    SourceMissing = -101,    // addFile: the source file cannot be read
    ParamError = -102,       // minizip UNZ_PARAMERROR: not a zip at all
    BadZipFile = -103,       // minizip UNZ_BADZIPFILE: damaged structure or truncated data
    InternalError = -104,    // minizip UNZ_INTERNALERROR
    CrcError = -105,         // minizip UNZ_CRCERROR: data read back with a wrong CRC
    NewEntryRefused = -110,  // removeFile: the rebuilt archive refused an entry
    EntryGone = -120,        // no entry of that name and content is in the archive (any more)
    CannotDeleteOld = -130,  // removeFile: the emptied archive cannot be deleted
    CannotReplace = -131,    // removeFile: the rebuilt archive cannot be put in place
    // Archives read through libarchive (7z, RAR, gzip, tar).
    Encrypted = -140,          // an entry (or the archive's headers) needs a password
    UnsupportedMethod = -141,  // an entry is compressed in a way that cannot be read here
    // No file at that path, loose file or archive. Shown as
    // "Error in zip <file>: -200 (file not found)".
    FileNotFound = -200,
    // A loose file (not an archive) that exists but cannot be opened or sized.
    FileUnreadable = -201,
};

// A result of minizip (or of zlib, which minizip passes on) as a status.
// The one place an int from those libraries becomes a ZipStatus.
constexpr ZipStatus fromMinizip(int result) { return static_cast<ZipStatus>(result); }

// The number a message shows for `status`.
constexpr int zipStatusCode(ZipStatus status) { return static_cast<int>(status); }

// The status of a file that could not be opened, from the errno of the
// failed open: FileNotFound when nothing is at that path, else `otherwise`.
ZipStatus openFailure(int error, ZipStatus otherwise);

// True for the results of testZip that mean the archive is sound.
inline bool zipTestPassed(ZipStatus status) { return status == ZipStatus::Ok || status == ZipStatus::EndOfList; }

// Writes the number and its words, as zipStatusWithReason.
std::ostream& operator<<(std::ostream& out, ZipStatus status);

// A short English description of `status`, for logs and messages.
std::string zipStatusText(ZipStatus status);

// The number followed by its words: "-105 (an entry's data does not match
// its CRC)". Every message that shows a code shows it so.
std::string zipStatusWithReason(ZipStatus status);

}  // namespace quorvane
