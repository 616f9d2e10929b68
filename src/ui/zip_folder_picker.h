// The "Multi-zipper" window: picks folders and adds their files to
// the zip queue window.
#pragma once

#include <QString>
#include <QWidget>

class QFileSystemModel;
class QTreeView;

namespace quorvane {

class ZipQueueWindow;

class ZipFolderPicker final : public QWidget {
    Q_OBJECT
public:
    ZipFolderPicker(ZipQueueWindow& scan, QWidget* parent = nullptr);

    void addFilesToZip(const QString& folder);
    void addFilesToUnzip(const QString& folder);
    QString selectedFolder() const;
    void selectFolder(const QString& folder);

private:
    ZipQueueWindow& scan_;
    QFileSystemModel* model_;
    QTreeView* folders_;
};

}  // namespace quorvane
