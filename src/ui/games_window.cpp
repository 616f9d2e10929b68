#include "ui/games_window.h"

#include <QListWidget>
#include <QVBoxLayout>

#include "presentation/catalogue_views.h"
#include "ui/status_icons.h"

namespace quorvane {

GamesWindow::GamesWindow(QWidget* parent) : SatelliteWindow(parent) {
    setWindowTitle(QStringLiteral("Games"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("gamesList"));
    list_->setSortingEnabled(false);
    layout->addWidget(list_);
    setIconStyle(true);
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (item && item->isSelected()) emit gameClicked(list_->row(item));
    });
    resize(480, 360);
}

void GamesWindow::setIconStyle(bool icons) {
    list_->setViewMode(icons ? QListView::IconMode : QListView::ListMode);
    list_->setIconSize(icons ? QSize(32, 32) : QSize(16, 16));
    list_->setResizeMode(QListView::Adjust);
    list_->setWordWrap(icons);
    if (icons) list_->setGridSize(QSize(120, 64));
    else list_->setGridSize(QSize());
}

void GamesWindow::setGames(const Romset& romset, const QString& caption) {
    list_->clear();
    for (const Game& g : romset.games)
        new QListWidgetItem(gameIcon(gameIconIndex(g)), QString::fromStdString(gameListText(g)), list_);
    setWindowTitle(caption);
}

void GamesWindow::clearGames(const QString& caption) {
    list_->clear();
    setWindowTitle(caption);
}

}  // namespace quorvane
