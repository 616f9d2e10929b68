// The CRC-32 of a test's content, as the catalogue stores it (eight lower-case hex digits).
#pragma once

#include <string>

namespace quorvane::testing {

std::string crcOf(const std::string& content);

}  // namespace quorvane::testing
