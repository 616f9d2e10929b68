// The multi-zipper's two windows: "FileZipper" picks folders and collects
// their files; "ScanWindow" lists them and runs the engine on "Start!".
#pragma once

#include <QWidget>
#include <memory>

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
    explicit TScan(QWidget* parent = nullptr);
    ~TScan() override;

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
    std::unique_ptr<ozippatore> engine_;
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
