// "Systems": one item per system of the current category.
#pragma once

#include <string>
#include <vector>

#include "ui/satellite_window.h"

class QListWidget;

namespace quorvane {

class SystemsWindow final : public SatelliteWindow {
    Q_OBJECT
public:
    explicit SystemsWindow(QWidget* parent = nullptr);

    void setSystems(const std::vector<std::string>& systems, const QString& caption);
    void clearSystems();
    // The selected system's name; empty when nothing is selected.
    std::string selectedSystem() const;
    std::vector<std::string> shownSystems() const;
    QListWidget* list() const { return list_; }

signals:
    void systemClicked(const QString& system);

private:
    QListWidget* list_;
};

}  // namespace quorvane
