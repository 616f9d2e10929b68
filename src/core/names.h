// Names that come from a DAT or a settings file become folder and file names.
// None of them may step outside the folder it belongs in.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// True when `name` can be used as one file or folder name: not empty, not
// "." or "..", and free of "/" and NUL.
bool isSafeFileName(std::string_view name);

// The message shown when a name is refused.
std::string unsafeNameMessage(std::string_view what, std::string_view name);

}  // namespace quorvane
