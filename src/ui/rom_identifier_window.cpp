#include "ui/rom_identifier_window.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMetaObject>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "jobs/catalogue_jobs.h"
#include "ui/current_database.h"
#include "ui/status_icons.h"
#include "ui/ui_dialogs.h"

namespace quorvane {

namespace {
QIcon hitIcon(const std::string& status) {
    const std::optional<RomStatus> rom = romStatusOf(status);
    if (!rom) return {};
    switch (*rom) {
        case RomStatus::Have: return statusIcon(StatusIcon::Have);
        case RomStatus::Missing: return statusIcon(StatusIcon::Missing);
        case RomStatus::Present: return statusIcon(StatusIcon::Incomplete);
    }
    return {};
}
}  // namespace

RomIdentifierWindow::RomIdentifierWindow(const Settings& settings, JobHost& host, CurrentDatabase& database,
                                         QWidget* parent)
    : QWidget(parent, Qt::Tool), settings_(settings), host_(host), database_(database) {
    setWindowTitle(QStringLiteral("Rom Identifier"));
    setAcceptDrops(true);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Drag one or more files into the box below:"), this), 1);
    auto* add = new QPushButton(QStringLiteral("Add files..."), this);
    add->setObjectName(QStringLiteral("addFilesButton"));
    top->addWidget(add);
    auto* clear = new QPushButton(QStringLiteral("Clear"), this);
    clear->setObjectName(QStringLiteral("clearButton"));
    clear->setFlat(true);
    top->addWidget(clear);
    layout->addLayout(top);
    result_ = new QTableWidget(this);
    result_->setObjectName(QStringLiteral("resultsTable"));
    result_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    result_->verticalHeader()->hide();
    result_->horizontalHeader()->setSectionsMovable(false);
    result_->verticalHeader()->setSectionsMovable(true);
    result_->setAcceptDrops(false);
    layout->addWidget(result_);
    unmatchedLabel_ = new QLabel(this);
    unmatchedLabel_->setObjectName(QStringLiteral("unmatchedLabel"));
    unmatchedLabel_->setWordWrap(true);
    unmatchedLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(unmatchedLabel_);
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("rebuildMenu"));
    menu_->addAction(QStringLiteral("Rebuild this"), this, &RomIdentifierWindow::rebuildThis);
    menu_->addAction(QStringLiteral("Rebuild All"), this, &RomIdentifierWindow::rebuildAll);
    menu_->addAction(QStringLiteral("Clear List"), this, &RomIdentifierWindow::clearList);
    result_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(result_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { menu_->popup(result_->viewport()->mapToGlobal(p)); });
    connect(result_, &QTableWidget::cellClicked, this, [this] { menu_->popup(QCursor::pos()); });
    connect(clear, &QPushButton::clicked, this, &RomIdentifierWindow::clearList);
    connect(add, &QPushButton::clicked, this, &RomIdentifierWindow::addFiles);
    resize(760, 320);
    redraw();
}

void RomIdentifierWindow::open() {
    show();
    raise();
}

void RomIdentifierWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void RomIdentifierWindow::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    event->acceptProposedAction();
    identify(paths);
}

void RomIdentifierWindow::addFiles() {
    std::vector<std::string> paths;
    for (const QString& file : uiDialogs().openFileNames(this, QStringLiteral("Add files")))
        paths.push_back(file.toStdString());
    identify(paths);
}

bool RomIdentifierWindow::identify(const std::vector<std::string>& paths) {
    if (paths.empty()) return false;
    const bool started =
        database_.jobs().startIdentify(host_, settings_, paths, [this, paths](std::vector<RomMatch> hits) {
            std::vector<std::string> unmatched = unmatchedInputs(paths, hits);
            QMetaObject::invokeMethod(
                this, [this, hits = std::move(hits), unmatched = std::move(unmatched)] { addResult(hits, unmatched); },
                Qt::QueuedConnection);
        });
    database_.jobStarted(started);
    return started;
}

void RomIdentifierWindow::addResult(const std::vector<RomMatch>& hits, const std::vector<std::string>& unmatched) {
    list_.append(hits);
    for (const std::string& path : unmatched) unmatched_ << QString::fromStdString(path);
    redraw();
}

void RomIdentifierWindow::clearList() {
    list_.clear();
    unmatched_.clear();
    redraw();
}

void RomIdentifierWindow::redraw() {
    QStringList names;
    for (const QString& path : unmatched_) names << QFileInfo(path).fileName();
    unmatchedLabel_->setText(QStringLiteral("No match: ") + names.join(QStringLiteral(", ")));
    unmatchedLabel_->setToolTip(QDir::toNativeSeparators(unmatched_.join(QLatin1Char('\n'))));
    unmatchedLabel_->setVisible(!unmatched_.isEmpty());
    result_->clear();
    if (list_.empty()) {
        result_->setColumnCount(0);
        result_->setRowCount(0);
        return;
    }
    const auto& items = list_.items();
    result_->setColumnCount(5);
    result_->setRowCount(static_cast<int>(items.size()));
    result_->setHorizontalHeaderLabels({QString(), QStringLiteral("Filename"), QStringLiteral("System"),
                                        QStringLiteral("Gamename"), QStringLiteral("Romname")});
    const int widths[] = {16, 100, 150, 300, 500};
    for (int c = 0; c < 5; ++c) result_->setColumnWidth(c, widths[c]);
    for (size_t i = 0; i < items.size(); ++i) {
        const RomMatch& hit = items[i];
        const int row = static_cast<int>(i);
        auto* icon = new QTableWidgetItem(hitIcon(hit.status), QString());
        icon->setData(Qt::UserRole, QString::fromStdString(hit.status));
        result_->setItem(row, 0, icon);
        result_->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(identifiedFileName(hit))));
        result_->setItem(row, 2, new QTableWidgetItem(QString::fromStdString(hit.system)));
        result_->setItem(row, 3, new QTableWidgetItem(QString::fromStdString(hit.game)));
        result_->setItem(row, 4, new QTableWidgetItem(QString::fromStdString(hit.name)));
        result_->setRowHeight(row, 16);
    }
}

void RomIdentifierWindow::rebuildThis() {
    // Grid rows count from 1 below the header line.
    const std::vector<std::string> paths = list_.rebuildThisPaths(result_->currentRow() + 1);
    if (!paths.empty()) database_.jobStarted(database_.jobs().startRebuild(host_, settings_, paths));
}

void RomIdentifierWindow::rebuildAll() {
    const std::vector<std::string> paths = list_.rebuildAllPaths();
    if (!paths.empty()) database_.jobStarted(database_.jobs().startRebuild(host_, settings_, paths));
}

}  // namespace quorvane
