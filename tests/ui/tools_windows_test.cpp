#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include "tools/file_formats.h"
#include "window_fixture.h"

namespace quorvane {
namespace {

using testing::waitForJob;

class ToolWindowsTest : public testing::WindowTest {};

// A second job while the scan runs is refused: the first one's questions
// wait for this thread.
TEST_F(ToolWindowsTest, ScanOfTheSelectedSystem) {
    makeCollection();
    MainWindow main(settings);
    onFirstSystem(main, main.actions().scanSelected, 2);
    EXPECT_TRUE(dialogs.shown.contains(QStringLiteral("info: Another job is still running.")));
    EXPECT_TRUE(dialogs.shown.contains(QStringLiteral("info: Romset Sys has been scanned.")))
        << dialogs.shown.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(main.gamesWindow().windowTitle(), QStringLiteral("Sys (1): 2 games total"));
    main.showGamesView(GamesView::Available);
    EXPECT_EQ(main.gamesWindow().list()->count(), 1);
    // The job's summary, in the messages window.
    const QString log = main.messagesWindow().logText();
    EXPECT_TRUE(log.contains(QStringLiteral("Summary of Sys (")) &&
                log.contains(QStringLiteral("  Games: 1 complete, 0 incomplete, 1 missing")))
        << log.toStdString();
}

// The collection moved, and its new folder saved in the preferences: the
// next scan reads the new folder, without waiting for a category switch.
// The settings file cannot be written (its folder is a file): the person is
// told, and the values still hold for this run.
TEST_F(ToolWindowsTest, FolderSavedInPreferencesIsTheOneTheNextScanReadsThoughTheFileCannotBeWritten) {
    makeCollection();
    const std::string oldFolder = resolveBaseDir(settings, settings.tosecdir), newFolder = home.file("moved/Tosec");
    ASSERT_EQ(testing::runShell("mkdir -p " + home.file("moved") + " && mv " + oldFolder + " " + newFolder), 0);
    testing::writeFile(home.file("blocker"), "a file, not a folder");
    settings.settingsPath = home.file("blocker/quorvane.INI");
    MainWindow main(settings);
    PreferencesDialog& prefs = main.preferencesWindow();
    prefs.show();
    prefs.edit("tosecFolderEdit")->setText(QString::fromStdString(newFolder));
    prefs.save();
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_TRUE(dialogs.shown[0].startsWith(QStringLiteral("info: Cannot write the settings file ")))
        << dialogs.shown[0].toStdString();
    EXPECT_EQ(settings.categoryDir, newFolder);
    onFirstSystem(main, main.actions().scanSelected);
    main.showGamesView(GamesView::Available);
    EXPECT_EQ(main.gamesWindow().list()->count(), 1);
    EXPECT_FALSE(pathExists(oldFolder)) << "the scan made the old folder again";
}

// Dropped files and files added with "Add files..." are identified alike and
// add to the list; the window names those that matched nothing until the
// list is cleared.
TEST_F(ToolWindowsTest, IdentifierListsHitsAndNamesTheUnmatched) {
    makeCollection();
    MainWindow main(settings);
    RomIdentifierWindow& identifier = main.toolWindows().identifier();
    identifier.open();
    QTableWidget* grid = identifier.grid();
    QPushButton* add = identifier.findChild<QPushButton*>(QStringLiteral("addFilesButton"));
    ASSERT_NE(add, nullptr);
    const std::string good = resolveSystemFolder(settings, "Sys") + "/good.zip";
    ASSERT_TRUE(identifier.identify({good}));
    waitForJob(main.jobs());
    ASSERT_EQ(grid->rowCount(), 1);
    EXPECT_EQ(grid->item(0, 3)->text(), QStringLiteral("good"));

    dialogs.files = {{QString::fromStdString(home.file("a.bin")), QString::fromStdString(good),
                      QString::fromStdString(home.file("absent.zip"))}};
    add->click();
    waitForJob(main.jobs());
    EXPECT_EQ(dialogs.shown.first(), QStringLiteral("openFileNames: Add files"));
    EXPECT_EQ(grid->rowCount(), 2);
    EXPECT_EQ(identifier.unmatchedLabel()->text(), QStringLiteral("No match: a.bin, absent.zip"));
    EXPECT_TRUE(identifier.unmatchedLabel()->isVisible());
    identifier.clearList();
    EXPECT_EQ(grid->rowCount() + grid->columnCount(), 0);
    EXPECT_FALSE(identifier.unmatchedLabel()->isVisible());
}

TEST_F(ToolWindowsTest, FormatSavedIsListedAndStatsFill) {
    MainWindow main(settings);
    ExportFormatsWindow& formats = main.toolWindows().formats();
    formats.open({"Sys"});
    formats.formats()->setEditText(QStringLiteral("newFormat"));
    formats.romMemo()->setPlainText(QStringLiteral("$ROMNAME$"));
    formats.saveFormat();
    EXPECT_EQ(listFormats(settings.settingsPath), std::vector<std::string>{"newFormat"});
    EXPECT_EQ(formats.formats()->count(), 1);
    formats.romMemo()->clear();
    EXPECT_FALSE(formats.createFile(QString::fromStdString(home.file("out.txt"))));
    EXPECT_EQ(dialogs.shown.last(), QStringLiteral("info: Error: no valid format"));

    StatsWindow& stats = main.toolWindows().stats();
    stats.open();
    EXPECT_EQ(stats.databaseBox()->text(), QStringLiteral("roms"));
    EXPECT_EQ(stats.valueLabel(14)->text(), QStringLiteral("unknown"));
    stats.refresh();
    waitForJob(main.jobs());
    EXPECT_EQ(stats.valueLabel(14)->text(), QStringLiteral("0"));
}

TEST_F(ToolWindowsTest, MultiZipperZipsTheCollectedFiles) {
    MainWindow main(settings);
    testing::writeFile(home.file("zipme/a.bin"), "aaa");
    testing::writeFile(home.file("zipme/sub/b.rom"), "bbb");
    ZipQueueWindow& scan = main.toolWindows().zipScan();
    main.toolWindows().fileZipper().addFilesToZip(QString::fromStdString(home.file("zipme")));
    QCoreApplication::processEvents();
    EXPECT_EQ(scan.countLabel()->text(), QStringLiteral("2"));
    scan.start();
    scan.waitForEngine();
    QCoreApplication::processEvents();
    EXPECT_TRUE(isRegularFile(home.file("zipme/a.zip")) && isRegularFile(home.file("zipme/sub/b.zip")));
    EXPECT_EQ(scan.countLabel()->text(), QStringLiteral("0"));
    EXPECT_TRUE(scan.startButton()->isEnabled());
}

TEST_F(ToolWindowsTest, AFolderChosenForImportIsImportedWithItsSubfolders) {
    testing::writeFile(home.file("dats/one/A.dat"),
                       "clrmamepro (\n\tname A\n)\ngame (\n\tname a\n\trom ( name a size 1 crc 1 )\n)\n");
    testing::writeFile(home.file("dats/two/deeper/B.xml"),
                       "<datafile><header><name>B</name></header><game name=\"b\"><rom name=\"b\" size=\"1\" "
                       "crc=\"2\"/></game></datafile>");
    MainWindow main(settings);
    dialogs.files.push_back({QString::fromStdString(home.file("dats"))});
    main.actions().importDatFolder->trigger();
    waitForJob(main.jobs());
    EXPECT_EQ(dialogs.shown, (QStringList{"existingFolder: Import every .dat file in a folder",
                                          "info: Import completed: 2 files imported, 0 failed."}));
    main.refreshSystems();
    EXPECT_EQ(testing::itemTexts(main.systemsWindow().list()), (QStringList{"A", "B"}));
}

}  // namespace
}  // namespace quorvane
