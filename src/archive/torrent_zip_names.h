// How TorrentZip names and orders entries. A name is handled as UTF-8: read
// from the stored bytes (UTF-8 when the entry has flag bit 11 and the bytes
// are well-formed, CP437 otherwise, as the zip format says), written back in
// CP437 when every character has a CP437 form and in UTF-8 with bit 11
// otherwise. A name without bit 11 therefore keeps its bytes.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace quorvane {

inline constexpr uint32_t kUtf8NameFlag = 0x0800;

// The name of an entry as UTF-8, from its stored bytes and its flags, with
// "\" separators turned into "/".
std::string entryNameUtf8(std::string_view stored, uint32_t flag);

// How a UTF-8 name is stored: the bytes, and whether they need bit 11.
struct StoredName {
    std::string bytes;
    bool utf8 = false;
};
StoredName storedName(std::string_view utf8);

// What entries are sorted by. Entries whose names differ only in case, and
// entries of one name, keep a fixed order (exact name, then CRC, then
// size), so that the order never depends on the source archive's.
struct EntryOrder {
    std::string lowered;  // the UTF-8 name lower-cased (ASCII letters only)
    std::string name;     // the UTF-8 name
    uint32_t crc32 = 0;
    uint64_t size = 0;

    EntryOrder(std::string utf8Name, uint32_t crc, uint64_t uncompressedSize);
    bool operator<(const EntryOrder& other) const;
    bool operator<=(const EntryOrder& other) const { return !(other < *this); }
};

// A folder entry: a name ending in "/" with no data.
inline bool isFolderEntry(std::string_view name, uint64_t size) {
    return size == 0 && !name.empty() && name.back() == '/';
}

// Whether any of `names` lies under the folder entry `folder` ("a/").
bool folderHoldsEntries(const std::set<std::string>& names, const std::string& folder);

}  // namespace quorvane
