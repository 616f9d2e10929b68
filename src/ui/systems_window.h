// "Systems": one item per system of the current category. A system with an
// output of its own shows it after its name; the context menu sets it.
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
    // The context menu, made ready for `system`: its "Output" submenu checks
    // the system's choice ("Default (...)" when it follows the preferences)
    // and choosing another writes it to the settings file.
    QMenu* menuFor(const std::string& system);

signals:
    void systemClicked(const QString& system);

private:
    void buildMenu();
    static std::string systemOf(const QListWidgetItem* item);
    QString captionOf(const std::string& system) const;
    void setOutput(const std::string& system, const std::string& word);

    Settings& settings_;
    QListWidget* list_;
    QMenu* menu_;
    QMenu* outputMenu_;
    std::string menuSystem_;  // the system the menu was last opened for
};

}  // namespace quorvane
