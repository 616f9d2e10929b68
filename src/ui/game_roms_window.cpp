#include "ui/game_roms_window.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/status_icons.h"

namespace quorvane {

GameRomsWindow::GameRomsWindow(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setWindowTitle(QStringLiteral("Roms for:"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("romsList"));
    list_->setRootIsDecorated(false);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setHeaderLabels({QStringLiteral("Rom name"), QStringLiteral("crc32"), QStringLiteral("size"),
                            QStringLiteral("md5"), QStringLiteral("sha1"), QStringLiteral("cloneof"),
                            QStringLiteral("partof")});
    const int widths[] = {200, 83, 83, 83, 83, 83, 83};
    for (int i = 0; i < 7; ++i) list_->setColumnWidth(i, widths[i]);
    layout->addWidget(list_);
    resize(720, 260);
}

void GameRomsWindow::setIconStyle(bool icons) {
    list_->setIconSize(icons ? QSize(32, 32) : QSize(16, 16));
    for (int i = 1; i < 7; ++i) list_->setColumnHidden(i, icons);
}

void GameRomsWindow::showGame(const Game& game) {
    game_ = game;
    setWindowTitle(QStringLiteral("Game: ") + QString::fromStdString(game_.name));
    show();
    list_->clear();
    for (const Rom& r : game_.roms) {
        auto* item = new QTreeWidgetItem(list_, QStringList{QString::fromStdString(r.name), QString::fromStdString(r.crc),
                                                            QString::fromStdString(r.size), QString::fromStdString(r.md5),
                                                            QString::fromStdString(r.sha1),
                                                            QString::fromStdString(r.cloneOf),
                                                            QString::fromStdString(r.romOf)});
        item->setIcon(0, romIcon(r.status));
        item->setData(0, Qt::UserRole, romStatusOf(r.status) == RomStatus::Have ? 0 : 1);
    }
}

void GameRomsWindow::clearGame() {
    game_ = Game();
    list_->clear();
    setWindowTitle(QStringLiteral("Roms for:"));
}

}  // namespace quorvane
