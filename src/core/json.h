// Minimal JSON text output for the command line's --json listings.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// A JSON string literal. Control bytes are escaped; other bytes pass as they
// are (names from DAT files are usually UTF-8 but not always).
std::string jsonString(std::string_view text);

}  // namespace quorvane
