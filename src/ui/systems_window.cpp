#include "ui/systems_window.h"

#include <QListWidget>
#include <QVBoxLayout>

#include "ui/status_icons.h"

namespace quorvane {

SystemsWindow::SystemsWindow(QWidget* parent) : SatelliteWindow(parent) {
    setWindowTitle(QStringLiteral("Systems"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("systemsList"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(list_);
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (item && item->isSelected()) emit systemClicked(item->text());
    });
    resize(220, 360);
}

void SystemsWindow::setSystems(const std::vector<std::string>& systems, const QString& caption) {
    list_->clear();
    const QIcon icon = systemIcon();
    for (const std::string& s : systems) new QListWidgetItem(icon, QString::fromStdString(s), list_);
    setWindowTitle(caption);
}

void SystemsWindow::clearSystems() {
    list_->clear();
    setWindowTitle(QString());
}

std::string SystemsWindow::selectedSystem() const {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? std::string() : selected.first()->text().toStdString();
}

std::vector<std::string> SystemsWindow::shownSystems() const {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(list_->count()));
    for (int i = 0; i < list_->count(); ++i) out.push_back(list_->item(i)->text().toStdString());
    return out;
}

}  // namespace quorvane
