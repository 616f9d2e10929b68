#include <QTreeWidget>

#include "window_fixture.h"

namespace quorvane {
namespace {

using testing::itemTexts;

class MainWindowTest : public testing::WindowTest {};

TEST_F(MainWindowTest, ViewActionsShowTheirSetsAndGames) {
    fill("roms");
    MainWindow main(settings);
    const MainWindow::Actions& a = main.actions();
    main.refreshSystems();
    main.showSystemGames("Sys");
    const struct {
        QAction* action;
        QWidget& window;
        const char* title;
        QStringList items;  // of a games list; empty: not checked
    } views[] = {
        {a.completeSets, main.systemsWindow(), "Complete sets: 0", {}},
        {a.incompleteSets, main.systemsWindow(), "Incomplete sets: 1", {}},
        {a.incompleteGames, main.gamesWindow(), "Sys (1.0): 2 incomplete games", {"partial", "present"}},
        {a.missingGames, main.gamesWindow(), "Sys (1.0): 1 missing games", {"missing"}},
        {a.allGames, main.gamesWindow(), "Sys (1.0): 4 games total", {"complete", "missing", "partial", "present"}},
    };
    for (const auto& view : views) {
        view.action->trigger();
        EXPECT_EQ(view.window.windowTitle(), QString::fromUtf8(view.title));
        if (!view.items.isEmpty()) {
            EXPECT_EQ(itemTexts(main.gamesWindow().list()), view.items) << view.title;
        }
    }
    emit main.gamesWindow().gameClicked(2);  // "partial": have, missing
    QTreeWidget* roms = main.gameRomsWindow().list();
    EXPECT_EQ(main.gameRomsWindow().windowTitle(), QStringLiteral("Game: partial"));
    ASSERT_EQ(roms->topLevelItemCount(), 2);
    EXPECT_EQ(roms->topLevelItem(1)->text(1), QStringLiteral("00000004"));
    EXPECT_EQ(roms->topLevelItem(1)->data(0, Qt::UserRole).toInt(), 1);  // missing
    a.availableGames->trigger();  // replacing the romset empties the game ROMs window
    EXPECT_EQ(roms->topLevelItemCount(), 0);
}

// A BIOS set is listed with its kind and the game on it with its BIOS's
// state; the toggle hides and shows such sets in whichever view is shown.
TEST_F(MainWindowTest, BiosToggleHidesAndShowsBiosSetsInTheShownView) {
    fill("roms");
    {
        Catalogue db(settings.databasesDir + "roms");
        ASSERT_TRUE(db.addGameFacts("Sys", "1.0", "", {"bios", SetKind::Bios, "", ""}));
        ASSERT_TRUE(db.addGameFacts("Sys", "1.0", "", {"partial", SetKind::Game, "", "bios"}));
        testing::addRows(db, {testing::romRow("Sys", "bios", "00000009", "b.bin", "1", RomStatus::Missing, "1.0")});
    }
    MainWindow main(settings);
    const MainWindow::Actions& a = main.actions();
    main.refreshSystems();
    main.showSystemGames("Sys");
    EXPECT_EQ(itemTexts(main.gamesWindow().list()),
              (QStringList{"bios (BIOS)", "complete", "missing", "partial (BIOS bios incomplete)", "present"}));
    a.showBiosSets->trigger();
    EXPECT_FALSE(a.showBiosSets->isChecked());
    EXPECT_EQ(main.gamesWindow().windowTitle(), QStringLiteral("Sys (1.0): 4 games total"));
    EXPECT_EQ(itemTexts(main.gamesWindow().list()),
              (QStringList{"complete", "missing", "partial (BIOS bios incomplete)", "present"}));
    a.missingGames->trigger();
    EXPECT_EQ(itemTexts(main.gamesWindow().list()), (QStringList{"missing"}));
    a.showBiosSets->trigger();
    EXPECT_EQ(itemTexts(main.gamesWindow().list()), (QStringList{"bios (BIOS)", "missing"}));
    // A click names the game by its place in the list shown.
    emit main.gamesWindow().gameClicked(1);
    EXPECT_EQ(main.gameRomsWindow().windowTitle(), QStringLiteral("Game: missing"));
}

// The tool actions open their windows; the window actions toggle theirs,
// and showing the systems checks the action again.
TEST_F(MainWindowTest, WindowActionsOpenTheirWindows) {
    fill("roms");
    MainWindow main(settings);
    const MainWindow::Actions& a = main.actions();
    main.refreshSystems();
    ToolWindows& tools = main.toolWindows();
    const std::tuple<QAction*, QWidget*, bool> actions[] = {
        {a.customFiles, &tools.formats(), true},          {a.romIdentifier, &tools.identifier(), true},
        {a.multiZipper, &tools.fileZipper(), true},       {a.stats, &tools.stats(), true},
        {a.preferences, &main.preferencesWindow(), true}, {a.systemsWindow, &main.systemsWindow(), false},
        {a.allSets, &main.systemsWindow(), true},         {a.messagesWindow, &main.messagesWindow(), true},
        {a.messagesWindow, &main.messagesWindow(), false}};
    for (const auto& [action, window, visible] : actions) {
        action->trigger();
        EXPECT_EQ(window->isVisible(), visible) << action->text().toStdString();
        if (window == &main.systemsWindow()) {
            EXPECT_EQ(a.systemsWindow->isChecked(), visible);
        }
    }
    EXPECT_EQ(tools.formats().applyList()->count(), 1);  // the systems shown
}

// A category switch reloads the systems and names the category in the
// caption; what the games and ROMs windows showed belonged to the other
// category and goes.
TEST_F(MainWindowTest, CategorySwitchReloadsSystemsAndCaption) {
    fill("romsGood");
    settings.selectCategory(*categoryByDatabaseName("romsArcadeUnemu"));
    MainWindow main(settings);
    EXPECT_TRUE(dialogs.shown.isEmpty());  // a category without a database yet is no error
    main.refreshSystems();
    EXPECT_EQ(main.windowTitle(), QString::fromUtf8("Quorvane \u2014 Arcade Unemulated"));
    main.actions().categories[1]->trigger();
    EXPECT_EQ(main.windowTitle(), QString::fromUtf8("Quorvane \u2014 Good"));
    EXPECT_EQ(settings.currentdb, "romsGood");
    EXPECT_EQ(itemTexts(main.systemsWindow().list()), QStringList{"Sys"});
    main.showSystemGames("Sys");
    emit main.gamesWindow().gameClicked(0);
    main.actions().categories[5]->trigger();
    EXPECT_EQ(settings.currentdb, "romscustom");
    EXPECT_EQ(main.systemsWindow().list()->count() + main.gamesWindow().list()->count() +
                  main.gameRomsWindow().list()->topLevelItemCount(),
              0);
    EXPECT_EQ(main.gameRomsWindow().windowTitle(), QStringLiteral("Roms for:"));
    EXPECT_FALSE(main.currentRomset().has_value());
}

TEST_F(MainWindowTest, DeclinedDatabaseActionsStillEmptyTheLists) {
    fill("roms");
    MainWindow main(settings);
    main.refreshSystems();
    main.showSystemGames("Sys");
    dialogs.answers = {false, true};
    main.deleteDatabase();
    EXPECT_EQ(dialogs.shown.last(), QStringLiteral("yesAbort: Are you sure you want to delete the whole DB?"));
    EXPECT_EQ(main.systemsWindow().list()->count() + main.gamesWindow().list()->count(), 0);
    EXPECT_FALSE(main.currentRomset().has_value());
    main.actions().allSets->trigger();  // the database is untouched
    EXPECT_EQ(itemTexts(main.systemsWindow().list()), QStringList{"Sys"});

    main.cleanDatabase();
    main.showSystemGames("Sys");
    main.showGamesView(GamesView::Available);
    EXPECT_EQ(main.gamesWindow().windowTitle(), QStringLiteral("Sys: No games available"));
    main.systemsWindow().list()->item(0)->setSelected(true);
    main.deleteSelectedSystem();
    EXPECT_EQ(main.systemsWindow().windowTitle(), QStringLiteral("Total sets: 0"));
}

TEST_F(MainWindowTest, ADamagedCatalogueIsNamedAtOpeningAndRepairedOnYes) {
    fill("roms");
    // The system index's root block loses its kind byte.
    const std::string index = settings.databasesDir + "roms_sys.idx";
    std::string bytes = testing::readFile(index);
    ASSERT_GT(bytes.size(), 4096u);
    bytes[0] = static_cast<char>(0x7F);
    testing::writeFile(index, bytes);
    dialogs.answers = {true};
    MainWindow main(settings);
    ASSERT_GE(dialogs.shown.size(), 2);
    EXPECT_TRUE(dialogs.shown[0].startsWith(
        QStringLiteral("yesAbort: The catalogue is damaged. Repair it now? A copy of the damaged files is kept in ")))
        << dialogs.shown[0].toStdString();
    EXPECT_TRUE(dialogs.shown[1].startsWith(QStringLiteral("info: "))) << dialogs.shown[1].toStdString();
    // Every row came back, statuses included.
    main.showSystemGames("Sys");
    main.showGamesView(GamesView::Incomplete);
    EXPECT_EQ(itemTexts(main.gamesWindow().list()), (QStringList{"partial", "present"}));
}

}  // namespace
}  // namespace quorvane
