// Status codes of the zip layer and of the loose files loaded beside
// archives. Operations return 0 on success and a negative code otherwise;
// minizip's own codes pass through unchanged, so the table below extends
// minizip's rather than replacing it. Each number means one thing, and
// zipStatusText is the one place that says what.
#pragma once

#include <string>

namespace quorvane {

enum ZipStatus : int {
    kZipOk = 0,
    // Cannot open or allocate, entry not found, an entry walk failed, or a
    // disk write failed (equal to minizip's Z_ERRNO).
    kZipError = -1,
    // Listing a zip: the walk reached the end. Callers treat it as success.
    kZipEndOfList = -100,        // minizip UNZ_END_OF_LIST_OF_FILE
    kZipSourceMissing = -101,    // addFile: the source file cannot be read
    kZipParamError = -102,       // minizip UNZ_PARAMERROR: not a zip at all
    kZipBadZipFile = -103,       // minizip UNZ_BADZIPFILE: damaged structure or truncated data
    kZipInternalError = -104,    // minizip UNZ_INTERNALERROR
    kZipCrcError = -105,         // minizip UNZ_CRCERROR: data read back with a wrong CRC
    kZipNewEntryRefused = -110,  // removeFile: the rebuilt archive refused an entry
    kZipEntryGone = -120,        // no entry of that name and content is in the archive (any more)
    kZipCannotDeleteOld = -130,  // removeFile: the emptied archive cannot be deleted
    kZipCannotReplace = -131,    // removeFile: the rebuilt archive cannot be put in place
    // A loose file (not an archive) whose length cannot be read. Shown as
    // "Error in zip <file>: -200".
    kZipFileUnreadable = -200,
};

// True for the results of testZip that mean the archive is sound.
inline bool zipTestPassed(int status) { return status == kZipOk || status == kZipEndOfList; }

// A short English description of `status`, for logs and messages.
std::string zipStatusText(int status);

}  // namespace quorvane
