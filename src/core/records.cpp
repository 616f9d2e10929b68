#include "core/records.h"

namespace quorvane {

GameState classifyStatusString(const std::string& statusString) {
    const auto has = [&statusString](RomStatus status) {
        return statusString.find(romStatusLetter(status)) != std::string::npos;
    };
    const bool hasHave = has(RomStatus::Have);
    const bool hasMissing = has(RomStatus::Missing);
    const bool hasPresent = has(RomStatus::Present);
    if (hasHave && !hasMissing && !hasPresent) return GameState::Complete;
    if (!hasHave && !hasPresent) return GameState::Missing;
    return GameState::Incomplete;
}

void Game::appendRom(Rom rom) {
    statusString.push_back(rom.status.empty() ? ' ' : rom.status[0]);
    roms.push_back(std::move(rom));
}

bool isDiskRow(std::string_view romName, std::string_view size) {
    return size == "-" && romName.size() > kDiskSuffix.size() && romName.ends_with(kDiskSuffix);
}

bool isZipPath(const std::string& path) {
    // Asked of every file a job loads: no lower-case copy is made.
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (size_t dot = path.find('.'); dot != std::string::npos && dot + 4 <= path.size(); dot = path.find('.', dot + 1))
        if (lower(path[dot + 1]) == 'z' && lower(path[dot + 2]) == 'i' && lower(path[dot + 3]) == 'p') return true;
    return false;
}

DuplicatePolicy dupesBehaviourFor(DupesChoice choice) {
    DuplicatePolicy b;
    switch (choice) {
        case DupesChoice::RebuildAllListed: break;
        case DupesChoice::OnlySelected: b.onlySelected = true; break;
        case DupesChoice::AlwaysAll: b.askUser = false; break;
        case DupesChoice::Never: b.askUser = false; b.neverBuild = true; break;
        case DupesChoice::OnlyNameMatches: b.onlyNameMatches = true; break;
    }
    return b;
}

const char* dupesChoiceCaption(DupesChoice choice) {
    switch (choice) {
        case DupesChoice::RebuildAllListed: return "Rebuild all of the listed files";
        case DupesChoice::OnlySelected: return "Only rebuild selected";
        case DupesChoice::AlwaysAll: return "Always build all";
        case DupesChoice::Never: return "Never build";
        case DupesChoice::OnlyNameMatches: return "Only rebuild when rom name matches";
    }
    return "";
}

}  // namespace quorvane
