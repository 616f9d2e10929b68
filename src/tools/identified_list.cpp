#include "tools/identified_list.h"

#include <algorithm>
#include <set>

namespace quorvane {

std::string identifiedFileName(const RomMatch& hit) {
    const size_t cut = hit.foundIn.archivePath.find_last_of("/\\:");
    return cut == std::string::npos ? hit.foundIn.archivePath : hit.foundIn.archivePath.substr(cut + 1);
}

std::vector<std::string> unmatchedInputs(const std::vector<std::string>& inputs, const std::vector<RomMatch>& hits) {
    std::set<std::string> matched;
    for (const RomMatch& hit : hits) matched.insert(hit.foundIn.archivePath);
    std::vector<std::string> unmatched;
    for (const std::string& input : inputs)
        if (!matched.count(input) && std::find(unmatched.begin(), unmatched.end(), input) == unmatched.end())
            unmatched.push_back(input);
    return unmatched;
}

std::vector<std::string> IdentifiedList::rebuildThisPaths(int row) const {
    if (row < 1 || static_cast<size_t>(row) > items_.size()) return {};
    const RomMatch& item = items_[static_cast<size_t>(row) - 1];
    if (romStatusOf(item.status) == RomStatus::Have) return {};
    return {item.foundIn.archivePath};
}

std::vector<std::string> IdentifiedList::rebuildAllPaths() const {
    std::vector<std::string> paths;
    for (const RomMatch& item : items_)
        if (romStatusOf(item.status) != RomStatus::Have) paths.push_back(item.foundIn.archivePath);
    return paths;
}

}  // namespace quorvane
