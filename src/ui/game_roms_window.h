// "Game: NAME": the ROMs of one game with their checksums and status.
#pragma once

#include <QWidget>

#include "core/records.h"

class QTreeWidget;

namespace quorvane {

class GameRomsWindow final : public QWidget {
    Q_OBJECT
public:
    explicit GameRomsWindow(QWidget* parent = nullptr);

    // Keeps its own copy, so it never refers to a romset the main window let go.
    void showGame(const Game& game);
    void clearGame();
    void setIconStyle(bool icons);
    QTreeWidget* list() const { return list_; }

private:
    QTreeWidget* list_;
    Game game_;
};

}  // namespace quorvane
