#include "ui/zip_queue_window.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/gui_thread.h"

namespace quorvane {

ZipQueueWindow::ZipQueueWindow(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setWindowTitle(QStringLiteral("Zip queue"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Selected files:"), this));
    listBox_ = new QListWidget(this);
    listBox_->setObjectName(QStringLiteral("queueList"));
    layout->addWidget(listBox_);
    auto* countRow = new QHBoxLayout;
    countRow->addWidget(new QLabel(QStringLiteral("Total Files:"), this));
    count_ = new QLabel(QStringLiteral("0"), this);
    count_->setObjectName(QStringLiteral("fileCountLabel"));
    countRow->addWidget(count_);
    countRow->addStretch(1);
    layout->addLayout(countRow);
    auto* buttons = new QHBoxLayout;
    start_ = new QPushButton(QStringLiteral("Start!"), this);
    start_->setObjectName(QStringLiteral("startButton"));
    auto* back = new QPushButton(QStringLiteral("Back to main"), this);
    back->setObjectName(QStringLiteral("backButton"));
    auto* clear = new QPushButton(QStringLiteral("Clear window"), this);
    clear->setObjectName(QStringLiteral("clearButton"));
    buttons->addWidget(start_);
    buttons->addWidget(back);
    buttons->addWidget(clear);
    layout->addLayout(buttons);
    connect(start_, &QPushButton::clicked, this, &ZipQueueWindow::start);
    connect(back, &QPushButton::clicked, this, &QWidget::close);
    connect(clear, &QPushButton::clicked, this, &ZipQueueWindow::clearWindow);
    // The engine changes the list from its own thread.
    list_.onCountChanged = [this](size_t) {
        QMetaObject::invokeMethod(this, [this] { refreshList(); }, Qt::QueuedConnection);
    };
    resize(520, 360);
}

ZipQueueWindow::~ZipQueueWindow() {
    waitForEngine();
    list_.onCountChanged = nullptr;
}

void ZipQueueWindow::refreshList() {
    const std::vector<std::string> paths = list_.paths();
    listBox_->clear();
    for (const std::string& p : paths) listBox_->addItem(QString::fromStdString(p));
    count_->setText(QString::number(static_cast<qulonglong>(paths.size())));
}

void ZipQueueWindow::start() {
    if (!start_->isEnabled()) return;
    waitForEngine();
    // Disabled here, not only by the engine, so waitForEngine can tell it runs.
    start_->setEnabled(false);
    MultiZipper::Listener listener;
    listener.startEnabled = [this](bool enabled) {
        runOnGuiThreadAndWait(*this, [this, enabled] { start_->setEnabled(enabled); });
    };
    listener.processed = [this](const std::string&, const ZipperResult& result) {
        if (!hooks_.report || (result.kept.empty() && result.failures.empty())) return;
        runOnGuiThreadAndWait(*this, [this, &result] {
            for (const auto* lines : {&result.kept, &result.failures})
                for (const std::string& line : *lines) hooks_.report(QString::fromStdString(line));
        });
    };
    ZipperOptions options;
    if (hooks_.backupRoot) options.backupRoot = hooks_.backupRoot();
    engine_ = std::make_unique<MultiZipper>(list_, listener, options);
}

void ZipQueueWindow::waitForEngine() {
    if (!engine_) return;
    // The engine's last calls wait for this thread; let them run meanwhile.
    while (start_ && !start_->isEnabled() && engine_) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    engine_.reset();
}

void ZipQueueWindow::clearWindow() {
    list_.clear();
    refreshList();
}

}  // namespace quorvane
