// The catalogue rows behind one file's identification: a later pass, or
// the next scan while file and catalogue are unchanged, reads these rows
// again instead of looking the file up (Placements::recall).
#pragma once

#include <cstdint>
#include <vector>

namespace quorvane {

struct FoundRow {
    std::uint64_t offset = 0;
    bool matched = false;  // its digests answered the lookup: not only filed under its key
    bool operator==(const FoundRow&) const = default;
};
using FoundRows = std::vector<FoundRow>;

}  // namespace quorvane
