// Commands on a database they cannot use: one that another process holds,
// and a damaged one. Each says which, exits 1, and never calls the system
// missing or the job complete.
#include <fstream>

#include "catalogue/catalogue.h"
#include "cli_fixture.h"

namespace quorvane {
namespace {

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

    void damageIndex() const {
        std::fstream f(base() + "_sys.idx", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4096);  // block 1 must be a data block
        f.put('\x07');
    }

    // Every command that works on the database (and `more`) fails with `message`.
    void everyCommandSays(const std::string& message, std::vector<std::string> more = {}) const {
        std::vector<testing::Step> steps;
        for (const char* args : {"systems", "games Sys", "scan Sys", "fix Sys", "scan --all", "rebuild", "stats",
                                 "delete-system Sys", "clean --yes", "misshave --all"})
            more.push_back(args);
        for (const std::string& args : more)
            steps.push_back({.args = args + " </dev/null 2>&1",
                             .status = 1,
                             .has = {message},
                             .lacks = {"There is no system", "complete", "Another job"}});
        steps.push_back({.args = "import --yes $HOME/sys.dat </dev/null 2>&1", .status = 1, .has = {message}});
        runSteps(steps);
    }
};

// A database in use is neither checked nor repaired either.
TEST_F(DatabaseStateTest, ADatabaseInUseIsNamedAsSuchByEveryCommand) {
    Catalogue holder(base());
    ASSERT_EQ(holder.openDB(), StoreStatus::Ok);
    everyCommandSays(base() + ": it is in use by another Quorvane process", {"check", "repair"});
    ASSERT_EQ(holder.closeDB(), StoreStatus::Ok);
    runSteps({{.args = "systems", .has = {"\nSys\n"}}});
}

TEST_F(DatabaseStateTest, ADamagedDatabaseIsNamedAsSuchAndCanStillBeDeleted) {
    damageIndex();
    everyCommandSays("it is damaged");
    runSteps({{.args = "delete-db --yes </dev/null 2>&1"}, {.args = "systems </dev/null 2>&1"}});
}

TEST_F(DatabaseStateTest, CheckReportsDamageAndRepairMendsIt) {
    runSteps({{.args = "check 2>&1",
               .out = "Checked database $HOME/databases/roms: 1 systems, 1 rows, 0 free rows.\nNo damage found.\n"}});
    damageIndex();
    runSteps({{.args = "check 2>&1",
               .status = 1,
               .has = {"roms_sys.idx: block 1 is on the data chain but is not a sound data block",
                       "The catalogue is damaged. \"quorvane repair\" rebuilds its indexes from the record file."}},
              {.args = "repair 2>&1",
               .has = {"Repaired database $HOME/databases/roms: 1 systems, 1 rows kept.",
                       "A copy of the damaged files is in $HOME/"}},
              {.args = "check 2>&1"},
              {.args = "games Sys 2>&1", .has = {"g"}}});
}

}  // namespace
}  // namespace quorvane
