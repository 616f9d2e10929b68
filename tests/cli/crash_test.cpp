// `quorvane fix` killed with SIGKILL at points spread over its disk work,
// then run again to its end: nothing of the user's data may be lost.
//
// The kill comes from the program itself (QUORVANE_CRASH_AFTER_CALLS=N stops
// it on its N-th file-system call). QUORVANE_CRASH_POINTS sets how many
// points are tried (default 40; "all" tries every call).

#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "catalogue/catalogue.h"
#include "cli_fixture.h"
#include "damaged_set.h"
#include "support/inventory.h"
#include "support/content_crc.h"
#include "core/file_util.h"
#include "core/text.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using testing::crcOf;
using testing::readFile;
using testing::runShell;
using testing::writeFile;

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
            ++copies[crcOf(content) + "/" + std::to_string(content.size())];
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

using testing::damagedRom;
using testing::damagedRomName;

// "name=CRC " of ROM r of game g, as setsOf lists it.
std::string entry(int g, int r) { return damagedRomName(g, r) + "=" + toUpperAscii(crcOf(damagedRom(g, r))) + " "; }

class CrashTest : public testing::TemplateHomeTest {
protected:
    std::string sys() const { return home() + "/roms/Sys"; }

    void SetUp() override {
        writeTemplateSettings();
        ASSERT_TRUE(testing::makeDamagedSet(templ()));
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

// A fix killed anywhere, then undone: the folder is as it was, byte for byte.
TEST_F(CrashTest, FixKilledAnywhereAndUndoneIsTheFolderItWas) {
    fresh();
    const std::map<std::string, std::string> original = testing::inventoryOf(sys());
    std::string log;
    ASSERT_EQ(fix(0, log), 0) << log;
    const std::vector<long long> points = testing::killPoints(testing::countedCalls(log), 40);
    int undone = 0;
    for (const long long n : points) {
        SCOPED_TRACE("kill at call " + std::to_string(n));
        fresh();
        fix(n, log);
        std::string out;
        const int status = testing::runKillable(home(), "undo --yes", -1, out);
        // Killed before its first change, a fix leaves nothing to undo.
        if (status == 0) ++undone;
        else EXPECT_THAT(out, testing::HasSubstr("There is no run to undo.")) << out;
        EXPECT_EQ(testing::inventoryOf(sys()), original) << out;
    }
    EXPECT_GE(undone, static_cast<int>(points.size()) * 8 / 10);
    std::printf("kill points undone: %d of %zu\n", undone, points.size());
}

}  // namespace
}  // namespace quorvane
