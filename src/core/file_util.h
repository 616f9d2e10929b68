// File-system helpers used by every layer: folder creation, whole-file
// replacement that is never seen half-written, and collision-free names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);
bool isRegularFile(const std::string& path);
// Why `path` cannot be read as a file, in words for a message: "file not
// found", "it is a folder", or the system's reason. Empty when it can.
std::string fileProblemText(const std::string& path);

// Creates `path` and its missing parents. True when the folder exists after.
bool makeFolders(const std::string& path);

// Writes `content` to a temporary file beside `path`, syncs it and renames it
// over `path`. On failure `path` is untouched and no temporary file remains.
bool writeFileAtomically(const std::string& path, std::string_view content, std::string* error = nullptr);

// Reads a whole file. False when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& out);

// Writes all `size` bytes at `offset`, retrying short writes and EINTR; each
// write is a crash point. False when a write fails or writes nothing.
bool writeAllAt(int fd, const void* data, size_t size, std::uint64_t offset);
// Reads up to `size` bytes at `offset`, retrying short reads and EINTR until
// the end of the file. The bytes read, or -1 when a read fails.
ssize_t readFullyAt(int fd, void* data, size_t size, std::uint64_t offset);

// The last path component ("a/b/c.zip" -> "c.zip").
// `path` from the root: relative ones are taken from the working folder.
std::string absolutePath(const std::string& path);
std::string baseName(std::string_view path);
// Everything before the last "/" ("a/b/c.zip" -> "a/b"; "c.zip" -> "").
std::string dirName(std::string_view path);

// `folder` + "/" + `name` unless `folder` already ends in "/".
std::string joinPath(std::string_view folder, std::string_view name);

// A prefix no user file is expected to carry; temporary files made by the
// program all start with it so a later run can recognise leftovers.
inline constexpr std::string_view kTempPrefix = ".quorvane-tmp-";

// The longest file name, in bytes, that Linux file systems take (NAME_MAX).
inline constexpr size_t kNameMax = 255;

// `name` with `suffix` put before its extension ("a.bin", " (1)" ->
// "a (1).bin"), at most `limit` bytes long: the stem is cut at a UTF-8
// character boundary, and the extension (what follows the last "." after the
// first character, so ".hidden" has none) is kept unless it leaves no room
// for the stem; then the whole name is cut.
std::string fitName(std::string_view name, std::string_view suffix = {}, size_t limit = kNameMax);

// A fresh temporary path in `folder` that does not exist yet:
// kTempPrefix + "<pid>-<counter>-" + `hint`. When that would pass kNameMax
// the hint is shortened (fitName) and the counter ends in "~" instead of
// "-": tempNameHint gives nothing for it, as a cut hint names no file.
std::string uniqueTempPath(const std::string& folder, std::string_view hint);

// For a name made by uniqueTempPath, the `hint` it was made from; empty for
// any other name, and for one whose hint was shortened.
std::string tempNameHint(std::string_view name);

// `name` when no file of that name is in `folder`, else the first free one of
// "stem (1).ext", "stem (2).ext", ... Every name given fits kNameMax (see
// fitName), so a name too long for the file system starts as its cut form.
std::string freeNameIn(const std::string& folder, const std::string& name);

}  // namespace quorvane
