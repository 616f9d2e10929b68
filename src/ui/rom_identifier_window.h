// "Rom Identifier": archives dropped on the window are identified against
// the current database; the lines can be handed to the rebuild.
#pragma once

#include <QWidget>

#include "core/job_host.h"
#include "core/settings.h"
#include "tools/identified_list.h"

class QMenu;
class QTableWidget;

namespace quorvane {

class CurrentDatabase;

class RomIdentifierWindow final : public QWidget {
    Q_OBJECT
public:
    RomIdentifierWindow(const Settings& settings, JobHost& host, CurrentDatabase& database, QWidget* parent = nullptr);

    void open();
    // What a drop does: identification runs as a job; its hits become lines.
    bool identify(const std::vector<std::string>& paths);
    void addHits(const std::vector<RomMatch>& hits);
    void clearList();
    void rebuildThis();
    void rebuildAll();

    QTableWidget* grid() const { return result_; }
    const IdentifiedList& lines() const { return list_; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void redraw();

    const Settings& settings_;
    JobHost& host_;
    CurrentDatabase& database_;
    QTableWidget* result_;
    QMenu* menu_;
    IdentifiedList list_;
};

}  // namespace quorvane
