// "Games": the games of the romset the main window shows, in its order; an
// item's index is the game's index in that romset.
#pragma once

#include "core/records.h"
#include "ui/satellite_window.h"

class QListWidget;

namespace quorvane {

class GamesWindow final : public SatelliteWindow {
    Q_OBJECT
public:
    explicit GamesWindow(QWidget* parent = nullptr);

    void setGames(const Romset& romset, const QString& caption);
    void clearGames(const QString& caption = QString());
    void setIconStyle(bool icons);
    QListWidget* list() const { return list_; }

signals:
    void gameClicked(int index);

private:
    QListWidget* list_;
};

}  // namespace quorvane
