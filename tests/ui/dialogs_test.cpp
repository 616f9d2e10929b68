#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

#include <optional>
#include <tuple>

#include "core/file_util.h"
#include "core/ini_file.h"
#include "support/temp_dir.h"
#include "ui/duplicates_dialog.h"
#include "ui/preferences_dialog.h"

namespace quorvane {
namespace {

// Each choice hands back its behaviour; only "only selected" the games selected.
TEST(DupeList, HandsBackEachChoiceWithSelectedGames) {
    DuplicatesDialog dialog;
    const std::vector<RomMatch> matches = {RomMatch("a.bin", "g1", "S", "N", "", "", "", ""),
                                           RomMatch("a.bin", "g2", "S", "N", "", "", "", ""),
                                           RomMatch("b.bin", "g3", "S", "N", "", "", "", "")};
    const auto ask = [&](DupesChoice choice) {
        std::optional<DupesAnswer> got;
        dialog.showDupes("a.bin", "/src/pack.zip", matches, [&](DupesAnswer a) { got = a; });
        for (int row : {0, 2}) dialog.romsList()->item(row)->setSelected(true);
        dialog.choice(choice)->setChecked(true);
        dialog.answer();
        EXPECT_FALSE(dialog.isVisible());
        return got.value_or(DupesAnswer{});
    };
    const auto fields = [](const DuplicatePolicy& p) {
        return std::tuple(p.askUser, p.onlySelected, p.onlyNameMatches, p.neverBuild);
    };
    for (int c = 0; c < 5; ++c) {
        const auto choice = static_cast<DupesChoice>(c);
        const DupesAnswer got = ask(choice);
        EXPECT_EQ(fields(got.behaviour), fields(dupesBehaviourFor(choice))) << c;
        EXPECT_EQ(got.selectedGames, (choice == DupesChoice::OnlySelected ? std::vector<std::string>{"g1", "g3"}
                                                                          : std::vector<std::string>{}));
    }
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
    EXPECT_FALSE(pathExists(settings.settingsPath) || settings.useMD5);
    prefs.show();
    EXPECT_EQ(prefs.edit("rebuildSourceEdit")->text().toStdString(), "$BASEDIR$/sourceroms");
    prefs.edit("rebuildSourceEdit")->setText(QStringLiteral("/elsewhere"));
    prefs.defaultDb()->setEditText(QStringLiteral("Good"));
    prefs.save();
    EXPECT_EQ(settings.sourcedir, "/elsewhere");
    EXPECT_EQ(settings.currentdb, "roms");
    IniFile ini(settings.settingsPath);
    EXPECT_EQ(ini.readString("Quorvane", "currentdb", ""), "romsGood");
    EXPECT_EQ(ini.readString("Quorvane", "tosecdir", ""), "$BASEDIR$/romsets/Tosec");
}

// The output, merge mode and full scan choices show the settings, are kept
// only on Save, and are the global values the next run reads.
TEST(PreferencesWindow, OutputMergeModeAndFullScanChoicesAreShownAndSaved) {
    testing::TempDir home;
    testing::writeFile(home.file("quorvane.INI"), "[Quorvane]\noutput=torrentzip\nmerge-mode=non-merged\nfullScan=1\n");
    Settings settings = loadSettings(programFoldersIn(home.path()));
    PreferencesDialog prefs(settings);
    const auto choose = [&prefs] {
        prefs.output()->setCurrentIndex(prefs.output()->findText(QStringLiteral("7z")));
        prefs.mergeMode()->setCurrentIndex(prefs.mergeMode()->findText(QStringLiteral("full non-merged")));
        prefs.fullScan()->setChecked(false);
    };
    for (const bool saving : {false, true}) {
        prefs.show();
        EXPECT_EQ(prefs.output()->currentText(), QStringLiteral("TorrentZip"));
        EXPECT_EQ(prefs.mergeMode()->currentText(), QStringLiteral("non-merged"));
        EXPECT_TRUE(prefs.fullScan()->isChecked());
        choose();
        if (!saving) prefs.cancel();
        EXPECT_EQ(std::tuple(settings.output, settings.mergeMode, settings.fullScan),
                  std::tuple(ArchiveOutput::TorrentZip, MergeMode::NonMerged, true));
    }
    prefs.save();
    const Settings next = loadSettings(programFoldersIn(home.path()));
    for (const Settings* each : {static_cast<const Settings*>(&settings), &next})
        EXPECT_EQ(std::tuple(each->output, each->mergeMode, each->fullScan),
                  std::tuple(ArchiveOutput::SevenZip, MergeMode::FullNonMerged, false));
    prefs.show();
    EXPECT_FALSE(prefs.fullScan()->isChecked());
}

}  // namespace
}  // namespace quorvane
