#include "ui/undo_history_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "jobs/undo_flow.h"

namespace quorvane {

namespace {
enum Column { Time, Command, Systems, Steps, State, ColumnCount };

QTableWidgetItem* cell(const std::string& text) {
    auto* item = new QTableWidgetItem(QString::fromStdString(text));
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}
}  // namespace

UndoHistoryWindow::UndoHistoryWindow(const Settings& settings, std::function<void(const std::string&)> undo,
                                     QWidget* parent)
    : QWidget(parent, Qt::Tool), settings_(settings), undoRun_(std::move(undo)) {
    setWindowTitle(QStringLiteral("Undo history"));
    auto* layout = new QVBoxLayout(this);
    table_ = new QTableWidget(0, ColumnCount, this);
    table_->setObjectName(QStringLiteral("runsTable"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Time"), QStringLiteral("Command"), QStringLiteral("Systems"),
                                       QStringLiteral("Steps"), QStringLiteral("State")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_);
    auto* buttons = new QHBoxLayout;
    undo_ = new QPushButton(QStringLiteral("Undo"), this);
    undo_->setObjectName(QStringLiteral("undoButton"));
    refresh_ = new QPushButton(QStringLiteral("Refresh"), this);
    refresh_->setObjectName(QStringLiteral("refreshButton"));
    buttons->addStretch(1);
    buttons->addWidget(undo_);
    buttons->addWidget(refresh_);
    layout->addLayout(buttons);
    resize(640, 320);

    connect(undo_, &QPushButton::clicked, this, &UndoHistoryWindow::undoSelected);
    connect(refresh_, &QPushButton::clicked, this, &UndoHistoryWindow::reload);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &UndoHistoryWindow::followSelection);
    followSelection();
}

void UndoHistoryWindow::open() {
    reload();
    show();
    raise();
}

void UndoHistoryWindow::reload() {
    const RunSummary* selected = selectedRun();
    const std::string keep = selected ? selected->id : std::string();
    runs_ = listRuns(settings_.backupDir);
    std::reverse(runs_.begin(), runs_.end());
    table_->clearSelection();
    table_->setRowCount(static_cast<int>(runs_.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const RunSummary& run = runs_[static_cast<size_t>(row)];
        table_->setItem(row, Time, cell(run.id));
        table_->setItem(row, Command, cell(run.command));
        table_->setItem(row, Systems, cell(runSystemsText(run)));
        table_->setItem(row, Steps, cell(std::to_string(run.steps)));
        table_->setItem(row, State, cell(runStateText(run)));
        if (run.id == keep) table_->selectRow(row);
    }
    table_->resizeColumnsToContents();
    followSelection();
}

const RunSummary* UndoHistoryWindow::selectedRun() const {
    const QList<QTableWidgetItem*> items = table_->selectedItems();
    if (items.isEmpty()) return nullptr;
    const int row = items.first()->row();
    return row < static_cast<int>(runs_.size()) ? &runs_[static_cast<size_t>(row)] : nullptr;
}

void UndoHistoryWindow::followSelection() {
    const RunSummary* run = selectedRun();
    undo_->setEnabled(run && !run->undone);
}

void UndoHistoryWindow::undoSelected() {
    const RunSummary* run = selectedRun();
    if (!run || run->undone) return;
    // A copy: the undo reloads this window, and the list with it.
    const std::string id = run->id;
    undoRun_(id);
}

}  // namespace quorvane
