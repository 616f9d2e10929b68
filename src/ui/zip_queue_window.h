// The multi-zipper's "Zip queue": lists the paths collected and, on
// "Start!", runs the engine that zips or unpacks each in turn.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "tools/multi_zipper.h"
#include "tools/zip_work_list.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace quorvane {

class ZipQueueWindow final : public QWidget {
    Q_OBJECT
public:
    // What the engine needs from the rest of the program: the folder below
    // which replaced entries are kept, and where its lines are shown.
    struct Hooks {
        std::function<std::string()> backupRoot;
        std::function<void(const QString& line)> report;
    };

    explicit ZipQueueWindow(QWidget* parent = nullptr);
    ~ZipQueueWindow() override;

    void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }

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
    Hooks hooks_;
    std::unique_ptr<MultiZipper> engine_;
    QListWidget* listBox_;
    QLabel* count_;
    QPushButton* start_;
};

}  // namespace quorvane
