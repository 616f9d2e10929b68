#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <tuple>

#include "core/file_util.h"
#include "core/ini_file.h"
#include "support/temp_dir.h"
#include "ui/duplicates_dialog.h"
#include "ui/preferences_dialog.h"

namespace quorvane {
namespace {

TEST(DupeList, HandsBackEachChoiceWithSelectedGames) {
    DuplicatesDialog dialog;
    std::vector<RomMatch> matches = {RomMatch("a.bin", "g1", "S", "N", "", "", "", ""),
                                       RomMatch("a.bin", "g2", "S", "N", "", "", "", ""),
                                       RomMatch("b.bin", "g3", "S", "N", "", "", "", "")};
    for (int c = 0; c < 5; ++c) {
        std::optional<DupesAnswer> got;
        dialog.showDupes("a.bin", "/src/pack.zip", matches, [&](DupesAnswer a) { got = a; });
        EXPECT_EQ(dialog.fileName(), QStringLiteral("a.bin"));
        EXPECT_EQ(dialog.zipName(), QStringLiteral("/src/pack.zip"));
        ASSERT_EQ(dialog.romsList()->count(), 3);
        dialog.romsList()->item(0)->setSelected(true);
        dialog.romsList()->item(2)->setSelected(true);
        dialog.choice(static_cast<DupesChoice>(c))->setChecked(true);
        dialog.answer();
        ASSERT_TRUE(got.has_value());
        const auto fields = [](const DuplicatePolicy& p) {
            return std::tuple(p.askUser, p.onlySelected, p.onlyNameMatches, p.neverBuild);
        };
        EXPECT_EQ(fields(got->behaviour), fields(dupesBehaviourFor(static_cast<DupesChoice>(c))));
        if (static_cast<DupesChoice>(c) == DupesChoice::OnlySelected)
            EXPECT_EQ(got->selectedGames, (std::vector<std::string>{"g1", "g3"}));
        else
            EXPECT_TRUE(got->selectedGames.empty());
        EXPECT_FALSE(dialog.isVisible());
    }
    // Nothing selected: the behaviour alone.
    std::optional<DupesAnswer> got;
    dialog.showDupes("a.bin", "p.zip", matches, [&](DupesAnswer a) { got = a; });
    dialog.choice(DupesChoice::OnlySelected)->setChecked(true);
    dialog.answer();
    ASSERT_TRUE(got.has_value());
    EXPECT_TRUE(got->behaviour.onlySelected);
    EXPECT_TRUE(got->selectedGames.empty());
}

TEST(PreferencesWindow, ShowsPlaceholderSavesAndCancels) {
    testing::TempDir home;
    Settings settings = loadSettings(programFoldersIn(home.path()));
    PreferencesDialog prefs(settings);
    prefs.show();
    EXPECT_EQ(prefs.edit("tosecFolderEdit")->text().toStdString(), "$BASEDIR$/romsets/Tosec");
    EXPECT_EQ(prefs.defaultDb()->currentText(), QStringLiteral("Tosec"));

    prefs.edit("rebuildSourceEdit")->setText(QStringLiteral("/elsewhere"));
    prefs.md5()->setChecked(true);
    prefs.cancel();
    EXPECT_FALSE(pathExists(settings.settingsPath));
    EXPECT_FALSE(settings.useMD5);
    prefs.show();
    EXPECT_EQ(prefs.edit("rebuildSourceEdit")->text().toStdString(), "$BASEDIR$/sourceroms");

    prefs.edit("rebuildSourceEdit")->setText(QStringLiteral("/elsewhere"));
    prefs.defaultDb()->setEditText(QStringLiteral("Good"));
    prefs.md5()->setChecked(true);
    prefs.save();
    EXPECT_TRUE(settings.useMD5);
    EXPECT_EQ(settings.sourcedir, "/elsewhere");
    EXPECT_EQ(settings.currentdb, "roms");
    IniFile ini(settings.settingsPath);
    EXPECT_EQ(ini.readString("Quorvane", "currentdb", ""), "romsGood");
    EXPECT_EQ(ini.readString("Quorvane", "tosecdir", ""), "$BASEDIR$/romsets/Tosec");
    EXPECT_TRUE(ini.readBool("Quorvane", "useMD5", false));
}

// The dialog's fields are found by what they are for, not by the settings
// key they happen to write.
TEST(PreferencesWindow, FieldsAreNamedForTheirRole) {
    testing::TempDir home;
    Settings settings = loadSettings(programFoldersIn(home.path()));
    PreferencesDialog prefs(settings);
    const QList<QLineEdit*> edits = prefs.findChildren<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly);
    EXPECT_EQ(edits.size(), 8);
    for (QLineEdit* e : edits)
        EXPECT_TRUE(e->objectName().endsWith(QStringLiteral("Edit"))) << e->objectName().toStdString();
    for (const char* key : {"basedir", "sourcedir", "tosecdir", "md5", "sha1"})
        EXPECT_EQ(prefs.findChild<QWidget*>(QString::fromLatin1(key)), nullptr) << key;
    EXPECT_EQ(prefs.findChild<QCheckBox*>(QStringLiteral("md5Check")), prefs.md5());
    EXPECT_EQ(prefs.findChild<QCheckBox*>(QStringLiteral("sha1Check")), prefs.sha1());
    ASSERT_NE(prefs.edit("arcadeUnemulatedFolderEdit"), nullptr);
}

}  // namespace
}  // namespace quorvane
