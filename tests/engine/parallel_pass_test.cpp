// The loader reads and deflates sources on several threads; what a person
// sees and what the catalogue and the folders hold must be exactly those of a
// one-thread run. (Scan and fix read their folders through the same loader.)
#include "engine/engine_fixture.h"
#include "engine/folder_listing.h"
#include "engine/rebuild_job.h"

namespace quorvane::testing {
namespace {

using Lines = std::vector<std::string>;

class ParallelPassTest : public EngineTest {
protected:
    static constexpr int kGames = 60;

    // Larger, partly repetitive content, so deflating it is real work.
    static std::string bigText(int g) {
        std::string big;
        for (int k = 0; k < 200; ++k) big += "G" + std::to_string(g) + " line " + std::to_string(k * g % 37) + "\n";
        return big;
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
};

// The rebuild deflates loose sources on the loader's threads and raw-copies
// deflated entries; the archives must be byte for byte those of a one-thread
// run, and the messages, statuses and duplicate questions the same.
TEST_F(ParallelPassTest, RebuildGivesTheSameArchivesOnOneThreadAndOnMany) {
    const std::string src = dir.file("sources");
    std::vector<std::pair<std::string, Entries>> zips;
    for (int g = 0; g < kGames; ++g) {
        const std::string game = "G" + std::to_string(g);
        if (g % 5 == 0 || g % 5 == 2) writeFile(src + "/loose/" + game + "-1.bin", "one " + game);
        if (g % 5 == 2) writeFile(src + "/loose/" + game + "-1 again.bin", "one " + game);
        if (g % 5 == 4) writeFile(src + "/loose/" + game + "-unknown.bin", "nobody " + game);
        if (g % 5 == 1) zips.push_back({src + "/packs/" + game + ".zip", {{"dir/r1.bin", "one " + game}}});
        if (g % 5 == 3) zips.push_back({src + "/packs/" + game + ".zip", {{"r1.bin", "one " + game}, {"junk", "x" + game}}});
        writeFile(src + "/big/" + game + ".bin", bigText(g));
    }
    writeFile(src + "/shared.bin", "shared by two games");
    writeFile(src + "/broken.zip", "PK not really");
    makeZips(zips);

    struct Run {
        Lines transcript, questions;
        std::string statuses, archives;
    };
    auto rebuildOn = [&](const std::string& copy, unsigned threads) {
        settings.basedir = dir.file(copy);
        db = std::make_shared<Catalogue>(dir.file(copy + "-db"));
        populate();
        for (int g = 0; g < kGames; ++g) addRom("Sys", "G" + std::to_string(g), "big.bin", bigText(g));
        addRom("Sys", "S1", "s.bin", "shared by two games");
        addRom("Sys", "S2", "s.bin", "shared by two games");
        RecordingHost recorder;
        EXPECT_TRUE(run(std::make_unique<RebuildJob>(db, recorder, settings, src, AnalysisOptions{threads})));
        Run r{transcriptOf(recorder), recorder.eventsOf("askDuplicates"), allStatuses() + statuses(" S1 S2"), ""};
        EXPECT_EQ(r.transcript.front(), rebuilding(src));
        r.transcript.erase(r.transcript.begin());
        for (const std::string& name : listPlainFiles(systemFolder("Sys")))
            r.archives += name + ":" + readFile(systemFolder("Sys") + "/" + name) + "\n";
        return r;
    };
    const Run one = rebuildOn("rebuild1", 1);
    const Run many = rebuildOn("rebuild4", 4);
    EXPECT_EQ(one.transcript, many.transcript);
    EXPECT_EQ(one.questions, many.questions);
    EXPECT_EQ(one.statuses, many.statuses);
    EXPECT_EQ(one.archives, many.archives);
    // The run did its work: every game has its big ROM, a raw-copied entry
    // reads back right, and the duplicate answer built both shared ROMs.
    EXPECT_EQ(many.transcript, Lines{"Error in zip " + src + "/broken.zip: -102 (not a zip archive)"});
    EXPECT_EQ(zipContents(systemFolder("Sys") + "/G1.zip").rfind("big.bin=G1 line", 0), 0u);
    EXPECT_NE(zipContents(systemFolder("Sys") + "/G1.zip").find("r1.bin=one G1"), std::string::npos);
    EXPECT_EQ(zipContents(systemFolder("Sys") + "/S2.zip"), "s.bin=shared by two games");
    EXPECT_EQ(statuses("G1 G4"), "YNY NNY");
}

}  // namespace
}  // namespace quorvane::testing
