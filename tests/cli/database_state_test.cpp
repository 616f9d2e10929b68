// Commands on a database they cannot use: one that another process holds,
// and a damaged one. Each says which, exits 1, and never calls the system
// missing or the job complete.
#include <fstream>

#include "catalogue/catalogue.h"
#include "cli_fixture.h"

namespace quorvane {
namespace {

using testing::runCapture;
using testing::writeFile;

class DatabaseStateTest : public testing::CliTest {
protected:
    std::string base() const { return home.file("databases/roms"); }

    void SetUp() override {
        writeSettings("basedir=" + home.file("roms") + "\nsourcedir=" + home.file("src"));
        writeFile(home.file("roms/Sys/readme.txt"), "x");
        writeFile(home.file("src/a.bin"), "abcd");
        writeFile(home.file("sys.dat"),
                  "clrmamepro (\n\tname Sys\n\tversion 1\n)\ngame (\n\tname g\n\trom ( name a.bin size 4 crc ed82cd11 "
                  ")\n)\n");
        std::string out;
        ASSERT_EQ(run("import " + home.file("sys.dat"), out), 0) << out;
    }

    // No terminal; errors in `out` too.
    int run(const std::string& args, std::string& out) { return CliTest::run(args + " </dev/null 2>&1", out); }

    // Every command that works on the database fails with `message`.
    void everyCommandSays(const std::string& message) {
        for (const char* args : {"systems", "games Sys", "scan Sys", "fix Sys", "scan --all", "rebuild", "stats",
                                 "delete-system Sys", "clean --yes", "misshave --all"}) {
            std::string out;
            EXPECT_EQ(run(args, out), 1) << args << ": " << out;
            EXPECT_NE(out.find(message), std::string::npos) << args << ": " << out;
            EXPECT_EQ(out.find("There is no system"), std::string::npos) << args << ": " << out;
            EXPECT_EQ(out.find("complete"), std::string::npos) << args << ": " << out;
            EXPECT_EQ(out.find("Another job"), std::string::npos) << args << ": " << out;
        }
        std::string out;
        EXPECT_EQ(run("import --yes " + home.file("sys.dat"), out), 1) << out;
        EXPECT_NE(out.find(message), std::string::npos) << out;
    }
};

TEST_F(DatabaseStateTest, ADatabaseInUseIsNamedAsSuchByEveryCommand) {
    Catalogue holder(base());
    ASSERT_EQ(holder.openDB(), StoreStatus::Ok);
    everyCommandSays("Cannot open database " + base() + ": it is in use by another Quorvane process");
    ASSERT_EQ(holder.closeDB(), StoreStatus::Ok);
    std::string out;
    EXPECT_EQ(run("systems", out), 0) << out;
    EXPECT_NE(out.find("\nSys\n"), std::string::npos) << out;
}

TEST_F(DatabaseStateTest, ADamagedDatabaseIsNamedAsSuchAndCanStillBeDeleted) {
    {
        std::fstream f(base() + "_sys.idx", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4096);  // block 1 must be a data block
        f.put('\x07');
    }
    everyCommandSays("it is damaged");
    std::string out;
    EXPECT_EQ(run("delete-db --yes", out), 0) << out;
    EXPECT_EQ(run("systems", out), 0) << out;
}

TEST_F(DatabaseStateTest, CheckReportsDamageAndRepairMendsIt) {
    std::string out;
    ASSERT_EQ(run("check", out), 0) << out;
    EXPECT_EQ(out, "Checked database " + base() + ": 1 systems, 1 rows, 0 free rows.\nNo damage found.\n");
    {
        std::fstream f(base() + "_sys.idx", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4096);
        f.put('\x07');
    }
    ASSERT_EQ(run("check", out), 1) << out;
    EXPECT_NE(out.find("roms_sys.idx: block 1 is on the data chain but is not a sound data block"), std::string::npos) << out;
    EXPECT_NE(out.find("The catalogue is damaged. \"quorvane repair\" rebuilds its indexes from the record file."),
              std::string::npos)
        << out;
    ASSERT_EQ(run("repair", out), 0) << out;
    EXPECT_NE(out.find("Repaired database " + base() + ": 1 systems, 1 rows kept."), std::string::npos) << out;
    EXPECT_NE(out.find("A copy of the damaged files is in " + home.path() + "/"), std::string::npos) << out;
    ASSERT_EQ(run("check", out), 0) << out;
    ASSERT_EQ(run("games Sys", out), 0) << out;
    EXPECT_NE(out.find("g"), std::string::npos) << out;
    // A database in use is neither checked nor repaired.
    Catalogue holder(base());
    ASSERT_EQ(holder.openDB(), StoreStatus::Ok);
    EXPECT_EQ(run("check", out), 1);
    EXPECT_NE(out.find("Cannot check database " + base() + ": it is in use by another Quorvane process"), std::string::npos)
        << out;
    EXPECT_EQ(run("repair", out), 1);
    EXPECT_NE(out.find("it is in use by another Quorvane process"), std::string::npos) << out;
}

}  // namespace
}  // namespace quorvane
