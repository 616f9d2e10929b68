// `quorvane import`, `scan`, `delete-system` and `clean` killed with SIGKILL
// at points spread over their file-system calls (the last four, where the
// catalogue commits, always among them): afterwards the database opens and
// checks sound, every other system is exactly as it was, and the one the command worked
// on is wholly as before or wholly as after.
//
// QUORVANE_CRASH_POINTS sets how many points each command gets (default 4;
// "all" tries every call).
#include <sys/wait.h>

#include <algorithm>
#include <map>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_check.h"
#include "cli_fixture.h"

namespace quorvane {
namespace {

using testing::runShell;
using testing::writeFile;
using Snapshot = std::map<std::string, std::string>;  // system -> its status and rows

std::string crcOf(int g, int r) {
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", 0x1000u * static_cast<unsigned>(g) + static_cast<unsigned>(r));
    return crc;
}

std::string dat(const std::string& system, const std::string& version, int games, int firstGame) {
    std::string out = "clrmamepro (\n\tname " + system + "\n\tversion " + version + "\n\tauthor me\n)\n";
    for (int g = firstGame; g < firstGame + games; ++g) {
        out += "game (\n\tname g" + std::to_string(g) + "\n";
        for (int r = 0; r < 3; ++r) {
            out += "\trom ( name r" + std::to_string(r) + ".bin size " + std::to_string(100 + r) + " crc " + crcOf(g, r) +
                   " )\n";
        }
        out += ")\n";
    }
    return out;
}

class CatalogueCrashTest : public testing::TemplateHomeTest {
protected:
    std::string database() const { return home() + "/databases/roms"; }

    void SetUp() override {
        const std::string t = templ();
        writeTemplateSettings();
        writeFile(root.file("alpha1.dat"), dat("Alpha", "1", 300, 0));
        writeFile(root.file("alpha2.dat"), dat("Alpha", "2", 350, 100));
        writeFile(root.file("beta.dat"), dat("Beta", "1", 300, 1000));
        std::string err;
        ASSERT_EQ(testing::runKillable(t, "import " + root.file("alpha1.dat") + " " + root.file("beta.dat"), -1, err),
                  0)
            << err;
        // Statuses to lose: some games of each system are marked as had.
        Catalogue db(t + "/databases/roms");
        ASSERT_EQ(db.openDB(), StoreStatus::Ok);
        for (const char* system : {"Alpha", "Beta"})
            for (int g : {150, 151, 152, 1000, 1001, 1002})
                for (int r = 0; r < 3; ++r) db.setHave(crcOf(g, r), std::to_string(100 + r), "r" + std::to_string(r) + ".bin", "g" + std::to_string(g), system);
        ASSERT_EQ(db.closeDB(), StoreStatus::Ok);
        db.getRomset("Beta", 0);
        // Alpha's folder holds archives the DAT does not know: a scan marks
        // every row of Alpha missing.
        ASSERT_EQ(runShell("mkdir -p " + t + "/roms/Alpha && cd " + t +
                           "/roms/Alpha && printf %100s | tr ' ' x >r0.bin && "
                           "for g in $(seq 150 159); do zip -q g$g.zip r0.bin; done && rm r0.bin"),
                  0);
    }

    Snapshot snapshot(std::string* error) {
        Catalogue db(database());
        Snapshot out;
        for (const std::string& s : db.getCompleteSystems()) out[s] = "C ";
        for (const std::string& s : db.getIncompleteSystems()) out[s] = "N ";
        size_t rows = 0;
        db.forEachRow([&](const RomRow& r) {
            out[r.system] += r.game + "/" + r.romName + "/" + r.crc + "/" + r.size + "/" + r.version + "=" +
                             romStatusLetter(r.status) + " ";
            ++rows;
        });
        if (db.getCount(1) != std::to_string(rows)) out["(count)"] = db.getCount(1) + " CRC entries for " + std::to_string(rows);
        *error = db.lastError();
        return out;
    }

    // `system`'s status and rows in `s`; "": the whole database.
    static std::string part(const Snapshot& s, const std::string& system) {
        if (!system.empty()) return s.count(system) ? s.at(system) : "(missing)";
        std::string all;
        for (const auto& [name, rows] : s) all += name + ": " + rows + "\n";
        return all;
    }

    // Kills `args` at points spread over its calls (and at each of its last
    // four): afterwards `system` is as before or as after, the rest as
    // before. An empty `system`: the whole database is one or the other.
    void killEverywhere(const std::string& args, const std::string& system) {
        fresh();
        std::string error;
        const Snapshot before = snapshot(&error);
        ASSERT_EQ(error, "");
        ASSERT_EQ(before.size(), 2u);
        ASSERT_EQ(testing::runKillable(home(), args, 0, error), 0) << error;
        const long long total = testing::countedCalls(error);
        ASSERT_GT(total, 5) << error;
        const Snapshot after = snapshot(&error);
        ASSERT_NE(before, after);

        std::vector<long long> points = testing::killPoints(total, 4);
        for (long long n = std::max(1LL, total - 3); n <= total; ++n) points.push_back(n);
        std::sort(points.begin(), points.end());
        points.erase(std::unique(points.begin(), points.end()), points.end());

        int asBefore = 0, asAfter = 0;
        for (long long n : points) {
            fresh();
            std::string log;
            const int status = testing::runKillable(home(), args, n, log);
            EXPECT_TRUE(status == 128 + SIGKILL || status == -1 || status == 0) << "call " << n << ": " << status;
            const Snapshot now = snapshot(&error);
            ASSERT_EQ(error, "") << args << ", killed at call " << n;
            CatalogueReport report;
            ASSERT_EQ(checkCatalogue(database(), report), StoreStatus::Ok);
            EXPECT_TRUE(report.sound()) << args << ", killed at call " << n << ": " << report.problems.front();
            for (const auto& [name, rows] : before) {
                if (system.empty() || name == system) continue;
                EXPECT_EQ(part(now, name), rows) << name << ", killed at call " << n;
            }
            if (part(now, system) == part(before, system)) ++asBefore;
            else if (part(now, system) == part(after, system)) ++asAfter;
            else ADD_FAILURE() << "neither as before nor as after: " << args << " killed at call " << n;
            EXPECT_EQ(now.count("(count)"), 0u) << "killed at call " << n;
        }
        EXPECT_GT(asBefore, 0);
        std::printf("%s: %zu kill points of %lld calls (%d rolled back, %d committed)\n", args.c_str(), points.size(),
                    total, asBefore, asAfter);
    }
};

TEST_F(CatalogueCrashTest, ImportReplacingASystem) { killEverywhere("import --yes " + root.file("alpha2.dat"), "Alpha"); }

TEST_F(CatalogueCrashTest, Scan) { killEverywhere("scan Alpha", "Alpha"); }

TEST_F(CatalogueCrashTest, DeleteSystem) { killEverywhere("delete-system Alpha", "Alpha"); }

TEST_F(CatalogueCrashTest, Clean) { killEverywhere("clean --yes", ""); }

}  // namespace
}  // namespace quorvane
