#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "core/file_util.h"
#include "support/catalogue_rows.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "tools/export_job.h"
#include "tools/export_template.h"

namespace quorvane {
namespace {

using testing::readFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::writeFile;

class FileExport : public ::testing::Test {
protected:
    TempDir dir;
    std::shared_ptr<Catalogue> db = std::make_shared<Catalogue>(dir.file("roms"));
    RecordingHost host;

    void SetUp() override {
        using enum RomStatus;
        testing::addRows(
            *db, {{.status = Have, .system = "Sys", .game = "b", .crc = "00000001", .romName = "b1", .size = "1"},
                  {.status = Have, .system = "Sys", .game = "a", .crc = "00000002", .romName = "a1", .size = "1"},
                  {.system = "Sys", .game = "a", .crc = "00000003", .romName = "a2", .size = "1"},
                  {.status = Present, .system = "Sys", .game = "c", .crc = "00000004", .romName = "c1", .size = "1"}});
    }

    void run(ExportRequest request) {
        ExportJob job(db, host, std::move(request));
        job.clock = [] { return std::string("T"); };
        ASSERT_TRUE(job.prepare());
        job.execute();
    }
};

// Mode 0 lists what is missing ("a" has one N; "c" is only present
// elsewhere, so it is in neither mode), mode 1 what is had, even without a
// game template; the file is written anew.
TEST_F(FileExport, EachModeListsItsGamesAndRoms) {
    const std::string out = dir.file("out.txt");
    writeFile(out, "old content that must go\r\n");
    run({out, {"Sys"}, "", "", templateText({"$SYSTEM$/$GAMENAME$/$ROMNAME$"}), 1});
    EXPECT_EQ(readFile(out), "Sys/a/a1\r\nSys/b/b1\r\n");
    run({out,
         {"Sys", "Nope"},
         templateText({"[$SYSTEM$]"}),
         templateText({"$GAMENAME$ / $gamename$"}),
         templateText({"$ROMNAME$"}),
         0});
    EXPECT_EQ(readFile(out), "[Sys]\r\na / a\r\na2\r\n[Nope]\r\n");
    EXPECT_EQ(host.messages(),
              (std::vector<std::string>{"T Starting...", "T Getting Roms for Sys", "T Finished writing file " + out,
                                        "T Starting...", "T Getting Roms for Sys", "T Getting Roms for Nope",
                                        "T Finished writing file " + out}));
}

TEST_F(FileExport, NoSystemsGivesAnEmptyFileAndUncreatableTargetOnlyOneMessage) {
    const std::string out = dir.file("empty.txt");
    run({out, {}, "", "", "$ROMNAME$", 0});
    EXPECT_TRUE(isRegularFile(out));
    EXPECT_EQ(readFile(out), "");

    RecordingHost other;
    writeFile(dir.file("plain"), "x");
    ExportJob job(db, other, {dir.file("plain") + "/out.txt", {"Sys"}, "", "", "$ROMNAME$", 0});
    job.execute();
    EXPECT_EQ(other.messages(), std::vector<std::string>{"Unable to create file"});

    // An unreadable catalogue stops the export before a file is written.
    RecordingHost third;
    ExportJob broken(std::make_shared<Catalogue>(dir.file("plain") + "/roms"), third,
                            {dir.file("never.txt"), {"Sys"}, "", "", "$ROMNAME$", 0});
    broken.clock = [] { return std::string("T"); };
    broken.execute();
    ASSERT_EQ(third.messages().size(), 2u);
    EXPECT_EQ(third.messages()[0], "T Starting...");
    EXPECT_NE(third.messages()[1].find("Cannot open database"), std::string::npos);
    EXPECT_FALSE(pathExists(dir.file("never.txt")));
    EXPECT_FALSE(hasAnyTemplate({"x", {"Sys"}, "", "", "", 0}));
}

}  // namespace
}  // namespace quorvane
