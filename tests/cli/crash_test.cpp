// `quorvane fix` killed with SIGKILL at points spread over its disk work,
// then run again to its end: nothing of the user's data may be lost.
//
// The kill comes from the program itself (QUORVANE_CRASH_AFTER_CALLS=N stops
// it on its N-th file-system call). QUORVANE_CRASH_POINTS sets how many
// points are tried (default 40; "all" tries every call).
//
// `quorvane import` killed likewise (QUORVANE_CRASH_POINTS points, default 4):
// the catalogue opens and checks sound, and the system replaced is wholly as
// before or wholly as after.
#include <sys/wait.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "archive/digest_set.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_check.h"
#include "cli_fixture.h"
#include "core/file_util.h"
#include "core/text.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::runShell;
using testing::writeFile;
std::string crcOfText(const std::string& s) {
    return crcHex(static_cast<uint32_t>(crc32_z(0L, reinterpret_cast<const Bytef*>(s.data()), s.size())), false);
}

bool sound(const std::string& path) {
    const ZipListing info(path);
    return info.listStatus() == ZipStatus::Ok && zipTestPassed(info.testZip());
}

// How many copies of each content ("crc/size") lie below `root`, as entries
// of sound archives or as whole files; the system's unsound archives (not
// temporary files) go to `unsound`.
std::map<std::string, int> contentsOf(const std::string& root, std::vector<std::string>& unsound) {
    std::map<std::string, int> copies;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string path = e.path().string(), where = path.substr(root.size()), name = e.path().filename();
        if (!e.is_regular_file() || name == "quorvane.INI" || where.starts_with("/databases/")) continue;
        const bool zip = path.ends_with(".zip"), ok = zip && sound(path);
        if (zip && !ok && where == "/roms/Sys/" + name && name[0] != '.') unsound.push_back(name);
        if (ok) {
            // Archive CRCs are upper case, loose ones lower: compare as one.
            const ZipListing listing(path);
            for (const ZipEntry& entry : listing.entries()) ++copies[toLowerAscii(entry.crc) + "/" + entry.size];
        } else {
            const std::string content = readFile(path);
            ++copies[crcOfText(content) + "/" + std::to_string(content.size())];
        }
    }
    std::sort(unsound.begin(), unsound.end());
    return copies;
}

// "name=CRC " of each entry of the sets G0.zip to G7.zip, sorted by name; "" for a missing one.
std::map<std::string, std::string> setsOf(const std::string& folder) {
    std::map<std::string, std::string> sets;
    for (int g = 0; g < 8; ++g) {
        const std::string name = "G" + std::to_string(g) + ".zip";
        std::vector<std::string> parts;
        const ZipListing listing(folder + "/" + name);
        if (pathExists(folder + "/" + name))
            for (const ZipEntry& e : listing.entries()) parts.push_back(e.name + "=" + e.crc + " ");
        std::sort(parts.begin(), parts.end());
        for (const std::string& p : parts) sets[name] += p;
    }
    return sets;
}

std::string rom(int g, int r) {
    std::string out;
    for (int i = 0; i < 40 + 13 * g + r; ++i) out += "rom " + std::to_string(g) + "/" + std::to_string(r) + " ";
    return out;
}
std::string romName(int g, int r) { return "G" + std::to_string(g) + "r" + std::to_string(r) + ".bin"; }
// "name=CRC " of ROM r of game g, as setsOf lists it.
std::string entry(int g, int r) { return romName(g, r) + "=" + toUpperAscii(crcOfText(rom(g, r))) + " "; }

class CrashTest : public testing::TemplateHomeTest {
protected:
    std::string sys() const { return home() + "/roms/Sys"; }

