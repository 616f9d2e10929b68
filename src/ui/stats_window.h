// "Stats": the fourteen figures of the current database.
#pragma once

#include <QWidget>
#include <array>

#include "core/settings.h"

class QLabel;
class QLineEdit;

namespace quorvane {

class CurrentDatabase;
class JobHost;

class StatsWindow final : public QWidget {
    Q_OBJECT
public:
    StatsWindow(const Settings& settings, JobHost& host, CurrentDatabase& database, QWidget* parent = nullptr);

    // Shows the current database's name; computes nothing.
    void open();
    // "Refresh stats": blanks every value, then starts the job.
    void refresh();
    // The value label filled by figure `number` (1..14).
    QLabel* valueLabel(int number) const { return values_[static_cast<size_t>(number)]; }
    QLineEdit* databaseBox() const { return db_; }

private:
    const Settings& settings_;
    JobHost& host_;
    CurrentDatabase& database_;
    std::array<QLabel*, 15> values_{};
    QLineEdit* db_;
};

}  // namespace quorvane
