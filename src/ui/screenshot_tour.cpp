#include "ui/screenshot_tour.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>

#include "core/file_util.h"
#include "jobs/catalogue_jobs.h"
#include "ui/main_window.h"
#include "ui/messages_window.h"
#include "ui/rom_identifier_window.h"
#include "ui/systems_window.h"
#include "ui/tool_windows.h"
#include "ui/ui_dialogs.h"
#include "ui/undo_history_window.h"

namespace quorvane {

namespace {

// Notices are printed instead of waiting for a click; questions answer Yes.
class UnattendedDialogs final : public UiDialogs {
public:
    void information(QWidget*, const QString& text) override { std::printf("notice: %s\n", qPrintable(text)); }
    bool yesIgnore(QWidget*, const QString&) override { return true; }
    bool yesAbort(QWidget*, const QString&) override { return true; }
};

void save(const QString& folder, const char* name) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    if (screen && screen->grabWindow(0).save(path)) std::printf("saved %s\n", qPrintable(path));
    else std::printf("could not save %s\n", qPrintable(path));
}

// Runs `then` once no job is running, checking every 100 ms.
void afterJob(MainWindow& main, const std::function<void()>& then) {
    auto* timer = new QTimer(&main);
    QObject::connect(timer, &QTimer::timeout, &main, [timer, &main, then] {
        if (main.jobs().busy()) return;
        timer->stop();
        timer->deleteLater();
        QTimer::singleShot(500, &main, then);
    });
    timer->start(100);
}

}  // namespace

void startScreenshotTour(MainWindow& main, const QString& folder) {
    static UnattendedDialogs dialogs;
    setUiDialogs(&dialogs);
    QDir().mkpath(folder);
    QTimer::singleShot(1500, &main, [&main, folder] {
        QListWidget* systems = main.systemsWindow().list();
        if (systems->count() > 0) {
            systems->item(0)->setSelected(true);
            main.showSystemGames(main.systemsWindow().shownSystems().front());
        }
        QTimer::singleShot(500, &main, [&main, folder] {
            save(folder, "main-window.png");
            main.actions().scanSelected->trigger();
            afterJob(main, [&main, folder] {
                main.messagesWindow().raise();
                save(folder, "messages-after-scan.png");
                const std::string system = main.systemsWindow().selectedSystem();
                std::vector<std::string> archives;
                if (!system.empty()) {
                    const QDir dir(QString::fromStdString(resolveSystemFolder(main.settings(), system)));
                    for (const QString& name : dir.entryList({QStringLiteral("*.zip")}, QDir::Files))
                        archives.push_back(dir.filePath(name).toStdString());
                }
                RomIdentifierWindow& identifier = main.toolWindows().identifier();
                identifier.open();
                identifier.move(main.x() + 60, main.y() + 120);
                identifier.identify(archives);
                afterJob(main, [&main, folder] {
                    save(folder, "identifier.png");
                    // The fix leaves a run to list in the undo history.
                    main.actions().fixSelected->trigger();
                    afterJob(main, [&main, folder] {
                        UndoHistoryWindow& history = main.toolWindows().undoHistory();
                        history.open();
                        history.move(main.x() + 60, main.y() + 120);
                        history.table()->selectRow(0);
                        QTimer::singleShot(300, &main, [folder] {
                            save(folder, "undo-history.png");
                            QApplication::quit();
                        });
                    });
                });
            });
        });
    });
}

}  // namespace quorvane
