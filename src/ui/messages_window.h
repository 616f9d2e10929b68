// "Messages": the log of general lines (each followed by "--") and the tree
// of findings per file.
#pragma once

#include "ui/satellite_window.h"

class QPlainTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace quorvane {

class MessagesWindow final : public SatelliteWindow {
    Q_OBJECT
public:
    explicit MessagesWindow(QWidget* parent = nullptr);

    void addMessage(const QString& text);
    void addFileNode(const QString& file);
    void addFileFinding(const QString& message);
    void clearTree();
    void clearLog();

    QString logText() const;
    QTreeWidget* tree() const { return tree_; }

private:
    QPlainTextEdit* errors_;
    QTreeWidget* tree_;
    QTreeWidgetItem* currentNode_ = nullptr;
};

}  // namespace quorvane