    void SetUp() override {
        writeTemplateSettings();
        ASSERT_TRUE(makeFolders(templ() + "/databases"));
        Catalogue db(templ() + "/databases/roms");
        std::vector<RomRow> rows;
        for (int g = 0; g < 8; ++g)
            for (int r = 0; r < 2; ++r)
                rows.push_back(testing::romRow("Sys", "G" + std::to_string(g), crcOfText(rom(g, r)), romName(g, r),
                                               std::to_string(rom(g, r).size())));
        testing::addRows(db, rows);
        ASSERT_EQ(
            testing::runShell("python3 " QUORVANE_SOURCE_DIR "/tests/cli/make_damaged_set.py " + templ() + "/roms/Sys"),
            0);
    }

    // Runs the fix; `crashAt` > 0 kills it at that call, 0 only counts.
    int fix(long long crashAt, std::string& log) { return testing::runKillable(home(), "fix Sys", crashAt, log); }
};

TEST_F(CrashTest, FixKilledAnywhereAndRunAgainLosesNothing) {
    fresh();
    std::vector<std::string> unsound;
    const std::map<std::string, int> before = contentsOf(home(), unsound);
    ASSERT_EQ(unsound, (std::vector<std::string>{"G7.zip", "cut.zip"}));

    // The reference: a fix that runs undisturbed, counting its calls.
    std::string err;
    ASSERT_EQ(fix(0, err), 0) << err;
    const long long total = testing::countedCalls(err);
    ASSERT_GT(total, 100) << err;
    const std::map<std::string, std::string> expected = setsOf(sys());
    // Shared and swapped names (2, 3), the case-only name corrected (4), the
    // misplaced ROMs found homes (5, 6), and a set built anew beside its
    // damaged archive (7).
    for (int g : {2, 3, 4, 5, 6}) EXPECT_EQ(expected.at("G" + std::to_string(g) + ".zip"), entry(g, 0) + entry(g, 1));
    EXPECT_EQ(expected.at("G7.zip"), entry(7, 0));

    const std::vector<long long> points = testing::killPoints(total, 40);
    int killed = 0;
    for (const long long n : points) {
        SCOPED_TRACE("kill at call " + std::to_string(n));
        fresh();
        std::string log;
        const int status = fix(n, log);
        // The shell reports the kill, or is itself the killed process.
        if (status != 0) ++killed;
        EXPECT_TRUE(status == 0 || status == 128 + SIGKILL || status == -1) << status;
        ASSERT_EQ(fix(-1, err), 0) << err;
        unsound.clear();
        std::map<std::string, int> after = contentsOf(home(), unsound);
        for (const auto& [content, copies] : before) EXPECT_GE(after[content], copies) << content << " was lost";
        // The finished fix moved the damaged archive out; none may be new.
        EXPECT_EQ(unsound, std::vector<std::string>{});
        // A kill after G1.zip's copy moved G3.zip's wrongly named entry
        // aside, before the set was built from that backup copy, leaves the
        // ROM in the backup folder (counted above), not in its set.
        std::map<std::string, std::string> sets = setsOf(sys()), want = expected;
        if (status != 0) sets.erase("G3.zip"), want.erase("G3.zip");
        EXPECT_EQ(sets, want);
    }
    // Counts vary a little between runs (archives are tested in parallel),
    // but nearly every point must have hit a running fix.
    EXPECT_GE(killed, static_cast<long long>(points.size()) * 9 / 10);
    std::printf("kill points tried: %d of %lld calls\n", killed, total);
}

using Snapshot = std::map<std::string, std::string>;  // system -> its status and rows

std::string crcOf(int g, int r) {
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", 0x1000u * static_cast<unsigned>(g) + static_cast<unsigned>(r));
    return crc;
}

// A DAT of `games` games from `firstGame` on, three ROMs each.
std::string dat(const std::string& system, const std::string& version, int games, int firstGame) {
    std::string out = "clrmamepro (\n\tname " + system + "\n\tversion " + version + "\n)\n";
    for (int g = firstGame; g < firstGame + games; ++g) {
        out += "game (\n\tname g" + std::to_string(g) + "\n";
        for (int r = 0; r < 3; ++r)
            out += "\trom ( name r" + std::to_string(r) + ".bin size " + std::to_string(100 + r) + " crc " +
                   crcOf(g, r) + " )\n";
        out += ")\n";
    }
    return out;
}

