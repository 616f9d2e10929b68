#include "engine/prepared_entry.h"

#include <cstdlib>

namespace quorvane {

bool PreparedEntry::matches(const File& file) const {
    if (!ready || file.crc.size() != 8) return false;
    char* end = nullptr;
    const unsigned long long fileSize = std::strtoull(file.size.c_str(), &end, 10);
    if (file.size.empty() || *end != '\0' || fileSize != data.size) return false;
    return std::strtoul(file.crc.c_str(), &end, 16) == data.crc32 && *end == '\0';
}

bool prepareLooseFile(const std::string& path, PreparedEntry& out) {
    out.ready = deflateLooseFile(path, out.data, kPrepareSizeLimit);
    return out.ready;
}

}  // namespace quorvane
