// A zip archive with no entries is just its 22-byte end record (plus an
// optional comment): signature 50 4B 05 06, entry counts 0, directory size 0.
// minizip 1.1 cannot open one (its search for the end record skips offset
// 0), so the layer recognises it here.
#pragma once

#include <string>

#include "archive/file_ops.h"

namespace quorvane {

bool isEmptyZip(const std::string& path, FileOps& ops);

}  // namespace quorvane
