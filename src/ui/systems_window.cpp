#include "ui/systems_window.h"

#include <QActionGroup>
#include <QListWidget>
#include <QMenu>
#include <QVBoxLayout>

#include "core/settings_keys.h"
#include "ui/archive_output_caption.h"
#include "ui/status_icons.h"
#include "ui/ui_dialogs.h"

namespace quorvane {

namespace {
// The item's text may carry more than the name; the name itself is kept here.
constexpr int kSystemRole = Qt::UserRole;
}  // namespace

SystemsWindow::SystemsWindow(Settings& settings, QWidget* parent) : SatelliteWindow(parent), settings_(settings) {
    setWindowTitle(QStringLiteral("Systems"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("systemsList"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(list_);
    buildMenu();
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (item && item->isSelected()) emit systemClicked(QString::fromStdString(systemOf(item)));
    });
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (const QListWidgetItem* item = list_->itemAt(at))
            menuFor(systemOf(item))->popup(list_->viewport()->mapToGlobal(at));
    });
    resize(220, 360);
}

void SystemsWindow::buildMenu() {
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("systemMenu"));
    outputMenu_ = menu_->addMenu(QStringLiteral("Output"));
    outputMenu_->setObjectName(QStringLiteral("outputMenu"));
    auto* choices = new QActionGroup(this);
    const auto addChoice = [&](const QString& text, const char* word) {
        QAction* action = outputMenu_->addAction(text);
        action->setCheckable(true);
        action->setData(QString::fromLatin1(word));
        choices->addAction(action);
    };
    addChoice(QString(), kGlobalValueWord);  // captioned with the global value when the menu opens
    for (const ArchiveOutput o : kArchiveOutputs) addChoice(archiveOutputCaption(o), archiveOutputName(o));
    connect(choices, &QActionGroup::triggered, this,
            [this](QAction* action) { setOutput(menuSystem_, action->data().toString().toStdString()); });
}

std::string SystemsWindow::systemOf(const QListWidgetItem* item) {
    return item->data(kSystemRole).toString().toStdString();
}

QString SystemsWindow::captionOf(const std::string& system) const {
    QString caption = QString::fromStdString(system);
    if (const auto own = settings_.systemOutput.find(system); own != settings_.systemOutput.end())
        caption += QStringLiteral(" \u2014 ") + archiveOutputCaption(own->second);
    return caption;
}

void SystemsWindow::setSystems(const std::vector<std::string>& systems, const QString& caption) {
    list_->clear();
    const QIcon icon = systemIcon();
    for (const std::string& s : systems) {
        auto* item = new QListWidgetItem(icon, captionOf(s), list_);
        item->setData(kSystemRole, QString::fromStdString(s));
    }
    setWindowTitle(caption);
}

void SystemsWindow::clearSystems() {
    list_->clear();
    setWindowTitle(QString());
}

std::string SystemsWindow::selectedSystem() const {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? std::string() : systemOf(selected.first());
}

std::vector<std::string> SystemsWindow::shownSystems() const {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(list_->count()));
    for (int i = 0; i < list_->count(); ++i) out.push_back(systemOf(list_->item(i)));
    return out;
}

QMenu* SystemsWindow::menuFor(const std::string& system) {
    menuSystem_ = system;
    const auto own = settings_.systemOutput.find(system);
    const QString word =
        QString::fromLatin1(own == settings_.systemOutput.end() ? kGlobalValueWord : archiveOutputName(own->second));
    for (QAction* action : outputMenu_->actions()) {
        if (action->data().toString() == QLatin1String(kGlobalValueWord))
            action->setText(QStringLiteral("Default (%1)").arg(archiveOutputCaption(settings_.output)));
        action->setChecked(action->data().toString() == word);
    }
    return menu_;
}

void SystemsWindow::setOutput(const std::string& system, const std::string& word) {
    if (const std::string error = setSystemSetting(settings_, system, "output", word); !error.empty())
        uiDialogs().information(this, QString::fromStdString(error));
    for (int i = 0; i < list_->count(); ++i)
        if (systemOf(list_->item(i)) == system) list_->item(i)->setText(captionOf(system));
}

}  // namespace quorvane
