#include "core/job_report.h"

namespace quorvane {

const char* fileActionName(FileAction::Kind kind) {
    switch (kind) {
        case FileAction::Kind::MovedIntoSet: return "moved into set";
        case FileAction::Kind::Renamed: return "renamed";
        case FileAction::Kind::MovedToBackup: return "moved to backup";
        case FileAction::Kind::Added: return "added";
        case FileAction::Kind::Failed: return "failed";
    }
    return "failed";
}

void StatusCounts::add(const Game& game) {
    switch (game.state()) {
        case GameState::Complete: ++gamesComplete; break;
        case GameState::Incomplete: ++gamesIncomplete; break;
        case GameState::Missing: ++gamesMissing; break;
    }
    for (const char c : game.statusString) {
        const std::optional<RomStatus> status = romStatusFromLetter(c);
        if (status == RomStatus::Have) ++romsHave;
        else if (status == RomStatus::Present) ++romsElsewhere;
        else ++romsMissing;
    }
}

StatusCounts& StatusCounts::operator+=(const StatusCounts& other) {
    gamesComplete += other.gamesComplete;
    gamesIncomplete += other.gamesIncomplete;
    gamesMissing += other.gamesMissing;
    romsHave += other.romsHave;
    romsMissing += other.romsMissing;
    romsElsewhere += other.romsElsewhere;
    return *this;
}

void FixCounts::add(FileAction::Kind kind) {
    switch (kind) {
        case FileAction::Kind::MovedIntoSet: ++movedIntoSets; break;
        case FileAction::Kind::Renamed: ++renamed; break;
        case FileAction::Kind::MovedToBackup: ++movedToBackup; break;
        case FileAction::Kind::Added:
        case FileAction::Kind::Failed: break;
    }
}

FixCounts& FixCounts::operator+=(const FixCounts& other) {
    movedIntoSets += other.movedIntoSets;
    renamed += other.renamed;
    movedToBackup += other.movedToBackup;
    return *this;
}

void JobReport::sumSystems() {
    total = SystemReport{};
    for (const SystemReport& s : systems) {
        total.status += s.status;
        total.archivesUnreadable += s.archivesUnreadable;
        total.zipsChecked += s.zipsChecked;
        total.torrentZips += s.torrentZips;
        total.disksFound += s.disksFound;
        total.disksDamaged += s.disksDamaged;
        total.fix += s.fix;
        total.stepsFailed += s.stepsFailed;
    }
}

}  // namespace quorvane
