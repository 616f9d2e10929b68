// "Stats": the fourteen figures of the current database.
#pragma once

#include <QWidget>
#include <array>

class QLabel;
class QLineEdit;

namespace quorvane {

class MainWindow;

class StatsWindow : public QWidget {
    Q_OBJECT
public:
    explicit StatsWindow(MainWindow& main);

    // Shows the current database's name; computes nothing.
    void open();
    // "Refresh stats": blanks every value, then starts the job.
    void refresh();
    // The value label filled by figure `number` (1..14).
    QLabel* valueLabel(int number) const { return values_[static_cast<size_t>(number)]; }
    QLineEdit* databaseBox() const { return db_; }

private:
    MainWindow& main_;
    std::array<QLabel*, 15> values_{};
    QLineEdit* db_;
};

}  // namespace quorvane
