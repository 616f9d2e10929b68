// "Undo history": the runs that changed the collection, newest first, and
// taking the selected one back. The main window does the undo; this window
// only lists and asks for it.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "engine/run_undo.h"

class QPushButton;
class QTableWidget;

namespace quorvane {

class UndoHistoryWindow final : public QWidget {
    Q_OBJECT
public:
    // `undo` takes back the run of that folder name.
    UndoHistoryWindow(const Settings& settings, std::function<void(const std::string&)> undo,
                      QWidget* parent = nullptr);

    void open();
    // Reads the backup folder again, keeping the selected run selected.
    void reload();
    void undoSelected();

    QTableWidget* table() const { return table_; }
    QPushButton* undoButton() const { return undo_; }
    QPushButton* refreshButton() const { return refresh_; }

private:
    const RunSummary* selectedRun() const;
    void followSelection();

    const Settings& settings_;
    std::function<void(const std::string&)> undoRun_;
    std::vector<RunSummary> runs_;  // as the rows show them, newest first
    QTableWidget* table_;
    QPushButton* undo_;
    QPushButton* refresh_;
};

}  // namespace quorvane
