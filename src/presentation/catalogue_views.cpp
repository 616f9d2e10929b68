#include "presentation/catalogue_views.h"

namespace quorvane {

std::string systemsCaption(SystemsView view, size_t count) {
    switch (view) {
        case SystemsView::Incomplete: return "Incomplete sets: " + std::to_string(count);
        case SystemsView::Complete: return "Complete sets: " + std::to_string(count);
        case SystemsView::All: break;
    }
    return "Total sets: " + std::to_string(count);
}

GamesViewInfo gamesViewInfo(GamesView view) {
    switch (view) {
        case GamesView::Missing: return {2, ": No missing games", " missing games"};
        case GamesView::Incomplete: return {3, ": No incomplete games", " incomplete games"};
        case GamesView::Available: return {1, ": No games available", " games available"};
        case GamesView::All: break;
    }
    return {0, ": No games", " games total"};
}

std::string gamesCaption(GamesView view, const Romset& romset, const std::string& version) {
    const GamesViewInfo info = gamesViewInfo(view);
    if (romset.games.empty()) return romset.name + info.emptyText;
    return romset.name + " (" + version + "): " + std::to_string(romset.games.size()) + info.countText;
}

int gameIconIndex(const Game& game) {
    switch (game.state()) {
        case GameState::Complete: return 0;
        case GameState::Missing: return 1;
        case GameState::Incomplete: return 2;
    }
    return 1;
}

const char* setKindName(SetKind kind) {
    switch (kind) {
        case SetKind::Bios: return "bios";
        case SetKind::Device: return "device";
        case SetKind::Game: break;
    }
    return "game";
}

void hideBiosAndDeviceSets(Romset& romset) {
    std::erase_if(romset.games, [](const Game& game) { return game.kind != SetKind::Game; });
}

std::string gameRemark(const Game& game) {
    std::string remark = game.kind == SetKind::Bios ? "BIOS" : game.kind == SetKind::Device ? "device" : "";
    if (game.biosIncomplete) remark += (remark.empty() ? "" : "; ") + ("BIOS " + game.bios + " incomplete");
    return remark;
}

std::string gameListText(const Game& game) {
    const std::string remark = gameRemark(game);
    return remark.empty() ? game.name : game.name + " (" + remark + ")";
}

const char* gameStateName(GameState state) {
    switch (state) {
        case GameState::Complete: return "complete";
        case GameState::Missing: return "missing";
        case GameState::Incomplete: return "incomplete";
    }
    return "missing";
}

}  // namespace quorvane
