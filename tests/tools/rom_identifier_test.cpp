#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "core/worker_job.h"
#include "support/catalogue_rows.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "tools/identified_list.h"
#include "tools/identify_job.h"
#include "tools/rom_identifier.h"

namespace quorvane {
namespace {

using testing::RecordingHost;
using testing::runShell;
using testing::TempDir;
using testing::writeFile;

// "system/game" of each hit, in order.
std::vector<std::string> gamesOf(const std::vector<RomMatch>& hits) {
    std::vector<std::string> out;
    for (const RomMatch& hit : hits) out.push_back(hit.system + "/" + hit.game);
    return out;
}

class RomIdentifier : public ::testing::Test {
protected:
    TempDir dir;
    std::string archive = dir.file("drop.zip");
    std::shared_ptr<Catalogue> db = std::make_shared<Catalogue>(dir.file("roms"));

    void SetUp() override {
        ASSERT_EQ(runShell("cd " + dir.path() +
                           " && python3 -c \"import zipfile; z = zipfile.ZipFile('drop.zip', 'w'); "
                           "z.writestr('e1.bin', 'hello'); z.writestr('e2.bin', 'world'); "
                           "z.writestr('e3.bin', 'nothing'); z.close()\""),
                  0);
        // "hello" (CRC 3610a686) is the same ROM in two games, "world"
        // (3a771143) is in one and has a recorded MD5 that is not the entry's.
        RomRow world = testing::romRow("T", "w", "3a771143", "w.bin", "5");
        world.md5 = "0123456789abcdef0123456789abcdef";
        testing::addRows(*db, {testing::romRow("S", "g1", "3610a686", "h.bin", "5"),
                               testing::romRow("S", "g2", "3610a686", "h.bin", "5", RomStatus::Have), world});
    }

    // Runs an identify job on `inputs`; the hits it handed over.
    std::vector<RomMatch> runJob(RecordingHost& host, const std::vector<std::string>& inputs, bool useSHA1) {
        std::vector<RomMatch> received;
        JobRunner runner;
        EXPECT_TRUE(runner.start(
            std::make_unique<IdentifyJob>(db, host, inputs, false, useSHA1,
                                          [&received](std::vector<RomMatch> found) { received = std::move(found); })));
        runner.wait();
        return received;
    }
};

TEST_F(RomIdentifier, OneLinePerMatchingRowAndDropsAccumulate) {
    IdentifiedList list;
    list.append(identifyArchives(*db, {archive, dir.file("missing.zip")}, false, false));
    EXPECT_EQ(gamesOf(list.items()), (std::vector<std::string>{"S/g1", "S/g2", "T/w"}));
    for (const RomMatch& hit : list.items()) {
        EXPECT_EQ(hit.foundIn.archivePath, archive);
        EXPECT_EQ(identifiedFileName(hit), "drop.zip");
    }
    list.append(identifyArchives(*db, {archive}, false, false));
    EXPECT_EQ(list.items().size(), 6u);

    // "Rebuild All": every line not had, once per line; the header row and
    // a had line give nothing to rebuild.
    EXPECT_EQ(list.rebuildAllPaths(), std::vector<std::string>(4, archive));
    EXPECT_EQ(list.rebuildThisPaths(1), std::vector<std::string>{archive});
    for (int row : {0, 2, 7}) EXPECT_TRUE(list.rebuildThisPaths(row).empty()) << row;
    list.clear();
    EXPECT_TRUE(list.rebuildAllPaths().empty());

    // With MD5 on, the recorded MD5 that differs rules the "world" row out.
    EXPECT_EQ(gamesOf(identifyArchives(*db, {archive}, true, false)), (std::vector<std::string>{"S/g1", "S/g2"}));
}

// Every input that cannot be read is named with the reason, counted as a
// failed step, and the readable ones are identified as ever. The inputs
// that matched nothing are each named once however often they were given.
TEST_F(RomIdentifier, NamesEveryInputItCannotRead) {
    writeFile(dir.file("text.zip"), "this is not a zip archive\n");
    // The stored "world" made "wXrld": its CRC no longer agrees.
    ASSERT_EQ(runShell("mkdir " + dir.file("folder.zip") + " && sed 's/world/wXrld/' " + archive + " >" +
                       dir.file("bad.zip")),
              0);
    std::vector<std::string> inputs = {dir.file("missing.zip"), dir.file("text.zip"), dir.file("folder.zip"), archive,
                                       dir.file("bad.zip")};
    JobReport report;
    auto hits = identifyArchives(*db, inputs, false, false, nullptr, &report);
    EXPECT_EQ(hits.size(), 6u);  // drop.zip's three, and bad.zip's CRC and size still match
    EXPECT_EQ(report.unreadable, (std::vector<std::string>{
                                     "Cannot read " + dir.file("missing.zip") + ": No such file or directory",
                                     "Cannot read " + dir.file("text.zip") + ": not a zip archive",
                                     "Cannot read " + dir.file("folder.zip") + ": Is a directory",
                                 }));
    // Entries, not hits, are counted: e1.bin matches two rows once.
    EXPECT_EQ(report.entriesMatched, 4);
    const auto entries = [](const std::vector<IdentifiedEntry>& list) {
        std::vector<std::string> out;
        for (const IdentifiedEntry& e : list) out.push_back(e.archive + ":" + e.entry);
        return out;
    };
    EXPECT_EQ(entries(report.unmatched),
              (std::vector<std::string>{archive + ":e3.bin", dir.file("bad.zip") + ":e3.bin"}));
    inputs.push_back(dir.file("text.zip"));
    EXPECT_EQ(unmatchedInputs(inputs, hits),
              (std::vector<std::string>{dir.file("missing.zip"), dir.file("text.zip"), dir.file("folder.zip")}));

    // With digests on, the damaged entry's data is read, and fails.
    RecordingHost host;
    // drop.zip's "world" row has another MD5: two hits from each archive.
    EXPECT_EQ(runJob(host, {archive, dir.file("bad.zip"), dir.file("missing.zip")}, true).size(), 4u);
    EXPECT_EQ(host.eventsOf("message"),
              (std::vector<std::string>{"Cannot read e2.bin in " + dir.file("bad.zip") + ": damaged zip archive",
                                        "Cannot read " + dir.file("missing.zip") + ": No such file or directory"}));
    EXPECT_EQ(host.failedSteps(), 2);
}

}  // namespace
}  // namespace quorvane
