// "Rom Identifier": archives dropped on the window, or added with "Add
// files...", are identified against the current database; the lines can be
// handed to the rebuild, and the files that matched nothing are named.
#pragma once

#include <QWidget>

#include "core/job_host.h"
#include "core/settings.h"
#include "tools/identified_list.h"

class QLabel;
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
    // "Add files...": the chosen files go the way of dropped ones.
    void addFiles();
    void addResult(const std::vector<RomMatch>& hits, const std::vector<std::string>& unmatched);
    void clearList();
    void rebuildThis();
    void rebuildAll();

    QTableWidget* grid() const { return result_; }
    // "No match: a.zip, b.zip", hidden while every file matched.
    QLabel* unmatchedLabel() const { return unmatchedLabel_; }
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
    QLabel* unmatchedLabel_;
    IdentifiedList list_;
    QStringList unmatched_;  // since the last Clear, full paths
};

}  // namespace quorvane
