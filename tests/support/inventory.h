// A folder tree as the undo tests compare it before and after.
#pragma once

#include <map>
#include <string>

namespace quorvane::testing {

// Every path below `root` (relative to it): "folder" for a folder, the bytes
// for a file, "link" for anything else.
std::map<std::string, std::string> inventoryOf(const std::string& root);

}  // namespace quorvane::testing
