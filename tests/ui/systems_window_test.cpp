#include <gtest/gtest.h>
#include <QAction>
#include <QListWidget>
#include <QMenu>

#include "core/settings.h"
#include "support/temp_dir.h"
#include "test_dialogs.h"
#include "ui/systems_window.h"

namespace quorvane {
namespace {

QStringList itemTexts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

QAction* outputChoice(SystemsWindow& window, const std::string& system, const QString& caption) {
    for (QAction* action : window.menuFor(system)->findChild<QMenu*>(QStringLiteral("outputMenu"))->actions())
        if (action->text() == caption) return action;
    ADD_FAILURE() << "no choice " << caption.toStdString();
    static QAction none;
    return &none;
}

QString checkedChoice(SystemsWindow& window, const std::string& system) {
    for (QAction* action : window.menuFor(system)->findChild<QMenu*>(QStringLiteral("outputMenu"))->actions())
        if (action->isChecked()) return action->text();
    return {};
}

class SystemsWindowTest : public ::testing::Test {
protected:
    testing::TempDir home;
    testing::TestDialogs dialogs;
    Settings settings = loadSettings(programFoldersIn(home.path()));
    Settings reloaded() const { return loadSettings(programFoldersIn(home.path())); }
};

// The menu writes the system's own output to the settings file, the list
// shows it after the name, and "Default" puts the system back on the global one.
TEST_F(SystemsWindowTest, ContextMenuSetsShowsAndClearsASystemsOutput) {
    settings.output = ArchiveOutput::SevenZip;
    SystemsWindow window(settings);
    window.setSystems({"A", "B"}, QStringLiteral("Total sets: 2"));
    EXPECT_EQ(checkedChoice(window, "B"), QStringLiteral("Default (7z)"));

    outputChoice(window, "B", QStringLiteral("TorrentZip"))->trigger();
    EXPECT_EQ(itemTexts(window.list()), (QStringList{"A", "B \u2014 TorrentZip"}));
    EXPECT_EQ(reloaded().outputFor("B"), ArchiveOutput::TorrentZip);
    EXPECT_EQ(checkedChoice(window, "B"), QStringLiteral("TorrentZip"));
    EXPECT_EQ(checkedChoice(window, "A"), QStringLiteral("Default (7z)"));
    // The name, not the caption, is what the other windows are handed.
    window.list()->item(1)->setSelected(true);
    EXPECT_EQ(window.selectedSystem(), "B");
    EXPECT_EQ(window.shownSystems(), (std::vector<std::string>{"A", "B"}));

    outputChoice(window, "B", QStringLiteral("Default (7z)"))->trigger();
    EXPECT_EQ(itemTexts(window.list()), (QStringList{"A", "B"}));
    EXPECT_TRUE(reloaded().systemOutput.empty());
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST_F(SystemsWindowTest, ListShowsOwnValuesFromTheFileAndAFailedWriteIsToldOf) {
    testing::writeFile(settings.settingsPath, "[system a]\noutput=zip\n");
    settings = reloaded();
    SystemsWindow window(settings);
    window.setSystems({"A", "B"}, QStringLiteral("Total sets: 2"));
    EXPECT_EQ(itemTexts(window.list()), (QStringList{"A \u2014 zip", "B"}));

    testing::writeFile(home.file("blocker"), "a regular file");
    settings.settingsPath = home.file("blocker") + "/quorvane.INI";
    outputChoice(window, "B", QStringLiteral("7z"))->trigger();
    EXPECT_EQ(dialogs.shown, QStringList{QString::fromStdString("info: Cannot write the settings file " +
                                                                settings.settingsPath + ".")});
    EXPECT_EQ(itemTexts(window.list()), (QStringList{"A \u2014 zip", "B \u2014 7z"}));  // holds for this run
}

}  // namespace
}  // namespace quorvane
