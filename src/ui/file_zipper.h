// The multi-zipper's two windows: "FileZipper" picks folders and collects
// their files; "ScanWindow" lists them and runs the engine on "Start!".
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "tools/multi_zipper.h"
#include "tools/zip_work_list.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTreeView;
class QFileSystemModel;

namespace quorvane {

class TScan : public QWidget {
    Q_OBJECT
public:
    // What the engine needs from the rest of the program: the folder below
    // which replaced entries are kept, and where its lines are shown.
    struct Hooks {
        std::function<std::string()> backupRoot;
        std::function<void(const QString& line)> report;
    };

    explicit TScan(QWidget* parent = nullptr);
    ~TScan() override;

    void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }

    ZipWorkList& workList() { return list_; }
    void start();
    void clearWindow();
    // Blocks until the engine (if any) has worked the list off.
    void waitForEngine();

    QListWidget* listBox() const { return listBox_; }
    QLabel* countLabel() const { return count_; }
    QPushButton* startButton() const { return start_; }

private:
    void refreshList();

    ZipWorkList list_;
    Hooks hooks_;
    std::unique_ptr<MultiZipper> engine_;
    QListWidget* listBox_;
    QLabel* count_;
    QPushButton* start_;
};

class TFileZipper : public QWidget {
    Q_OBJECT
public:
    TFileZipper(TScan& scan, QWidget* parent = nullptr);

    void addFilesToZip(const QString& folder);
    void addFilesToUnzip(const QString& folder);
    QString selectedFolder() const;
    void selectFolder(const QString& folder);

private:
    TScan& scan_;
    QFileSystemModel* model_;
    QTreeView* folders_;
};

}  // namespace quorvane
