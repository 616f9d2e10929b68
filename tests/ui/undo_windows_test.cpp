// Undo in the desktop program: a fix made through the main window, listed
// in the undo history, taken back by "Undo last fix..." or from the history,
// and refused over a file changed since.
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <filesystem>
#include <map>

#include "engine/run_undo.h"
#include "support/inventory.h"
#include "ui/undo_history_window.h"
#include "window_fixture.h"

namespace quorvane {
namespace {

using testing::inventoryOf;
using testing::readFile;
using testing::waitForJob;
using testing::writeFile;

QStringList rowTexts(const QTableWidget* table, int row) {
    QStringList out;
    for (int column = 0; column < table->columnCount(); ++column) out << table->item(row, column)->text();
    return out;
}

class UndoWindowsTest : public testing::WindowTest {
protected:
    // Sys's folder holds the ROM of "good" loose instead of in good.zip, and
    // a note the catalogue knows nothing of; the fix makes good.zip from the
    // ROM and puts both files in the backup folder.
    void fixThroughTheMainWindow(MainWindow& main) {
        makeCollection();
        ASSERT_EQ(std::filesystem::remove(sys() + "/good.zip"), true);
        writeFile(sys() + "/a.bin", "hello");
        writeFile(sys() + "/note.txt", "the person's note");
        before_ = inventoryOf(sys());
        main.refreshSystems();
        main.systemsWindow().list()->item(0)->setSelected(true);
        main.actions().fixSelected->trigger();
        waitForJob(main.jobs());
        ASSERT_TRUE(dialogs.shown.contains(QStringLiteral("info: Romset Sys has been fixed.")))
            << dialogs.shown.join(QStringLiteral(" | ")).toStdString();
        ASSERT_NE(inventoryOf(sys()), before_);
        ASSERT_FALSE(pathExists(sys() + "/note.txt"));
        dialogs.shown.clear();
    }
    std::string sys() const { return resolveSystemFolder(settings, "Sys"); }
    RunSummary onlyRun() const {
        const std::vector<RunSummary> runs = listRuns(settings.backupDir);
        EXPECT_EQ(runs.size(), 1u);
        return runs.empty() ? RunSummary{} : runs[0];
    }
    int availableGames(MainWindow& main) {
        main.showSystemGames("Sys");
        main.showGamesView(GamesView::Available);
        return main.gamesWindow().list()->count();
    }
    QString question(const RunSummary& run) const {
        return QString::fromStdString("yesAbort: Undo the fix of " + run.id + " (Sys, " + std::to_string(run.steps) +
                                      " steps)?");
    }

