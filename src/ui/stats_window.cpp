#include "ui/stats_window.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "jobs/catalogue_jobs.h"
#include "tools/catalogue_stats.h"
#include "ui/current_database.h"
#include "ui/gui_thread.h"

namespace quorvane {

StatsWindow::StatsWindow(const Settings& settings, JobHost& host, CurrentDatabase& database, QWidget* parent)
    : QWidget(parent, Qt::Tool), settings_(settings), host_(host), database_(database) {
    setWindowTitle(QStringLiteral("Stats"));
    auto* layout = new QVBoxLayout(this);
    auto* tabs = new QTabWidget(this);
    auto* page = new QWidget(tabs);
    auto* pageLayout = new QVBoxLayout(page);
    auto* grid = new QGridLayout;
    int row = 0;
    for (const StatRow& r : statRowsTopToBottom()) {
        grid->addWidget(new QLabel(QString::fromUtf8(r.caption), page), row, 0);
        auto* value = new QLabel(QStringLiteral("unknown"), page);
        value->setObjectName(QString::fromLatin1(r.label));
        grid->addWidget(value, row, 1);
        values_[static_cast<size_t>(r.number)] = value;
        ++row;
    }
    pageLayout->addLayout(grid);
    pageLayout->addWidget(new QLabel(QStringLiteral("DataBase"), page));
    db_ = new QLineEdit(page);
    db_->setObjectName(QStringLiteral("databaseBox"));
    db_->setEnabled(false);
    pageLayout->addWidget(db_);
    auto* refreshButton = new QPushButton(QStringLiteral("Refresh stats"), page);
    refreshButton->setObjectName(QStringLiteral("refreshButton"));
    refreshButton->setFlat(true);
    pageLayout->addWidget(refreshButton);
    tabs->addTab(page, QStringLiteral("Stats"));
    layout->addWidget(tabs);
    connect(refreshButton, &QPushButton::clicked, this, &StatsWindow::refresh);
}

void StatsWindow::open() {
    db_->setText(QString::fromStdString(settings_.currentdb));
    show();
    raise();
}

void StatsWindow::refresh() {
    for (size_t i = 1; i < values_.size(); ++i) values_[i]->clear();
    // Each figure reaches its label on the GUI thread while the job waits.
    const bool started = database_.jobs().startStats(host_, [this](int number, const std::string& text) {
        runOnGuiThreadAndWait(*this, [this, number, &text] {
            if (number >= 1 && number <= kStatCount)
                values_[static_cast<size_t>(number)]->setText(QString::fromStdString(text));
        });
    });
    database_.jobStarted(started);
}

}  // namespace quorvane
