// Moving a user's file without ever replacing another one. Used for
// everything the fix puts into the backup folder and for archive renames.
// Every disk call goes through the seam (fileOps()).
#pragma once

#include <string>

#include "core/file_util.h"

namespace quorvane {

// Renames `from` to `to` unless something exists at `to`: 0, or -1 with errno
// set (EEXIST when the name is taken).
int renameNoReplace(const std::string& from, const std::string& to);

// Moves the file `from` into `folder` under `name`, or under the first free
// variant of it if taken (freeNameIn). A move across file systems copies the
// data, syncs and compares it before the source is removed. 0, or -1 (the
// source is then where it was). `finalPath` receives the destination.
int moveIntoFolder(const std::string& from, const std::string& folder, const std::string& name,
                   std::string* finalPath = nullptr);

}  // namespace quorvane
