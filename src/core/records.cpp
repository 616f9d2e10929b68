#include "core/records.h"

#include <algorithm>

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
    std::string lower(path);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return lower.find(".zip") != std::string::npos;
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
