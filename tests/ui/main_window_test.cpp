#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "catalogue/roms_db.h"
#include "core/file_util.h"
#include "support/temp_dir.h"
#include "test_dialogs.h"
#include "ui/game_roms_window.h"
#include "ui/games_window.h"
#include "ui/main_window.h"
#include "ui/systems_window.h"

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

TEST_F(MainWindowTest, EveryActionHasItsCaptionAndHint) {
    MainWindow main(settings);
    const std::vector<std::tuple<const char*, const char*, const char*>> expected = {
        {"ImportDat", "Import .dat files", "Import dat files"},
        {"Preferences", "Preferences", "Preferences"},
        {"ErrorWindow", "Messages window", "Show messages window"},
        {"showSysWindow", "Systems window", "Show Systems window"},
        {"showgameswindow", "Games window", "Show games window"},
        {"arrangewindows", "Arrange windows", "Arrange Systems and Games windows"},
        {"viewallsets", "View all sets", "View all sets from current DB"},
        {"incompletesets", "View only incomplete sets", "View incomplete sets from current DB"},
        {"Action1", "View only complete sets", ""},
        {"allroms", "View all roms for selected set", "View all roms from current set"},
        {"incomplete", "View incomplete games for selected set", "View incomplete games from current set"},
        {"missing", "View missing games for selected set", "View missing games from current set"},
        {"available", "View available games for selected set", "View available games from current set"},
        {"scansys", "Scan selected system", "Scan selected system"},
        {"fixsys", "Fix selected system", "Fix selected system"},
        {"scanall", "Scan all systems", "Scan all systems in current DB"},
        {"fixall", "Fix all systems", "Fix all systems in current DB"},
        {"rebuildall", "Rebuild all", "Rebuild to current DB (all systems)"},
        {"Tosec", "Tosec", "Set current DB: Tosec"},
        {"Good", "Good", "Set current DB: Good"},
        {"Arcade", "Arcade", "Set current DB: Arcade"},
        {"ArcadeUnemu", "Arcade Unemulated", "Set current DB: Arcade Unemulated"},
        {"Miscellaneous", "Miscellaneous", "Set current DB: Miscellaneous"},
        {"Custom", "Custom", "Set current DB: Custom"},
        {"deleteDB", "Delete/Initialize DB", "Delete selected DB"},
        {"cleanDB", "Clean DB have/miss status", "Clean Have/Miss status for this DB"},
        {"checkDB", "Check DB", "Verify every file of the current DB and repair it when damaged"},
        {"deleteSystem", "Delete Selected System", "Delete selected system from DB"},
        {"CreateMissHave", "Create Miss/Have file", "Create Miss/have files for current set"},
        {"CreateMissHaveALL", "Create Miss/Have files for displayed sets",
         "Create Miss/Have files for romsets in systems window"},
        {"CustomFiles", "Create Custom Files", "Create custom files"},
        {"Romidentifier", "Rom identifier", "Start Rom Identifier Application"},
        {"multizipper", "Multi-zipper", "Start multi-zipper application"},
        {"Stats", "Stats", "Display stats window for current DB"},
        {"About", "About...", ""},
    };
    for (const auto& [name, caption, hint] : expected) {
        QAction* a = main.action(QString::fromLatin1(name));
        ASSERT_NE(a, nullptr) << name;
        EXPECT_EQ(a->text().count(QLatin1Char('&')), 1) << name;
        EXPECT_EQ(a->text().remove(QLatin1Char('&')).toStdString(), caption);
        EXPECT_EQ(a->statusTip().toStdString(), hint) << name;
    }
    EXPECT_EQ(main.windowTitle(), QStringLiteral("Quorvane"));
    EXPECT_EQ(main.allActions().size(), static_cast<qsizetype>(expected.size()));
}

TEST_F(MainWindowTest, GamesViewsCaptionsAndIcons) {
    fill("roms");
    MainWindow main(settings);
    main.refreshSystems();
    EXPECT_EQ(main.systemsWindow().windowTitle(), QStringLiteral("Total sets: 1"));
    main.showGamesView(GamesView::Missing);  // before any system: nothing happens
    EXPECT_FALSE(main.currentRomset().has_value());

    main.showSystemGames("Sys");
    GamesWindow& games = main.gamesWindow();
    EXPECT_EQ(games.windowTitle(), QStringLiteral("Sys (1.0): 4 games total"));
    EXPECT_EQ(itemTexts(games.list()), (QStringList{"complete", "missing", "partial", "present"}));
    main.showGamesView(GamesView::Incomplete);
    EXPECT_EQ(games.windowTitle(), QStringLiteral("Sys (1.0): 2 incomplete games"));
    EXPECT_EQ(itemTexts(games.list()), (QStringList{"partial", "present"}));
    main.showGamesView(GamesView::Available);
    EXPECT_EQ(games.windowTitle(), QStringLiteral("Sys (1.0): 1 games available"));
    main.showGamesView(GamesView::Missing);
    EXPECT_EQ(games.windowTitle(), QStringLiteral("Sys (1.0): 1 missing games"));

    main.showSystemGames("Sys");
    emit games.gameClicked(2);  // "partial": have, missing
    QTreeWidget* roms = main.gameRomsWindow().list();
    EXPECT_EQ(main.gameRomsWindow().windowTitle(), QStringLiteral("Game: partial"));
    ASSERT_EQ(roms->topLevelItemCount(), 2);
    EXPECT_EQ(roms->topLevelItem(0)->text(1), QStringLiteral("00000003"));
    EXPECT_EQ(roms->topLevelItem(0)->data(0, Qt::UserRole).toInt(), 0);
    EXPECT_EQ(roms->topLevelItem(1)->data(0, Qt::UserRole).toInt(), 1);

    // Replacing the romset empties the game ROMs window.
    main.showGamesView(GamesView::Available);
    EXPECT_EQ(roms->topLevelItemCount(), 0);
}

TEST_F(MainWindowTest, CategorySwitchReloadsSystems) {
    fill("romsGood");
    MainWindow main(settings);
    EXPECT_TRUE(dialogs.shown.isEmpty());  // a category without a database yet is no error
    main.refreshSystems();
    EXPECT_EQ(main.systemsWindow().list()->count(), 0);
    main.action("Good")->trigger();
    EXPECT_EQ(settings.currentdb, "romsGood");
    EXPECT_EQ(itemTexts(main.systemsWindow().list()), QStringList{"Sys"});
    main.action("Tosec")->trigger();
    EXPECT_EQ(main.systemsWindow().windowTitle(), QStringLiteral("Total sets: 0"));
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
    main.action("viewallsets")->trigger();  // the database is untouched
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
