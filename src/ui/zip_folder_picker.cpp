#include "ui/zip_folder_picker.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/zip_queue_window.h"

namespace quorvane {

ZipFolderPicker::ZipFolderPicker(ZipQueueWindow& scan, QWidget* parent) : QWidget(parent, Qt::Tool), scan_(scan) {
    setWindowTitle(QStringLiteral("Multi-zipper"));
    auto* layout = new QVBoxLayout(this);
    auto* first = new QLabel(QStringLiteral("Select a folder.  Pressing \"Add files to zip\" all files inside selected "
                                            "folder (and its subfolders, recursively) will be added to the \"Zipping "
                                            "window\""),
                             this);
    first->setWordWrap(true);
    layout->addWidget(first);
    auto* second = new QLabel(QStringLiteral("Pressing \"Show zipping window\" the selected files will be shown. "
                                             "Clicking on \"Start\" inside the zipping window will zip each file "
                                             "individually."),
                              this);
    second->setWordWrap(true);
    layout->addWidget(second);
    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    model_->setRootPath(QDir::rootPath());
    folders_ = new QTreeView(this);
    folders_->setModel(model_);
    for (int c = 1; c < model_->columnCount(); ++c) folders_->hideColumn(c);
    folders_->setCurrentIndex(model_->index(QDir::homePath()));
    layout->addWidget(folders_);
    auto* options = new QHBoxLayout;
    for (const auto& [name, caption] :
         {std::pair{"browseSubfoldersBox", "Browse sub-folders:"}, std::pair{"ignoreRarBox", "Ignore rar files:"},
          std::pair{"ignoreTextBox", "Ignore text files:"}}) {
        auto* box = new QCheckBox(QString::fromUtf8(caption), this);
        box->setObjectName(QString::fromLatin1(name));
        box->setChecked(true);
        box->setEnabled(false);
        options->addWidget(box);
    }
    options->addWidget(new QLabel(QStringLiteral("Zip compression level: "), this));
    auto* level = new QComboBox(this);
    level->setObjectName(QStringLiteral("compressionLevelBox"));
    level->addItem(QStringLiteral("Default compression"));
    level->setEnabled(false);
    options->addWidget(level);
    layout->addLayout(options);
    auto* buttons = new QHBoxLayout;
    auto* show = new QPushButton(QStringLiteral("Show Zipping window"), this);
    auto* toZip = new QPushButton(QStringLiteral("Add files to zip"), this);
    auto* toUnzip = new QPushButton(QStringLiteral("Add files to unzip"), this);
    buttons->addWidget(show);
    buttons->addWidget(toZip);
    buttons->addWidget(toUnzip);
    layout->addLayout(buttons);
    connect(show, &QPushButton::clicked, &scan_, &QWidget::show);
    connect(toZip, &QPushButton::clicked, this, [this] { addFilesToZip(selectedFolder()); });
    connect(toUnzip, &QPushButton::clicked, this, [this] { addFilesToUnzip(selectedFolder()); });
    resize(560, 460);
}

QString ZipFolderPicker::selectedFolder() const { return model_->filePath(folders_->currentIndex()); }

void ZipFolderPicker::selectFolder(const QString& folder) { folders_->setCurrentIndex(model_->index(folder)); }

void ZipFolderPicker::addFilesToZip(const QString& folder) {
    if (!folder.isEmpty()) addFolderToZip(folder.toStdString(), scan_.workList());
}

void ZipFolderPicker::addFilesToUnzip(const QString& folder) {
    if (!folder.isEmpty()) addFolderToUnzip(folder.toStdString(), scan_.workList());
}

}  // namespace quorvane
