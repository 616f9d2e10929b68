#include "ui/file_zipper.h"

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

namespace quorvane {

namespace {
void onGuiThread(QObject* target, const std::function<void()>& work) {
    if (QThread::currentThread() == target->thread()) work();
    else QMetaObject::invokeMethod(target, work, Qt::BlockingQueuedConnection);
}
}  // namespace

TScan::TScan(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setWindowTitle(QStringLiteral("ScanWindow"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Selected files:"), this));
    listBox_ = new QListWidget(this);
    listBox_->setObjectName(QStringLiteral("ListBox1"));
    layout->addWidget(listBox_);
    auto* countRow = new QHBoxLayout;
    countRow->addWidget(new QLabel(QStringLiteral("Total Files:"), this));
    count_ = new QLabel(QStringLiteral("0"), this);
    count_->setObjectName(QStringLiteral("Label3"));
    countRow->addWidget(count_);
    countRow->addStretch(1);
    layout->addLayout(countRow);
    auto* buttons = new QHBoxLayout;
    start_ = new QPushButton(QStringLiteral("Start!"), this);
    start_->setObjectName(QStringLiteral("SpeedButton1"));
    auto* back = new QPushButton(QStringLiteral("Back to main"), this);
    back->setObjectName(QStringLiteral("SpeedButton2"));
    auto* clear = new QPushButton(QStringLiteral("Clear window"), this);
    clear->setObjectName(QStringLiteral("SpeedButton3"));
    buttons->addWidget(start_);
    buttons->addWidget(back);
    buttons->addWidget(clear);
    layout->addLayout(buttons);
    connect(start_, &QPushButton::clicked, this, &TScan::start);
    connect(back, &QPushButton::clicked, this, &QWidget::close);
    connect(clear, &QPushButton::clicked, this, &TScan::clearWindow);
    // The engine changes the list from its own thread.
    list_.onCountChanged = [this](size_t) {
        QMetaObject::invokeMethod(this, [this] { refreshList(); }, Qt::QueuedConnection);
    };
    resize(520, 360);
}

TScan::~TScan() {
    waitForEngine();
    list_.onCountChanged = nullptr;
}

void TScan::refreshList() {
    const std::vector<std::string> paths = list_.paths();
    listBox_->clear();
    for (const std::string& p : paths) listBox_->addItem(QString::fromStdString(p));
    count_->setText(QString::number(static_cast<qulonglong>(paths.size())));
}

void TScan::start() {
    if (!start_->isEnabled()) return;
    waitForEngine();
    // Disabled here, not only by the engine, so waitForEngine can tell it runs.
    start_->setEnabled(false);
    MultiZipper::Listener listener;
    listener.startEnabled = [this](bool enabled) { onGuiThread(this, [this, enabled] { start_->setEnabled(enabled); }); };
    listener.processed = [this](const std::string&, const ZipperResult& result) {
        if (!hooks_.report || (result.kept.empty() && result.failures.empty())) return;
        onGuiThread(this, [this, &result] {
            for (const auto* lines : {&result.kept, &result.failures})
                for (const std::string& line : *lines) hooks_.report(QString::fromStdString(line));
        });
    };
    ZipperOptions options;
    if (hooks_.backupRoot) options.backupRoot = hooks_.backupRoot();
    engine_ = std::make_unique<MultiZipper>(list_, listener, options);
}

void TScan::waitForEngine() {
    if (!engine_) return;
    // The engine's last calls wait for this thread; let them run meanwhile.
    while (start_ && !start_->isEnabled() && engine_) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    engine_.reset();
}

void TScan::clearWindow() {
    list_.clear();
    refreshList();
}

TFileZipper::TFileZipper(TScan& scan, QWidget* parent) : QWidget(parent, Qt::Tool), scan_(scan) {
    setWindowTitle(QStringLiteral("FileZipper"));
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
    for (const auto& [name, caption] : {std::pair{"SubFolders", "Browse sub-folders:"}, std::pair{"IgnoreRAR", "Ignore rar files:"},
                                        std::pair{"CheckBox1", "Ignore text files:"}}) {
        auto* box = new QCheckBox(QString::fromUtf8(caption), this);
        box->setObjectName(QString::fromLatin1(name));
        box->setChecked(true);
        box->setEnabled(false);
        options->addWidget(box);
    }
    options->addWidget(new QLabel(QStringLiteral("Zip compression level: "), this));
    auto* level = new QComboBox(this);
    level->setObjectName(QStringLiteral("CompLevel"));
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

QString TFileZipper::selectedFolder() const { return model_->filePath(folders_->currentIndex()); }

void TFileZipper::selectFolder(const QString& folder) { folders_->setCurrentIndex(model_->index(folder)); }

void TFileZipper::addFilesToZip(const QString& folder) {
    if (!folder.isEmpty()) addFolderToZip(folder.toStdString(), scan_.workList());
}

void TFileZipper::addFilesToUnzip(const QString& folder) {
    if (!folder.isEmpty()) addFolderToUnzip(folder.toStdString(), scan_.workList());
}

}  // namespace quorvane