    std::map<std::string, std::string> before_;
};

// A run killed part way sits below the fix (it is older) as "stopped".
TEST_F(UndoWindowsTest, HistoryListsTheRunsNewestFirstAndUndoLastFixTakesTheFixBack) {
    MainWindow main(settings);
    ASSERT_NO_FATAL_FAILURE(fixThroughTheMainWindow(main));
    const RunSummary fix = onlyRun();
    writeFile(settings.backupDir + "/killed/.quorvane-journal",
              "quorvane journal 1\nrun\t100\trebuild\nsystem\tOther\n");
    ASSERT_EQ(availableGames(main), 1);

    main.actions().undoHistory->trigger();
    UndoHistoryWindow& history = main.toolWindows().undoHistory();
    QTableWidget* table = history.table();
    ASSERT_TRUE(history.isVisible());
    QStringList headers;
    for (int column = 0; column < table->columnCount(); ++column)
        headers << table->horizontalHeaderItem(column)->text();
    EXPECT_EQ(headers, (QStringList{"Time", "Command", "Systems", "Steps", "State"}));
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_GT(fix.steps, 0u);
    EXPECT_EQ(rowTexts(table, 0),
              (QStringList{QString::fromStdString(fix.id), "fix", "Sys", QString::number(fix.steps), "done"}));
    EXPECT_EQ(rowTexts(table, 1), (QStringList{"killed", "rebuild", "Other", "0", "stopped"}));
    EXPECT_FALSE(history.undoButton()->isEnabled()) << "nothing is selected";

    dialogs.answers = {true, false};  // undo it; no scan
    main.actions().undoLastRun->trigger();
    ASSERT_EQ(dialogs.shown.size(), 3) << dialogs.shown.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(dialogs.shown[0], question(fix));
    EXPECT_TRUE(dialogs.shown[1].startsWith(QStringLiteral("info: Undone: "))) << dialogs.shown[1].toStdString();
    EXPECT_EQ(dialogs.shown[2], QStringLiteral("yesAbort: Scan the affected systems now?"));
    EXPECT_EQ(inventoryOf(sys()), before_);
    EXPECT_EQ(readFile(sys() + "/note.txt"), "the person's note");
    EXPECT_TRUE(pathExists(fix.folder + "/Undone/good.zip"));
    EXPECT_EQ(availableGames(main), 0) << "the statuses of Sys were not cleared";

    // The history shows it at once, and after a refresh.
    history.refreshButton()->click();
    EXPECT_EQ(table->item(0, 4)->text(), QStringLiteral("undone"));
    table->selectRow(0);
    EXPECT_FALSE(history.undoButton()->isEnabled());
    table->selectRow(1);
    EXPECT_TRUE(history.undoButton()->isEnabled());

    // The killed rebuild is the last run not undone.
    dialogs.shown.clear();
    dialogs.answers = {false};
    main.actions().undoLastRun->trigger();
    EXPECT_EQ(dialogs.shown, QStringList{"yesAbort: Undo the rebuild of killed (Other, 0 steps)?"});
}

TEST_F(UndoWindowsTest, NoRunToUndo) {
    MainWindow main(settings);
    main.actions().undoLastRun->trigger();
    EXPECT_EQ(dialogs.shown, QStringList{"info: There is no run to undo."});
    main.actions().undoHistory->trigger();
    EXPECT_EQ(main.toolWindows().undoHistory().table()->rowCount(), 0);
}

// The person's new note.txt stands where the fix took the old one away:
// undo would put the old one back over it.
TEST_F(UndoWindowsTest, RefusedUndoChangesNothingUnlessForced) {
    MainWindow main(settings);
    ASSERT_NO_FATAL_FAILURE(fixThroughTheMainWindow(main));
    writeFile(sys() + "/note.txt", "a newer note");
    const RunSummary fix = onlyRun();
    const auto fixed = inventoryOf(sys());

    dialogs.answers = {true, false};  // undo it; not anyway
    main.actions().undoLastRun->trigger();
    ASSERT_EQ(dialogs.shown.size(), 2) << dialogs.shown.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(dialogs.shown[0], question(fix));
    EXPECT_EQ(dialogs.shown[1],
              QString::fromStdString(
                  "yesAbort: " + sys() + "/note.txt is in the way of " + fix.folder + "/Sys/note.txt.\n" +
                  "Nothing was changed.\n\nUndo it anyway, keeping the newer files in " + fix.folder + "/Undone?"));
    EXPECT_EQ(inventoryOf(sys()), fixed);
    EXPECT_FALSE(onlyRun().undone);
    EXPECT_EQ(availableGames(main), 1) << "the statuses were cleared though nothing was undone";

    // Forced from the history window, and a scan of Sys after it.
    dialogs.shown.clear();
    dialogs.answers = {true, true, true};
    UndoHistoryWindow& history = main.toolWindows().undoHistory();
    history.open();
    history.table()->selectRow(0);
    history.undoButton()->click();
    waitForJob(main.jobs());
    EXPECT_EQ(inventoryOf(sys()), before_);
    EXPECT_EQ(readFile(fix.folder + "/Undone/note.txt"), "a newer note");
    EXPECT_TRUE(dialogs.shown.contains(QStringLiteral("info: Romsets have been scanned.")))
        << dialogs.shown.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(history.table()->item(0, 4)->text(), QStringLiteral("undone"));
    EXPECT_FALSE(history.undoButton()->isEnabled());
}

// The run's Undone folder cannot be made (a file has its name): the undo
// stops where it is, and what the catalogue said of Sys may be untrue.
TEST_F(UndoWindowsTest, FailedUndoShowsWhyClearsTheStatusesAndStaysUndoable) {
    MainWindow main(settings);
    ASSERT_NO_FATAL_FAILURE(fixThroughTheMainWindow(main));
    const RunSummary fix = onlyRun();
    writeFile(fix.folder + "/Undone", "in the way");

    dialogs.answers = {true, false};  // undo it; no scan
    main.actions().undoLastRun->trigger();
    ASSERT_EQ(dialogs.shown.size(), 3) << dialogs.shown.join(QStringLiteral(" | ")).toStdString();
    EXPECT_TRUE(dialogs.shown[1].startsWith(QStringLiteral("info: Undo stopped: cannot move ")) &&
                dialogs.shown[1].endsWith(QStringLiteral(". Run undo again to go on.")))
        << dialogs.shown[1].toStdString();
    EXPECT_EQ(dialogs.shown[2], QStringLiteral("yesAbort: Scan the affected systems now?"));
    EXPECT_EQ(availableGames(main), 0);
    EXPECT_FALSE(onlyRun().undone);
}

}  // namespace
}  // namespace quorvane
