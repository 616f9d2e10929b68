#include "support/content_crc.h"

#include <zlib.h>

#include <cstdio>

namespace quorvane::testing {

std::string crcOf(const std::string& content) {
    const uLong crc = crc32_z(0L, reinterpret_cast<const Bytef*>(content.data()), content.size());
    char text[9];
    std::snprintf(text, sizeof text, "%08lx", crc);
    return text;
}

}  // namespace quorvane::testing
