#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>

#include "catalogue/catalogue.h"
#include "core/file_util.h"
#include "jobs/catalogue_jobs.h"
#include "support/temp_dir.h"
#include "test_dialogs.h"
#include "ui/main_window.h"

namespace quorvane {
namespace {

TEST(ImportDatsAction, AFolderChosenInTheDialogIsImportedWithItsSubfolders) {
    testing::TempDir home;
    testing::TestDialogs dialogs;
    Settings settings = loadSettings(programFoldersIn(home.path()));
    const std::string tree = home.file("dats");
    testing::writeFile(tree + "/one/A.dat",
                       "clrmamepro (\n\tname A\n)\ngame (\n\tname a\n\trom ( name a size 1 crc 1 )\n)\n");
    testing::writeFile(
        tree + "/two/deeper/B.xml",
        "<datafile><header><name>B</name></header><game name=\"b\"><rom name=\"b\" size=\"1\" crc=\"2\"/>"
        "</game></datafile>");
    MainWindow main(settings);
    dialogs.files.push_back({QString::fromStdString(tree)});
    main.actions().importDatFolder->trigger();
    // The job's questions and messages come through the GUI thread.
    while (main.jobs().busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(dialogs.shown.contains(QStringLiteral("existingFolder: Import every .dat file in a folder")));
    EXPECT_TRUE(dialogs.shown.contains(QStringLiteral("info: Import completed: 2 files imported, 0 failed.")))
        << dialogs.shown.join('\n').toStdString();
    main.jobs().catalogue().openDB();
    EXPECT_EQ(main.jobs().catalogue().getSystems(), (std::vector<std::string>{"A", "B"}));
    main.jobs().catalogue().closeDB();

    // Cancelled: nothing starts.
    dialogs.shown.clear();
    main.actions().importDatFolder->trigger();
    EXPECT_FALSE(main.jobs().busy());
    EXPECT_EQ(dialogs.shown, QStringList{QStringLiteral("existingFolder: Import every .dat file in a folder")});
}

}  // namespace
}  // namespace quorvane
