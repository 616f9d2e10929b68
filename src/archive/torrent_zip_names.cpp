#include "archive/torrent_zip_names.h"

#include <algorithm>
#include <tuple>

#include "archive/cp437.h"
#include "core/text.h"

namespace quorvane {
namespace {

bool isWellFormedUtf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        if (static_cast<unsigned char>(text[at]) < 0x80) {
            ++at;
            continue;
        }
        uint32_t code = 0;
        const size_t length = utf8SequenceAt(text, at, code);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

}  // namespace

std::string entryNameUtf8(std::string_view stored, uint32_t flag) {
    std::string name = (flag & kUtf8NameFlag) != 0 && isWellFormedUtf8(stored) ? std::string(stored)
                                                                              : cp437ToUtf8(stored);
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

StoredName storedName(std::string_view utf8) {
    StoredName stored;
    if (utf8ToCp437(utf8, stored.bytes)) return stored;
    stored.bytes.assign(utf8);
    stored.utf8 = true;
    return stored;
}

EntryOrder::EntryOrder(std::string utf8Name, uint32_t crc, uint64_t uncompressedSize)
    : lowered(toLowerAscii(utf8Name)), name(std::move(utf8Name)), crc32(crc), size(uncompressedSize) {}

bool EntryOrder::operator<(const EntryOrder& other) const {
    return std::tie(lowered, name, crc32, size) < std::tie(other.lowered, other.name, other.crc32, other.size);
}

bool folderHoldsEntries(const std::set<std::string>& names, const std::string& folder) {
    // Every name that starts with `folder` follows it directly in byte order.
    const auto next = names.upper_bound(folder);
    return next != names.end() && next->compare(0, folder.size(), folder) == 0;
}

}  // namespace quorvane
