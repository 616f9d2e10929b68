#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QRegularExpression>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "core/file_util.h"
#include "support/temp_dir.h"
#include "test_dialogs.h"
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

namespace quorvane {
namespace {

using testing::TempDir;
using testing::TestDialogs;

QStringList itemTexts(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

class MainWindowTest : public ::testing::Test {
protected:
    TempDir home;
    Settings settings = loadSettings(programFoldersIn(home.path()));
    TestDialogs dialogs;

    void fill(const std::string& databaseName) {
        ASSERT_TRUE(makeFolders(settings.databasesDir));
        Catalogue db(settings.databasesDir + databaseName);
        ASSERT_TRUE(db.addRom({.system = "Sys",
                               .game = "complete",
                               .crc = "00000001",
                               .romName = "c.bin",
                               .size = "1",
                               .version = "1.0",
                               .author = "me"}));
        ASSERT_TRUE(db.addRom({.system = "Sys",
                               .game = "missing",
                               .crc = "00000002",
                               .romName = "m.bin",
                               .size = "1",
                               .version = "1.0",
                               .author = "me"}));
        ASSERT_TRUE(db.addRom({.system = "Sys",
                               .game = "partial",
                               .crc = "00000003",
                               .romName = "p1.bin",
                               .size = "1",
                               .version = "1.0",
                               .author = "me"}));
        ASSERT_TRUE(db.addRom({.system = "Sys",
                               .game = "partial",
                               .crc = "00000004",
                               .romName = "p2.bin",
                               .size = "1",
                               .version = "1.0",
                               .author = "me"}));
        ASSERT_TRUE(db.addRom({.system = "Sys",
                               .game = "present",
                               .crc = "00000005",
                               .romName = "x.bin",
                               .size = "1",
                               .version = "1.0",
                               .author = "me"}));
        db.setHave("00000001", "1", "c.bin", "complete", "Sys");
        db.setHave("00000003", "1", "p1.bin", "partial", "Sys");
        db.setPresent("00000005", "1", "x.bin", "present", "Sys");
    }
};

TEST_F(MainWindowTest, ViewActionsShowTheirSetsAndGames) {
    fill("roms");
    MainWindow main(settings);
    const MainWindow::Actions& a = main.actions();
    main.refreshSystems();
    EXPECT_EQ(main.systemsWindow().windowTitle(), QStringLiteral("Total sets: 1"));
    a.completeSets->trigger();
    EXPECT_EQ(main.systemsWindow().windowTitle(), QStringLiteral("Complete sets: 0"));
    a.incompleteSets->trigger();
    EXPECT_EQ(main.systemsWindow().windowTitle(), QStringLiteral("Incomplete sets: 1"));
    a.missingGames->trigger();  // before any system: nothing happens
    EXPECT_FALSE(main.currentRomset().has_value());

    main.showSystemGames("Sys");
    GamesWindow& games = main.gamesWindow();
    EXPECT_EQ(games.windowTitle(), QStringLiteral("Sys (1.0): 4 games total"));
    EXPECT_EQ(itemTexts(games.list()), (QStringList{"complete", "missing", "partial", "present"}));
    a.incompleteGames->trigger();
    EXPECT_EQ(games.windowTitle(), QStringLiteral("Sys (1.0): 2 incomplete games"));
    EXPECT_EQ(itemTexts(games.list()), (QStringList{"partial", "present"}));
    a.availableGames->trigger();
    EXPECT_EQ(games.windowTitle(), QStringLiteral("Sys (1.0): 1 games available"));
    a.missingGames->trigger();
    EXPECT_EQ(games.windowTitle(), QStringLiteral("Sys (1.0): 1 missing games"));
    a.allGames->trigger();
    EXPECT_EQ(games.windowTitle(), QStringLiteral("Sys (1.0): 4 games total"));

    emit games.gameClicked(2);  // "partial": have, missing
    QTreeWidget* roms = main.gameRomsWindow().list();
    EXPECT_EQ(main.gameRomsWindow().windowTitle(), QStringLiteral("Game: partial"));
    ASSERT_EQ(roms->topLevelItemCount(), 2);
    EXPECT_EQ(roms->topLevelItem(0)->text(1), QStringLiteral("00000003"));
    EXPECT_EQ(roms->topLevelItem(0)->data(0, Qt::UserRole).toInt(), 0);
    EXPECT_EQ(roms->topLevelItem(1)->data(0, Qt::UserRole).toInt(), 1);

    // Replacing the romset empties the game ROMs window.
    a.availableGames->trigger();
    EXPECT_EQ(roms->topLevelItemCount(), 0);
}

TEST_F(MainWindowTest, WindowActionsOpenTheirWindows) {
    fill("roms");
    MainWindow main(settings);
    const MainWindow::Actions& a = main.actions();
    main.refreshSystems();
    ToolWindows& tools = main.toolWindows();
    a.customFiles->trigger();
    EXPECT_TRUE(tools.formats().isVisible());
    EXPECT_EQ(tools.formats().applyList()->count(), 1);  // the systems shown
    a.romIdentifier->trigger();
    EXPECT_TRUE(tools.identifier().isVisible());
    a.multiZipper->trigger();
    EXPECT_TRUE(tools.fileZipper().isVisible());
    a.stats->trigger();
    EXPECT_TRUE(tools.stats().isVisible());
    a.preferences->trigger();
    EXPECT_TRUE(main.preferencesWindow().isVisible());

    ASSERT_TRUE(main.systemsWindow().isVisible());
    a.systemsWindow->trigger();
    EXPECT_FALSE(main.systemsWindow().isVisible());
    EXPECT_FALSE(a.systemsWindow->isChecked());
    a.allSets->trigger();  // showing the systems checks the action again
    EXPECT_TRUE(main.systemsWindow().isVisible());
    EXPECT_TRUE(a.systemsWindow->isChecked());
    a.messagesWindow->trigger();
    EXPECT_TRUE(main.messagesWindow().isVisible());
    a.messagesWindow->trigger();
    EXPECT_FALSE(main.messagesWindow().isVisible());
}

TEST_F(MainWindowTest, CategorySwitchReloadsSystems) {
    fill("romsGood");
    MainWindow main(settings);
    EXPECT_TRUE(dialogs.shown.isEmpty());  // a category without a database yet is no error
    main.refreshSystems();
    EXPECT_EQ(main.systemsWindow().list()->count(), 0);
    main.actions().categories[1]->trigger();  // Good
    EXPECT_EQ(settings.currentdb, "romsGood");
    EXPECT_EQ(itemTexts(main.systemsWindow().list()), QStringList{"Sys"});
    main.actions().categories[0]->trigger();  // Tosec
    EXPECT_EQ(main.systemsWindow().windowTitle(), QStringLiteral("Total sets: 0"));
}

QStringList checkedCategories(const MainWindow& main) {
    QStringList out;
    for (QAction* a : main.actions().categories)
        if (a->isChecked()) out << a->iconText();
    return out;
}

TEST_F(MainWindowTest, CurrentCategoryIsInTheCaptionAndCheckedInTheMenu) {
    fill("roms");
    settings.selectCategory(*categoryByDatabaseName("romsArcadeUnemu"));
    MainWindow main(settings);
    EXPECT_EQ(main.windowTitle(), QString::fromUtf8("Quorvane \u2014 Arcade Unemulated"));
    EXPECT_EQ(checkedCategories(main), QStringList{"Arcade Unemulated"});

    main.actions().categories[0]->trigger();
    EXPECT_EQ(main.windowTitle(), QString::fromUtf8("Quorvane \u2014 Tosec"));
    EXPECT_EQ(checkedCategories(main), QStringList{"Tosec"});

    // What the games and ROMs windows showed belonged to the other category.
    main.showSystemGames("Sys");
    emit main.gamesWindow().gameClicked(0);
    ASSERT_EQ(main.gameRomsWindow().list()->topLevelItemCount(), 1);
    main.actions().categories[5]->trigger();
    EXPECT_EQ(main.windowTitle(), QString::fromUtf8("Quorvane \u2014 Custom"));
    EXPECT_EQ(checkedCategories(main), QStringList{"Custom"});
    EXPECT_EQ(main.gamesWindow().list()->count(), 0);
    EXPECT_TRUE(main.gamesWindow().windowTitle().isEmpty());
    EXPECT_EQ(main.gameRomsWindow().list()->topLevelItemCount(), 0);
    EXPECT_EQ(main.gameRomsWindow().windowTitle(), QStringLiteral("Roms for:"));
    EXPECT_FALSE(main.currentRomset().has_value());
}

// Every window's caption is words a person reads, not a class or object
// name ("FileZipper", "ScanWindow", "FormDupeList").
TEST_F(MainWindowTest, EveryWindowIsCaptionedForPeople) {
    fill("roms");
    MainWindow main(settings);
    main.refreshSystems();
    const QRegularExpression internalName(QStringLiteral("^([A-Z][a-z0-9]+){2,}$|^[a-z]+[A-Z]\\w*$"));
    int windows = 0;
    for (QWidget* w : main.findChildren<QWidget*>()) {
        if (!w->isWindow() || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip) continue;
        ++windows;
        const QString title = w->windowTitle();
        EXPECT_FALSE(title.isEmpty()) << w->metaObject()->className();
        EXPECT_FALSE(internalName.match(title).hasMatch())
            << w->metaObject()->className() << ": " << title.toStdString();
    }
    EXPECT_GE(windows, 14);
    EXPECT_EQ(main.toolWindows().fileZipper().windowTitle(), QStringLiteral("Multi-zipper"));
    EXPECT_EQ(main.toolWindows().zipScan().windowTitle(), QStringLiteral("Zip queue"));
}

TEST_F(MainWindowTest, DeclinedDatabaseActionsStillEmptyTheLists) {
    fill("roms");
    MainWindow main(settings);
    main.refreshSystems();
    main.showSystemGames("Sys");
    dialogs.answers = {false};
    main.deleteDatabase();
    EXPECT_EQ(dialogs.shown.last(), QStringLiteral("yesAbort: Are you sure you want to delete the whole DB?"));
    EXPECT_EQ(main.systemsWindow().list()->count(), 0);
    EXPECT_EQ(main.gamesWindow().list()->count(), 0);
    EXPECT_TRUE(main.gamesWindow().windowTitle().isEmpty());
    EXPECT_FALSE(main.currentRomset().has_value());
    main.actions().allSets->trigger();  // the database is untouched
    EXPECT_EQ(itemTexts(main.systemsWindow().list()), QStringList{"Sys"});

    dialogs.answers = {true};
    main.cleanDatabase();
    main.showSystemGames("Sys");
    main.showGamesView(GamesView::Available);
    EXPECT_EQ(main.gamesWindow().windowTitle(), QStringLiteral("Sys: No games available"));

    main.deleteSelectedSystem();  // nothing selected: nothing happens
    EXPECT_EQ(main.systemsWindow().list()->count(), 1);
    main.systemsWindow().list()->item(0)->setSelected(true);
    main.deleteSelectedSystem();
    EXPECT_EQ(main.systemsWindow().windowTitle(), QStringLiteral("Total sets: 0"));
}

TEST_F(MainWindowTest, ADamagedCatalogueIsNamedAtOpeningAndRepairedOnYes) {
    fill("roms");
    {
        MainWindow main(settings);
        EXPECT_TRUE(dialogs.shown.isEmpty());
        main.checkDatabase();
        EXPECT_TRUE(dialogs.shown.last().endsWith(QStringLiteral("No damage found."))) << dialogs.shown.last().toStdString();
    }
    // The system index's root block loses its kind byte.
    const std::string index = settings.databasesDir + "roms_sys.idx";
    std::string bytes = testing::readFile(index);
    ASSERT_GT(bytes.size(), 4096u);
    bytes[0] = static_cast<char>(0x7F);
    testing::writeFile(index, bytes);

    dialogs.shown.clear();
    dialogs.answers = {true};
    MainWindow main(settings);
    ASSERT_GE(dialogs.shown.size(), 2);
    EXPECT_TRUE(dialogs.shown[0].startsWith(QStringLiteral(
        "yesAbort: The catalogue is damaged. Repair it now? A copy of the damaged files is kept in ")))
        << dialogs.shown[0].toStdString();
    EXPECT_TRUE(dialogs.shown[1].startsWith(QStringLiteral("info: "))) << dialogs.shown[1].toStdString();
    // Every row came back, statuses included.
    EXPECT_EQ(itemTexts(main.systemsWindow().list()), QStringList{"Sys"});
    main.showSystemGames("Sys");
    main.showGamesView(GamesView::Incomplete);
    EXPECT_EQ(itemTexts(main.gamesWindow().list()), (QStringList{"partial", "present"}));
    main.checkDatabase();
    EXPECT_TRUE(dialogs.shown.last().endsWith(QStringLiteral("No damage found."))) << dialogs.shown.last().toStdString();
}

}  // namespace
}  // namespace quorvane
