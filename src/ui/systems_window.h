// "Systems": one item per system of the current category. A system with an
// output or merge mode of its own shows it after its name; the context menu
// sets them.
#pragma once

#include <string>
#include <vector>

#include "core/settings.h"
#include "ui/satellite_window.h"

class QListWidget;
class QListWidgetItem;
class QMenu;

namespace quorvane {

class SystemsWindow final : public SatelliteWindow {
    Q_OBJECT
public:
    explicit SystemsWindow(Settings& settings, QWidget* parent = nullptr);

    void setSystems(const std::vector<std::string>& systems, const QString& caption);
    void clearSystems();
    // The selected system's name; empty when nothing is selected.
    std::string selectedSystem() const;
    std::vector<std::string> shownSystems() const;
    QListWidget* list() const { return list_; }
    // The context menu, made ready for `system`: its "Output" and "Merge mode"
    // submenus check the system's choice ("Default (...)" when it follows the
    // preferences) and choosing another writes it to the settings file.
    QMenu* menuFor(const std::string& system);

signals:
    void systemClicked(const QString& system);

private:
    // A submenu choosing a system's own value of a per-system settings key;
    // each action's data is the value's settings word.
    struct ChoiceMenu {
        std::string key;
        QMenu* menu;
    };
    struct Choice {
        QString caption;
        std::string word;
    };

    void buildMenu();
    void addChoiceMenu(const QString& title, const char* objectName, const std::string& key,
                       const std::vector<Choice>& choices);
    static QString captionOfWord(const ChoiceMenu& choices, const std::string& word);
    static std::string systemOf(const QListWidgetItem* item);
    QString captionOf(const std::string& system) const;
    void setOwnValue(const std::string& system, const std::string& key, const std::string& word);

    Settings& settings_;
    QListWidget* list_;
    QMenu* menu_;
    std::vector<ChoiceMenu> choiceMenus_;
    std::string menuSystem_;  // the system the menu was last opened for
};

}  // namespace quorvane
