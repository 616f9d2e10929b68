// The window tests: a home folder of their own, its settings, message boxes
// answered by the test, and the catalogues they fill.
#pragma once

#include <gtest/gtest.h>
#include <QAction>
#include <QCoreApplication>
#include <QListWidget>

#include "core/file_util.h"
#include "jobs/catalogue_jobs.h"
#include "support/catalogue_rows.h"
#include "support/temp_dir.h"
#include "test_dialogs.h"
// The windows the main window holds, for the tests that reach them through it.
#include "ui/export_formats_window.h"
#include "ui/game_roms_window.h"
#include "ui/games_window.h"
#include "ui/main_window.h"
#include "ui/messages_window.h"
#include "ui/preferences_dialog.h"
#include "ui/rom_identifier_window.h"
#include "ui/stats_window.h"
#include "ui/systems_window.h"
#include "ui/tool_windows.h"
#include "ui/zip_folder_picker.h"
#include "ui/zip_queue_window.h"

// A failed check shows a text as text, not as its bytes.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace quorvane::testing {

inline QStringList itemTexts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

// Jobs call the GUI thread and wait: keep its events flowing until done.
inline void waitForJob(CatalogueJobs& jobs) {
    while (jobs.busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    jobs.wait();
    QCoreApplication::processEvents();
}

class WindowTest : public ::testing::Test {
protected:
    TempDir home;
    Settings settings = loadSettings(programFoldersIn(home.path()));
    TestDialogs dialogs;

    // System Sys of version 1.0: "complete", "missing", "partial" (one of
    // two ROMs had) and "present" (its ROM found elsewhere).
    void fill(const std::string& databaseName) {
        using enum RomStatus;
        ASSERT_TRUE(makeFolders(settings.databasesDir));
        Catalogue db(settings.databasesDir + databaseName);
        addRows(db, {romRow("Sys", "complete", "00000001", "c.bin", "1", Have, "1.0"),
                     romRow("Sys", "missing", "00000002", "m.bin", "1", Missing, "1.0"),
                     romRow("Sys", "partial", "00000003", "p1.bin", "1", Have, "1.0"),
                     romRow("Sys", "partial", "00000004", "p2.bin", "1", Missing, "1.0"),
                     romRow("Sys", "present", "00000005", "x.bin", "1", Present, "1.0")});
    }

    // System Sys whose folder holds a correct archive of "good" and nothing of "gone".
    void makeCollection() {
        ASSERT_TRUE(makeFolders(settings.databasesDir));
        Catalogue db(settings.currentDatabasePath());
        addRows(db, {romRow("Sys", "good", "3610a686", "a.bin", "5"), romRow("Sys", "gone", "00000001", "z.bin", "9")});
        writeFile(home.file("a.bin"), "hello");
        ASSERT_EQ(
            runShell("cd " + home.path() + " && zip -qj '" + resolveSystemFolder(settings, "Sys") + "/good.zip' a.bin"),
            0);
    }

    // Selects the first system and triggers `action` on it (`times` over,
    // while the first job runs), then waits for the job.
    void onFirstSystem(MainWindow& main, QAction* action, int times = 1) {
        main.refreshSystems();
        main.systemsWindow().list()->item(0)->setSelected(true);
        for (int i = 0; i < times; ++i) action->trigger();
        waitForJob(main.jobs());
    }
};

}  // namespace quorvane::testing
