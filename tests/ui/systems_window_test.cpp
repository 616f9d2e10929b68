#include <gtest/gtest.h>
#include <QAction>
#include <QListWidget>
#include <QMenu>

#include "window_fixture.h"

namespace quorvane {
namespace {

using testing::itemTexts;

QAction* choice(SystemsWindow& window, const std::string& system, const char* menu, const QString& caption) {
    for (QAction* action : window.menuFor(system)->findChild<QMenu*>(QLatin1String(menu))->actions())
        if (action->text() == caption) return action;
    ADD_FAILURE() << "no choice " << caption.toStdString();
    static QAction none;
    return &none;
}

QString checkedChoice(SystemsWindow& window, const std::string& system, const char* menu) {
    for (QAction* action : window.menuFor(system)->findChild<QMenu*>(QLatin1String(menu))->actions())
        if (action->isChecked()) return action->text();
    return {};
}

class SystemsWindowTest : public testing::WindowTest {
protected:
    Settings reloaded() const { return loadSettings(programFoldersIn(home.path())); }
};

// The menus write the system's own values to the settings file, the list
// shows them after the name, and "Default" puts the system back on the global one.
TEST_F(SystemsWindowTest, ContextMenuSetsShowsAndClearsASystemsOwnValues) {
    settings.output = ArchiveOutput::SevenZip;
    settings.mergeMode = MergeMode::Merged;
    SystemsWindow window(settings);
    window.setSystems({"A", "B"}, QStringLiteral("Total sets: 2"));
    EXPECT_EQ(checkedChoice(window, "B", "outputMenu"), QStringLiteral("Default (7z)"));
    EXPECT_EQ(checkedChoice(window, "B", "mergeModeMenu"), QStringLiteral("Default (merged)"));

    choice(window, "B", "outputMenu", QStringLiteral("TorrentZip"))->trigger();
    EXPECT_EQ(itemTexts(window.list()), (QStringList{"A", "B \u2014 TorrentZip"}));
    choice(window, "B", "mergeModeMenu", QStringLiteral("full non-merged"))->trigger();
    EXPECT_EQ(itemTexts(window.list()), (QStringList{"A", "B \u2014 TorrentZip, full non-merged"}));
    EXPECT_EQ(reloaded().outputFor("B"), ArchiveOutput::TorrentZip);
    EXPECT_EQ(reloaded().mergeModeFor("B"), MergeMode::FullNonMerged);
    EXPECT_EQ(checkedChoice(window, "B", "outputMenu"), QStringLiteral("TorrentZip"));
    EXPECT_EQ(checkedChoice(window, "B", "mergeModeMenu"), QStringLiteral("full non-merged"));
    EXPECT_EQ(checkedChoice(window, "A", "outputMenu"), QStringLiteral("Default (7z)"));
    EXPECT_EQ(checkedChoice(window, "A", "mergeModeMenu"), QStringLiteral("Default (merged)"));
    // The name, not the caption, is what the other windows are handed.
    window.list()->item(1)->setSelected(true);
    EXPECT_EQ(window.selectedSystem(), "B");
    EXPECT_EQ(window.shownSystems(), (std::vector<std::string>{"A", "B"}));

    choice(window, "B", "outputMenu", QStringLiteral("Default (7z)"))->trigger();
    EXPECT_EQ(itemTexts(window.list()), (QStringList{"A", "B \u2014 full non-merged"}));
    choice(window, "B", "mergeModeMenu", QStringLiteral("Default (merged)"))->trigger();
    EXPECT_EQ(itemTexts(window.list()), (QStringList{"A", "B"}));
    EXPECT_TRUE(reloaded().systemOutput.empty() && reloaded().systemMergeMode.empty());
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST_F(SystemsWindowTest, ListShowsOwnValuesFromTheFileAndAFailedWriteIsToldOf) {
    testing::writeFile(settings.settingsPath, "[system a]\noutput=zip\n[System B]\nmerge-mode=non-merged\n");
    settings = reloaded();
    SystemsWindow window(settings);
    window.setSystems({"A", "B"}, QStringLiteral("Total sets: 2"));
    EXPECT_EQ(itemTexts(window.list()), (QStringList{"A \u2014 zip", "B \u2014 non-merged"}));

    testing::writeFile(home.file("blocker"), "a regular file");
    settings.settingsPath = home.file("blocker") + "/quorvane.INI";
    choice(window, "B", "outputMenu", QStringLiteral("7z"))->trigger();
    EXPECT_EQ(dialogs.shown, QStringList{QString::fromStdString("info: Cannot write the settings file " +
                                                                settings.settingsPath + ".")});
    EXPECT_EQ(itemTexts(window.list()),
              (QStringList{"A \u2014 zip", "B \u2014 7z, non-merged"}));  // holds for this run
}

}  // namespace
}  // namespace quorvane
