// The first pass reads archives on several threads; what a person sees and
// what the catalogue holds must be exactly those of a one-thread run.
#include "archive/zip_info.h"
#include "engine/engine_fixture.h"
#include "engine/fix_thread.h"
#include "engine/folder_listing.h"
#include "engine/scan_thread.h"

namespace quorvane::testing {
namespace {

using Lines = std::vector<std::string>;

class ParallelPassTest : public EngineTest {
protected:
    static constexpr int kGames = 60;

    // A few hundred files with every kind of finding, the same each call.
    void buildCollection(const std::string& folder, int fillers) {
        std::vector<std::pair<std::string, Entries>> zips;
        for (int g = 0; g < kGames; ++g) {
            const std::string game = "G" + std::to_string(g);
            switch (g % 6) {
                case 0: zips.push_back({folder + "/" + game + ".zip", {{"r1.bin", "one " + game}, {"r2.bin", "two " + game}}}); break;
                case 1: zips.push_back({folder + "/" + game + ".zip", {{"r1.bin", "one " + game}, {"bad name", "two " + game}}}); break;
                case 2: zips.push_back({folder + "/x" + game + ".zip", {{"r1.bin", "one " + game}, {"o.bin", "other rom"}}}); break;
                case 3: zips.push_back({folder + "/" + game + ".zip", {{"r1.bin", "one " + game}, {"junk", game}}}); break;
                case 4: zips.push_back({folder + "/g" + std::to_string(g) + ".zip", {{"r1.bin", "one " + game}, {"r2.bin", "two " + game}}}); break;
                default: writeFile(folder + "/loose" + game + ".bin", "two " + game); break;
            }
            if (g % 10 == 0) writeFile(folder + "/broken" + game + ".zip", "PK broken");
            if (g % 9 == 0) zips.push_back({folder + "/copy" + game + ".zip", {{"r1.bin", "one " + game}}});
        }
        for (int n = 0; n < fillers; ++n) zips.push_back({folder + "/filler" + std::to_string(n) + ".zip", {{"f.bin", std::to_string(n)}}});
        makeZips(zips);
    }

    void populate() {
        for (int g = 0; g < kGames; ++g) {
            const std::string game = "G" + std::to_string(g);
            addRom("Sys", game, "r1.bin", "one " + game);
            addRom("Sys", game, "r2.bin", "two " + game);
        }
        addRom("Other", "O", "o.bin", "other rom");
    }

    std::string allStatuses() {
        std::string out;
        for (int g = 0; g < kGames; ++g) out += statusOf("Sys", "G" + std::to_string(g)) + ",";
        return out + statusOf("Other", "O");
    }

    struct Outcome {
        Lines transcript;
        std::string statuses;
        std::string files;
    };

    // Runs `Job` on its own copy of the collection and catalogue.
    template <class Job>
    Outcome runOn(const std::string& copy, unsigned threads, int fillers) {
        settings.basedir = dir.file(copy);
        db = std::make_shared<RomsDBImpl>(dir.file(copy + "-db"));
        populate();
        buildCollection(systemFolder("Sys"), fillers);
        RecordingHost recorder;
        EXPECT_TRUE(run(std::make_unique<Job>(db, recorder, settings, "Sys", AnalysisOptions{threads})));
        Outcome o{transcriptOf(recorder), allStatuses(), ""};
        for (const std::string& name : listPlainFiles(systemFolder("Sys"))) {
            o.files += name + ":";
            const ZipInfo listing(systemFolder("Sys") + "/" + name);
            for (const ZipEntryInfo& e : listing.entries()) o.files += e.name + "/" + e.crc + " ";
        }
        return o;
    }
};

TEST_F(ParallelPassTest, ScanAndFixGiveTheSameResultOnOneThreadAndOnMany) {
    const Outcome scanOne = runOn<ScanThread>("scan1", 1, 200);
    const Outcome scanMany = runOn<ScanThread>("scan4", 4, 200);
    ASSERT_GE(scanOne.transcript.size(), 300u);
    EXPECT_EQ(scanOne.transcript, scanMany.transcript);
    EXPECT_EQ(scanOne.statuses, scanMany.statuses);

    const Outcome fixOne = runOn<FixThread>("fix1", 1, 10);
    const Outcome fixMany = runOn<FixThread>("fix4", 4, 10);
    EXPECT_EQ(fixOne.transcript, fixMany.transcript);
    EXPECT_EQ(fixOne.statuses, fixMany.statuses);
    EXPECT_EQ(fixOne.files, fixMany.files);
}

}  // namespace
}  // namespace quorvane::testing
