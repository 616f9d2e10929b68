// The first pass reads archives on several threads; what a person sees and
// what the catalogue holds must be exactly those of a one-thread run.
#include <type_traits>
#include <zlib.h>

#include <algorithm>

#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "archive/zip_writer.h"
#include "engine/engine_fixture.h"
#include "engine/fix_job.h"
#include "engine/folder_listing.h"
#include "engine/prepared_entry.h"
#include "engine/rebuild_job.h"
#include "engine/scan_job.h"

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

    // A few hundred files with every kind of finding, the same each call.
    void buildCollection(const std::string& folder, int fillers) {
        std::vector<std::pair<std::string, Entries>> zips;
        for (int g = 0; g < kGames; ++g) {
            const std::string game = "G" + std::to_string(g), one = "one " + game, two = "two " + game;
            const std::pair<std::string, Entries> kinds[] = {
                {game, {{"r1.bin", one}, {"r2.bin", two}}}, {game, {{"r1.bin", one}, {"bad name", two}}},
                {"x" + game, {{"r1.bin", one}, {"o.bin", "other rom"}}}, {game, {{"r1.bin", one}, {"junk", game}}},
                {"g" + std::to_string(g), {{"r1.bin", one}, {"r2.bin", two}}}};
            if (g % 6 == 5) writeFile(folder + "/loose" + game + ".bin", two);
            else zips.push_back({folder + "/" + kinds[g % 6].first + ".zip", kinds[g % 6].second});
            if (g % 10 == 0) writeFile(folder + "/broken" + game + ".zip", "PK broken");
            if (g % 9 == 0) zips.push_back({folder + "/copy" + game + ".zip", {{"r1.bin", one}}});
            // Archives sound in structure and damaged in their data: the quick
            // test turns them down and the full read gives their status.
            std::string text;
            for (int k = 0; k < 300; ++k) text += game + " row " + std::to_string(k % 41) + "\n";
            if (g % 10 == 3) zips.push_back({folder + "/crc" + game + ".zip", {{"r1.bin", one}, {"r2.bin", text}}});
            if (g % 10 == 3) zips.push_back({folder + "/short" + game + ".zip", {{"r1.bin", one}, {"r2.bin", text}}});
        }
        for (int n = 0; n < fillers; ++n) zips.push_back({folder + "/filler" + std::to_string(n) + ".zip", {{"f.bin", std::to_string(n)}}});
        makeZips(zips);
        for (int g = 3; g < kGames; g += 10) {
            const std::string crc = folder + "/crcG" + std::to_string(g) + ".zip", cut = folder + "/shortG" + std::to_string(g) + ".zip";
            std::string bytes = readFile(crc);
            bytes[30 + 6 + 2] ^= 0x55;  // inside r1.bin's deflated data
            writeFile(crc, bytes);
            // r1.bin one byte longer in its header and directory record: its data ends early.
            bytes = readFile(cut);
            ++bytes[22];
            ++bytes[bytes.find("PK\x01\x02") + 24];
            writeFile(cut, bytes);
        }
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
        std::string statuses, files;
    };

    // Runs `Job` on its own copy of the collection and catalogue.
    template <class Job>
    Outcome runOn(const std::string& copy, unsigned threads, int fillers) {
        settings.basedir = dir.file(copy);
        db = std::make_shared<Catalogue>(dir.file(copy + "-db"));
        populate();
        buildCollection(systemFolder("Sys"), fillers);
        RecordingHost recorder;
        EXPECT_TRUE(run(std::make_unique<Job>(db, recorder, settings, "Sys", AnalysisOptions{threads})));
        Outcome o{transcriptOf(recorder), allStatuses(), ""};
        // Each run works in its own folder, which its first line names.
        EXPECT_EQ(o.transcript.front(), (std::is_same_v<Job, ScanJob> ? scanning("Sys") : fixing("Sys")));
        o.transcript.erase(o.transcript.begin());
        for (const std::string& name : listPlainFiles(systemFolder("Sys"))) {
            o.files += name + ":";
            const ZipListing listing(systemFolder("Sys") + "/" + name);
            for (const ZipEntry& e : listing.entries()) o.files += e.name + "/" + e.crc + " ";
        }
        return o;
    }
};

