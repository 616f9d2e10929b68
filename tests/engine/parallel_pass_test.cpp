// The loader reads and deflates sources on several threads, and the fix
// takes its disk steps on several; what a person sees and what the catalogue
// and the folders hold must be exactly those of a one-thread run. (Scan and
// fix read their folders through the same loader.)
#include <filesystem>
#include <tuple>

#include "core/file_util.h"
#include "engine/engine_fixture.h"
#include "engine/folder_listing.h"
#include "engine/rebuild_job.h"

namespace quorvane::testing {
namespace {

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
    EXPECT_EQ(std::tie(one.transcript, one.questions, one.statuses, one.archives),
              std::tie(many.transcript, many.questions, many.statuses, many.archives));
    // The run did its work: every game has its big ROM, a raw-copied entry
    // reads back right, and the duplicate answer built both shared ROMs.
    EXPECT_EQ(many.transcript, Lines{"Error in zip " + src + "/broken.zip: -102 (not a zip archive)"});
    EXPECT_EQ(zipContents(systemFolder("Sys") + "/G1.zip").rfind("big.bin=G1 line", 0), 0u);
    EXPECT_NE(zipContents(systemFolder("Sys") + "/G1.zip").find("r1.bin=one G1"), std::string::npos);
    EXPECT_EQ(zipContents(systemFolder("Sys") + "/S2.zip"), "s.bin=shared by two games");
    EXPECT_EQ(statuses("G1 G4"), "YNY NNY");
}

// Every kind of repair at once, on many archives: the steps of unrelated
// archives overlap, while a copy and the backup of its source, two copies of
// one ROM, and a copy that moves an entry aside which a later set is built
// from must keep their order.
TEST_F(ParallelPassTest, FixGivesTheSameResultOnOneThreadAndOnMany) {
    constexpr int kFixedGames = 24;
    struct Run {
        Lines transcript, actions, folder, other, backup;
        std::string statuses;
    };
    auto fixOn = [&](const std::string& copy, unsigned threads) {
        settings.basedir = dir.file(copy);
        db = std::make_shared<Catalogue>(dir.file(copy + "-db"));
        populate();
        const std::string sys = systemFolder("Sys");
        std::vector<std::pair<std::string, Entries>> zips;
        for (int g = 0; g < kFixedGames; ++g) {
            const std::string game = "G" + std::to_string(g);
            const Entries whole{{"r1.bin", "one " + game}, {"r2.bin", "two " + game}};
            switch (g % 8) {
                case 0: zips.push_back({sys + "/" + game + ".zip", whole}); break;
                case 1: zips.push_back({sys + "/" + game + ".zip", {whole[0], {"wrong.bin", "two " + game}}}); break;
                case 2:
                    zips.push_back({sys + "/" + game + ".zip", {whole[0]}});
                    zips.push_back({sys + "/Stray " + game + ".zip", {whole[1]}});
                    break;
                case 3: zips.push_back({sys + "/g" + std::to_string(g) + ".zip", whole}); break;
                case 4: zips.push_back({sys + "/" + game + ".zip", {whole[0], {"junk.bin", "junk " + game}, whole[1]}}); break;
                case 5:
                    zips.push_back({sys + "/" + game + ".zip", whole});
                    writeFile(sys + "/notes " + game + ".txt", "not a rom");
                    break;
                case 6: writeFile(sys + "/" + game + ".zip", "PK broken " + game); break;
                case 7: zips.push_back({sys + "/" + game + ".zip", {whole[1], {"o.bin", "other rom"}}}); break;
            }
        }
        // G9 lacks its first ROM, which sits in G8 under G8's second ROM's
        // name: the copy of the right one there, from an archive fixed
        // before G8, moves it aside, and G9 is built from the backup. Two
        // more strays hold G10's second ROM.
        zips.push_back({sys + "/Early.zip", {{"x.bin", "two G8"}}});
        zips.push_back({sys + "/G8.zip", {{"r1.bin", "one G8"}, {"r2.bin", "one G9"}}});
        zips.push_back({sys + "/G9.zip", {{"r2.bin", "two G9"}}});
        zips.push_back({sys + "/Stray a.zip", {{"y.bin", "two G10"}}});
        zips.push_back({sys + "/Stray b.zip", {{"z.bin", "two G10"}}});
        makeZips(zips);
        std::filesystem::remove_all(dir.file("Backup"));
        RecordingHost recorder;
        EXPECT_TRUE(run(std::make_unique<FixJob>(db, recorder, settings, "Sys", AnalysisOptions{threads})));
        Run r{transcriptOf(recorder), {}, folderState(sys), folderState(systemFolder("Other")), backupContents(),
              allStatuses()};
        EXPECT_EQ(r.transcript.front(), fixing("Sys"));
        r.transcript.erase(r.transcript.begin());
        // The run folder is named by the time.
        const std::string backup = dir.file("Backup/");
        const auto relative = [&](std::string text) {
            if (const size_t at = text.find(settings.basedir); at != std::string::npos)
                text.replace(at, settings.basedir.size(), "<base>");
            if (const size_t at = text.find(backup); at != std::string::npos)
                text.replace(at, text.find('/', at + backup.size()) - at, "<backup>");
            return text;
        };
        for (std::string& line : r.transcript) line = relative(line);
        if (recorder.report())
            for (const FileAction& a : recorder.report()->systems.at(0).actions)
                r.actions.push_back(std::string(fileActionName(a.kind)) + " " + a.name + " " + relative(a.from) + " " +
                                    relative(a.to) + " " + a.game + "/" + a.rom + " " + a.error);
        return r;
    };
    const Run one = fixOn("fix1", OrderedLoader::kOnCallingThread);
    const Run many = fixOn("fix4", 0);
    EXPECT_EQ(std::tie(one.transcript, one.actions, one.folder, one.other, one.backup, one.statuses),
              std::tie(many.transcript, many.actions, many.folder, many.other, many.backup, many.statuses));
    // The run did its work: only the broken archives' games, and those
    // whose first ROM was nowhere, lack anything.
    std::string expected;
    for (int g = 0; g < kGames; ++g) expected += g >= kFixedGames || g % 8 == 6 ? "NN," : g % 8 == 7 ? "NY," : "YY,";
    EXPECT_EQ(many.statuses.substr(0, expected.size()), expected);
    EXPECT_EQ(many.other, Lines{"O.zip: o.bin=other rom"});
    EXPECT_EQ(zipContents(systemFolder("Sys") + "/G9.zip"), "r2.bin=two G9 r1.bin=one G9");
    EXPECT_EQ(std::count(many.backup.begin(), many.backup.end(), "Sys/Stray b.zip/z.bin=two G10"), 1);
    EXPECT_EQ(std::count(many.backup.begin(), many.backup.end(), "Sys/G8.zip/r2.bin=one G9"), 1);
}

}  // namespace
}  // namespace quorvane::testing
