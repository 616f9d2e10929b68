// The catalogue rows behind one file's identification: a later pass, or
// the next scan while file and catalogue are unchanged, reads these rows
// again instead of looking the file up (Placements::recall).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quorvane {

struct FoundRow {
    std::uint64_t offset = 0;
    bool matched = false;  // its digests answered the lookup: not only filed under its key
    bool operator==(const FoundRow&) const = default;
};
using FoundRows = std::span<const FoundRow>;

// The rows of each file of a container, in file order: one list after
// another in one block, so that a container's lists take two allocations
// however many files it has.
class FoundRowLists {
public:
    // How many lists there are.
    size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    FoundRows operator[](size_t list) const {
        const std::uint32_t begin = list == 0 ? 0 : ends_[list - 1];
        return {rows_.data() + begin, ends_[list] - begin};
    }
    // Adds a row to the list being made, which endList() closes.
    void add(FoundRow row) { rows_.push_back(row); }
    void endList() { ends_.push_back(static_cast<std::uint32_t>(rows_.size())); }
    void addList(FoundRows rows) {
        rows_.insert(rows_.end(), rows.begin(), rows.end());
        endList();
    }
    void reserve(size_t lists, size_t rows) {
        ends_.reserve(lists);
        rows_.reserve(rows);
    }
    void clear() {
        rows_.clear();
        ends_.clear();
    }
    bool operator==(const FoundRowLists&) const = default;

private:
    std::vector<FoundRow> rows_;
    std::vector<std::uint32_t> ends_;  // where each list ends in rows_
};

}  // namespace quorvane
