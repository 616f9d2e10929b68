// libarchive's functions that the 7z, RAR and tar reader and the 7z writer
// call, found in the library the first time one of them is needed (see
// shared_library.h). Calls go through the table's members, which are named
// as the functions are.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <string>

#include "archive/shared_library.h"

namespace quorvane {

#define QUORVANE_LIBARCHIVE_FUNCTIONS(X)                                                                      \
    X(archive_error_string) X(archive_set_error) X(archive_filter_code)                                      \
    X(archive_read_new) X(archive_read_free) X(archive_read_open1) X(archive_read_next_header)                 \
    X(archive_read_data) X(archive_read_data_skip) X(archive_read_set_callback_data)                          \
    X(archive_read_set_read_callback) X(archive_read_set_skip_callback) X(archive_read_set_seek_callback)     \
    X(archive_read_support_format_7zip) X(archive_read_support_format_rar) X(archive_read_support_format_rar5) \
    X(archive_read_support_format_tar) X(archive_read_support_filter_bzip2) X(archive_read_support_filter_xz) \
    X(archive_write_new) X(archive_write_free) X(archive_write_open) X(archive_write_close)                   \
    X(archive_write_header) X(archive_write_data) X(archive_write_set_format_7zip)                            \
    X(archive_write_set_format_option) X(archive_write_set_bytes_per_block)                                   \
    X(archive_write_set_bytes_in_last_block) X(archive_entry_new) X(archive_entry_free)                        \
    X(archive_entry_filetype) X(archive_entry_hardlink) X(archive_entry_pathname)                             \
    X(archive_entry_pathname_utf8) X(archive_entry_is_encrypted) X(archive_entry_size)                        \
    X(archive_entry_size_is_set) X(archive_entry_mtime) X(archive_entry_mtime_is_set)                         \
    X(archive_entry_set_pathname_utf8) X(archive_entry_set_filetype) X(archive_entry_set_perm)                \
    X(archive_entry_set_size) X(archive_entry_set_mtime)

struct LibArchive {
    QUORVANE_LIBARCHIVE_FUNCTIONS(QUORVANE_FUNCTION_POINTER)
};

// The table, loaded on the first call from any thread; null when libarchive
// or one of its functions cannot be found (libArchiveError() says which).
const LibArchive* libArchive();
std::string libArchiveError();
// The table, for code reached only after libArchive() gave one.
inline const LibArchive& libArchiveLoaded() { return *libArchive(); }

}  // namespace quorvane
