#include "ui/systems_window.h"

#include <QActionGroup>
#include <QListWidget>
#include <QMenu>
#include <QVBoxLayout>

#include "core/settings_keys.h"
#include "ui/archive_output_caption.h"
#include "ui/merge_mode_caption.h"
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
    std::vector<Choice> outputs;
    for (const ArchiveOutput o : kArchiveOutputs) outputs.push_back({archiveOutputCaption(o), archiveOutputName(o)});
    addChoiceMenu(QStringLiteral("Output"), "outputMenu", "output", outputs);
    std::vector<Choice> modes;
    for (const MergeMode m : kMergeModes) modes.push_back({mergeModeCaption(m), mergeModeName(m)});
    addChoiceMenu(QStringLiteral("Merge mode"), "mergeModeMenu", "merge-mode", modes);
}

void SystemsWindow::addChoiceMenu(const QString& title, const char* objectName, const std::string& key,
                                  const std::vector<Choice>& choices) {
    QMenu* menu = menu_->addMenu(title);
    menu->setObjectName(QString::fromLatin1(objectName));
    auto* group = new QActionGroup(menu);
    const auto addChoice = [&](const QString& text, const std::string& word) {
        QAction* action = menu->addAction(text);
        action->setCheckable(true);
        action->setData(QString::fromStdString(word));
        group->addAction(action);
    };
    addChoice(QString(), kGlobalValueWord);  // captioned with the global value when the menu opens
    for (const Choice& c : choices) addChoice(c.caption, c.word);
    connect(group, &QActionGroup::triggered, this,
            [this, key](QAction* action) { setOwnValue(menuSystem_, key, action->data().toString().toStdString()); });
    choiceMenus_.push_back({key, menu});
}

QString SystemsWindow::captionOfWord(const ChoiceMenu& choices, const std::string& word) {
    const QString data = QString::fromStdString(word);
    for (const QAction* action : choices.menu->actions())
        if (action->data().toString() == data) return action->text();
    return data;
}

std::string SystemsWindow::systemOf(const QListWidgetItem* item) {
    return item->data(kSystemRole).toString().toStdString();
}

QString SystemsWindow::captionOf(const std::string& system) const {
    QStringList own;
    for (const ChoiceMenu& choices : choiceMenus_)
        if (const std::optional<std::string> word = ownSystemValue(settings_, system, choices.key))
            own << captionOfWord(choices, *word);
    const QString name = QString::fromStdString(system);
    return own.isEmpty() ? name : name + QStringLiteral(" \u2014 ") + own.join(QStringLiteral(", "));
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
    for (const ChoiceMenu& choices : choiceMenus_) {
        std::string global;
        settingValue(settings_, choices.key, global);  // a per-system key's global value has the same name
        const QString own =
            QString::fromStdString(ownSystemValue(settings_, system, choices.key).value_or(kGlobalValueWord));
        for (QAction* action : choices.menu->actions()) {
            if (action->data().toString() == QLatin1String(kGlobalValueWord))
                action->setText(QStringLiteral("Default (%1)").arg(captionOfWord(choices, global)));
            action->setChecked(action->data().toString() == own);
        }
    }
    return menu_;
}

void SystemsWindow::setOwnValue(const std::string& system, const std::string& key, const std::string& word) {
    if (const std::string error = setSystemSetting(settings_, system, key, word); !error.empty())
        uiDialogs().information(this, QString::fromStdString(error));
    for (int i = 0; i < list_->count(); ++i)
        if (systemOf(list_->item(i)) == system) list_->item(i)->setText(captionOf(system));
}

}  // namespace quorvane
