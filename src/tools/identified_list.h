// The identifier's window list and what "Rebuild this" / "Rebuild All" take
// from it:
//   IdentifiedList list; list.append(hits);
//   jobs.startRebuild(host, settings, list.rebuildAllPaths());
#pragma once

#include <string>
#include <vector>

#include "core/records.h"

namespace quorvane {

// The file name part of a hit's archive path, as the grid's first text column.
std::string identifiedFileName(const RomMatch& hit);

// The inputs of one identification that no hit was found in (those that
// could not be read among them), in input order, each once.
std::vector<std::string> unmatchedInputs(const std::vector<std::string>& inputs, const std::vector<RomMatch>& hits);

// The identifier's lines, in the order found; they accumulate until cleared.
class IdentifiedList {
public:
    void append(const std::vector<RomMatch>& hits) { items_.insert(items_.end(), hits.begin(), hits.end()); }
    void clear() { items_.clear(); }
    bool empty() const { return items_.empty(); }
    const std::vector<RomMatch>& items() const { return items_; }

    // "Rebuild this" on grid row `row` (row 0 is the header): the archive of
    // that line unless its ROM is had already. Empty for the header or a row
    // past the end.
    std::vector<std::string> rebuildThisPaths(int row) const;
    // "Rebuild All": the archive of every line whose ROM is not had, once
    // per line, in line order.
    std::vector<std::string> rebuildAllPaths() const;

private:
    std::vector<RomMatch> items_;
};

}  // namespace quorvane