TEST_F(ParallelPassTest, ScanAndFixGiveTheSameResultOnOneThreadAndOnMany) {
    const Outcome scanOne = runOn<ScanJob>("scan1", 1, 200);
    const Outcome scanMany = runOn<ScanJob>("scan4", 4, 200);
    ASSERT_GE(scanOne.transcript.size(), 300u);
    EXPECT_EQ(scanOne.transcript, scanMany.transcript);
    const auto has = [&](const std::string& line) {
        return std::find(scanMany.transcript.begin(), scanMany.transcript.end(), line) != scanMany.transcript.end();
    };
    EXPECT_TRUE(has("Error in zip crcG3.zip: -105 (an entry's data does not match its CRC)") ||
                has("Error in zip crcG3.zip: -3 (an entry's compressed data is damaged)"));
    EXPECT_TRUE(has("Error in zip shortG13.zip: -103 (damaged zip archive)"));
    EXPECT_EQ(scanOne.statuses, scanMany.statuses);

    const Outcome fixOne = runOn<FixJob>("fix1", 1, 10);
    const Outcome fixMany = runOn<FixJob>("fix4", 4, 10);
    EXPECT_EQ(fixOne.transcript, fixMany.transcript);
    EXPECT_EQ(fixOne.statuses, fixMany.statuses);
    EXPECT_EQ(fixOne.files, fixMany.files);
}

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

// A loose file deflated ahead must give exactly the archive that deflating
// it in place gives, and a raw copy must read back with the right data.
TEST_F(ParallelPassTest, PreparedAndRawCopiedEntriesMatchTheSlowPath) {
    std::string content;
    for (int k = 0; k < 5000; ++k) content += "row " + std::to_string(k % 97) + ";";
    const std::string source = dir.file("rom.bin");
    writeFile(source, content);
    ZipWriter slow(dir.file("slow.zip"));
    ASSERT_EQ(slow.open(), ZipStatus::Ok);
    ASSERT_EQ(slow.addFile(source, "a.bin"), ZipStatus::Ok);
    ASSERT_EQ(slow.close(), ZipStatus::Ok);
    PreparedEntry prepared;
    ASSERT_TRUE(prepareLooseFile(source, prepared));
    ASSERT_EQ(addPreparedEntry(dir.file("fast.zip"), "a.bin", prepared), ZipStatus::Ok);
    EXPECT_EQ(readFile(dir.file("fast.zip")), readFile(dir.file("slow.zip")));

    // Replacing an entry of the same name, and copying raw into a new name;
    // of two source entries named alike, the one with the content asked for.
    const auto key = [](const std::string& name, const std::string& data) {
        return EntryKey{name, static_cast<uint32_t>(crc32_z(0L, reinterpret_cast<const Bytef*>(data.data()), data.size())),
                        data.size()};
    };
    makeZips({{dir.file("src.zip"), {{"dir/x.bin", content}, {"y.bin", "not this"}, {"y.bin", "why"}}}});
    ASSERT_TRUE(isDeflatedEntry(dir.file("src.zip"), key("dir/x.bin", content)));
    ASSERT_EQ(copyEntryRaw(dir.file("src.zip"), key("y.bin", "why"), dir.file("fast.zip"), "a.bin"), ZipStatus::Ok);
    ASSERT_EQ(copyEntryRaw(dir.file("src.zip"), key("dir/x.bin", content), dir.file("fast.zip"), "b.bin"),
              ZipStatus::Ok);
    EXPECT_EQ(zipContents(dir.file("fast.zip")), "a.bin=why b.bin=" + content);
    EXPECT_EQ(copyEntryRaw(dir.file("src.zip"), key("y.bin", "other"), dir.file("fast.zip"), "c.bin"),
              ZipStatus::EntryGone);
}

}  // namespace
}  // namespace quorvane::testing