class ImportCrashTest : public testing::TemplateHomeTest {
protected:
    void SetUp() override {
        writeTemplateSettings();
        writeFile(root.file("alpha1.dat"), dat("Alpha", "1", 300, 0));
        writeFile(root.file("alpha2.dat"), dat("Alpha", "2", 350, 100));
        writeFile(root.file("beta.dat"), dat("Beta", "1", 300, 1000));
        std::string err;
        ASSERT_EQ(
            testing::runKillable(templ(), "import " + root.file("alpha1.dat") + " " + root.file("beta.dat"), -1, err),
            0)
            << err;
        // Statuses to lose: some games of each system are marked as had.
        Catalogue db(templ() + "/databases/roms");
        ASSERT_EQ(db.openDB(), StoreStatus::Ok);
        for (const char* system : {"Alpha", "Beta"})
            for (int g : {150, 151, 1000, 1001})
                for (int r = 0; r < 3; ++r)
                    db.setHave(crcOf(g, r), std::to_string(100 + r), "r" + std::to_string(r) + ".bin",
                               "g" + std::to_string(g), system);
        ASSERT_EQ(db.closeDB(), StoreStatus::Ok);
        db.getRomset("Beta", 0);
    }

    // Each system's status and rows; the catalogue must open and check sound.
    Snapshot snapshot() {
        const std::string path = home() + "/databases/roms";
        CatalogueReport report;
        EXPECT_EQ(checkCatalogue(path, report), StoreStatus::Ok);
        EXPECT_TRUE(report.sound()) << report.problems.front();
        Catalogue db(path);
        Snapshot out;
        for (const std::string& s : db.getCompleteSystems()) out[s] = "C ";
        for (const std::string& s : db.getIncompleteSystems()) out[s] = "N ";
        db.forEachRow([&](const RomRow& r) {
            out[r.system] += r.game + "/" + r.romName + "/" + r.crc + "/" + r.size + "/" + r.version + "=" +
                             romStatusLetter(r.status) + " ";
        });
        EXPECT_EQ(db.lastError(), "");
        return out;
    }
};

// Killed at points spread over its calls (and at each of its last four,
// where the catalogue commits), an import replacing Alpha leaves Alpha
// wholly as before or wholly as after, and Beta as it was.
TEST_F(ImportCrashTest, AKilledImportLeavesTheSystemWhollyOldOrWhollyNew) {
    const std::string args = "import --yes " + root.file("alpha2.dat");
    fresh();
    const Snapshot before = snapshot();
    std::string log;
    ASSERT_EQ(testing::runKillable(home(), args, 0, log), 0) << log;
    const long long total = testing::countedCalls(log);
    ASSERT_GT(total, 5) << log;
    const Snapshot after = snapshot();
    ASSERT_NE(before.at("Alpha"), after.at("Alpha"));

    std::set<long long> points;
    for (long long n : testing::killPoints(total, 4)) points.insert(n);
    for (long long n = std::max(1LL, total - 3); n <= total; ++n) points.insert(n);
    int asBefore = 0;
    for (long long n : points) {
        SCOPED_TRACE("killed at call " + std::to_string(n));
        fresh();
        const int status = testing::runKillable(home(), args, n, log);
        EXPECT_TRUE(status == 128 + SIGKILL || status == -1 || status == 0) << status;
        const Snapshot now = snapshot();
        EXPECT_EQ(now.at("Beta"), before.at("Beta"));
        if (now.at("Alpha") == before.at("Alpha")) ++asBefore;
        else EXPECT_EQ(now.at("Alpha"), after.at("Alpha")) << "neither as before nor as after";
    }
    EXPECT_GT(asBefore, 0);
    std::printf("%zu kill points of %lld calls (%d rolled back)\n", points.size(), total, asBefore);
}

}  // namespace
}  // namespace quorvane
