#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/scan_job.h"

namespace quorvane::testing {
namespace {

class ScanTest : public EngineTest {
protected:
    void SetUp() override {
        addRoms({"Sys/A/a1.bin", "Sys/A/a2.bin", "Sys/B/b1.bin", "Other/O/o1.bin"});
    }
    std::unique_ptr<ScanJob> scan() { return std::make_unique<ScanJob>(db, host, settings, "Sys"); }
};

// A folder that is not there (or cannot be, under a file) is not made: an
// empty new folder would call every game missing. An empty folder that is
// there resets every ROM.
TEST_F(ScanTest, AMissingFolderStopsTheScanAndKeepsStatusesWhereAnEmptyOneResetsThem) {
    db->setHave(crcOf("content a1"), "10", "a1.bin", "A", "Sys");
    for (const bool underAFile : {false, true}) {
        if (underAFile) writeFile(dir.file("roms"), "a file where the base folder should be");
        EXPECT_FALSE(run(scan()));
        EXPECT_EQ(host.eventsOf("info").back(),
                  "The folder of Sys does not exist: " + systemFolder("Sys") +
                      ". Nothing was changed for Sys; create the folder or change the category's folder.");
        EXPECT_FALSE(pathExists(systemFolder("Sys")));
        EXPECT_EQ(statusOf("Sys", "A"), "YN");
    }
    std::remove(dir.file("roms").c_str());
    ASSERT_TRUE(makeFolders(systemFolder("Sys")));
    ASSERT_TRUE(run(scan()));
    EXPECT_EQ(transcript().back(), scanning("Sys"));
    EXPECT_EQ(statusOf("Sys", "A"), "NN");
}

TEST_F(ScanTest, ListScanPostsTwoLinesPerSystemAndRefusesUnsafeNames) {
    makeZips({{systemFolder("Other") + "/O.zip", {{"o1.bin", "content o1"}}}});
    ASSERT_TRUE(run(std::make_unique<ScanJob>(db, host, settings, Lines{"Other", "../evil"})));
    EXPECT_EQ(transcript(), (Lines{scanning("Other"), "System \"../evil\" cannot be used as a file name; it was refused."}));
    EXPECT_EQ(host.failedSteps(), 1);
    EXPECT_EQ(statusOf("Other", "O"), "Y");
}

}  // namespace
}  // namespace quorvane::testing
