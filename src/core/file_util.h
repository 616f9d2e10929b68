// File-system helpers used by every layer: folder creation, whole-file
// replacement that is never seen half-written, and collision-free names.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);
bool isRegularFile(const std::string& path);

// Creates `path` and its missing parents. True when the folder exists after.
bool makeFolders(const std::string& path);

// Writes `content` to a temporary file beside `path`, syncs it and renames it
// over `path`. On failure `path` is untouched and no temporary file remains.
bool writeFileAtomically(const std::string& path, std::string_view content, std::string* error = nullptr);

// Reads a whole file. False when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& out);

// The last path component ("a/b/c.zip" -> "c.zip").
std::string baseName(std::string_view path);
// Everything before the last "/" ("a/b/c.zip" -> "a/b"; "c.zip" -> "").
std::string dirName(std::string_view path);

// `folder` + "/" + `name` unless `folder` already ends in "/".
std::string joinPath(std::string_view folder, std::string_view name);

// A prefix no user file is expected to carry; temporary files made by the
// program all start with it so a later run can recognise leftovers.
inline constexpr std::string_view kTempPrefix = ".quorvane-tmp-";

// A fresh temporary path in `folder` that does not exist yet:
// kTempPrefix + "<pid>-<counter>-" + `hint`.
std::string uniqueTempPath(const std::string& folder, std::string_view hint);

// For a name made by uniqueTempPath, the `hint` it was made from; empty for
// any other name.
std::string tempNameHint(std::string_view name);

// `name` when no file of that name is in `folder`, else the first free one of
// "stem (1).ext", "stem (2).ext", ... (the extension is what follows the last
// "." after the first character, so ".hidden" has none).
std::string freeNameIn(const std::string& folder, const std::string& name);

}  // namespace quorvane
