// A fix and a rebuild on a small damaged folder, run once for every disk call
// with that call failing, and the leftovers a killed run leaves behind.
#include <algorithm>
#include <filesystem>
#include <map>

#include "archive/archive_fixtures.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "core/file_util.h"
#include "core/text.h"
#include "engine/engine_fixture.h"
#include "engine/fix_job.h"
#include "engine/folder_listing.h"
#include "engine/rebuild_job.h"

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;
// (CRC, size) of every piece of user data -> where each copy is
// ("archive:entry", or the file's path).
using Inventory = std::map<std::pair<std::string, std::string>, Lines>;

bool archiveIsSound(const std::string& path) {
    const ZipListing info(path, systemFileOps());
    return info.listStatus() == ZipStatus::Ok && zipTestPassed(info.testZip());
}

// Every entry of every sound archive and every other file (a damaged archive
// counts whole) below `roots`, hidden files included: a copy left in a
// temporary file still exists.
Inventory inventoryOf(const std::vector<std::string>& roots) {
    Inventory items;
    for (const std::string& root : roots) {
        if (!fs::exists(root)) continue;
        for (const auto& e : fs::recursive_directory_iterator(root)) {
            if (!e.is_regular_file()) continue;
            const std::string path = e.path().string();
            if (path.ends_with(".zip") && archiveIsSound(path)) {
                const ZipListing info(path, systemFileOps());
                for (const ZipEntry& entry : info.entries())
                    items[{entry.crc, entry.size}].push_back(path + ":" + entry.name);
            } else {
                const std::string content = readFile(path);
                items[{toUpperAscii(crcOf(content)), std::to_string(content.size())}].push_back(path);
            }
        }
    }
    return items;
}

// Each entry or file of `before` whose content has fewer copies in `after`,
// by where it was.
Lines lost(const Inventory& before, const Inventory& after) {
    Lines out;
    for (const auto& [key, places] : before) {
        const auto it = after.find(key);
        if ((it == after.end() ? 0 : it->second.size()) < places.size())
            for (const std::string& place : places) out.push_back(place + " (" + key.first + "/" + key.second + ")");
    }
    return out;
}

// Archives (by name, hidden ones aside) in the system folders that fail the test.
Lines unreadableArchives(const std::vector<std::string>& folders) {
    Lines out;
    for (const std::string& folder : folders)
        for (const std::string& name : listPlainFiles(folder))
            if (name.ends_with(".zip") && !archiveIsSound(joinPath(folder, name))) out.push_back(name);
    return out;
}

class DataSafetyTest : public EngineTest {
protected:
    void SetUp() override {
        addRoms({"Sys/A/a1.bin", "Sys/A/a2.bin", "Sys/B/b1.bin", "Sys/D/d1.bin", "Sys/E/e1.bin", "Sys/E/e2.bin",
                 "Sys/Z/z1.bin", "Other/O/o1.bin"});
        pristine = dir.file("pristine");
    }

    std::vector<std::string> roots() const { return {dir.file("roms"), dir.file("Backup"), dir.file("src")}; }

    // Saves the folders as made so far; restore() puts them back.
    void keep() {
        fs::create_directories(pristine);
        for (const char* sub : {"roms", "src"})
            if (fs::exists(dir.file(sub))) fs::copy(dir.file(sub), pristine + "/" + sub, fs::copy_options::recursive);
    }
    void restore() {
        for (const char* sub : {"roms", "src", "Backup"}) fs::remove_all(dir.file(sub));
        fs::copy(pristine, dir.path(), fs::copy_options::recursive);
        db->cleanSystemStatus("Sys");
        db->cleanSystemStatus("Other");
    }

    // Runs `makeJob` once per disk call, that call failing; returns the number
    // of calls of a run without failures.
    template <typename MakeJob>
    int runWithEveryCallFailing(MakeJob makeJob, const std::string& what) {
        restore();
        const Inventory before = inventoryOf(roots());
        const Lines unreadableBefore = unreadableArchives({f(), systemFolder("Other")});
        int total = 0;
        for (int n = 0;; ++n) {
            restore();
            FailingFileOps ops(n);
            {
                RecordingHost quiet;
                ScopedFileOps seam(ops);
                auto job = makeJob(quiet);
                if (job->prepare()) job->execute();
            }
            if (n == 0) total = ops.calls();
            EXPECT_EQ(lost(before, inventoryOf(roots())), Lines{}) << what << ", call " << n << " failing";
            for (const std::string& name : unreadableArchives({f(), systemFolder("Other")}))
                EXPECT_NE(std::find(unreadableBefore.begin(), unreadableBefore.end(), name), unreadableBefore.end())
                    << what << ", call " << n << " failing: " << name << " became unreadable";
            if (n >= total) break;
        }
        return total;
    }

    std::string pristine;
};

TEST_F(DataSafetyTest, FixLosesNothingWhicheverDiskCallFails) {
    // Wrong, shared and swapped names, a folder entry, a case-only name, and
    // a damaged archive whose ROM lies elsewhere.
    makeZips({{f() + "/A.zip", {{"sub/", ""}, {"a1.bin", "content a1"}, {"wrong.bin", "content a2"}}},
              {f() + "/B.zip", {{"b1.bin", "a bad b1"}, {"b1.bin", "another bad b1"}}},
              {f() + "/C.zip", {{"b1.bin", "content b1"}, {"o1.bin", "content o1"}, {"junk.bin", "junk"},
                                {"z1.bin", "content z1"}}},
              {f() + "/d.zip", {{"d1.bin", "content d1"}}},
              {f() + "/E.zip", {{"e1.bin", "content e2"}, {"e2.bin", "content e1"}}},
              {f() + "/Z.zip", {{"z1.bin", "content z1, damaged below"}}}});
    std::string damaged = readFile(f() + "/Z.zip");
    damaged[36 + 4] ^= 0x55;
    writeFile(f() + "/Z.zip", damaged);
    writeFile(f() + "/bad.zip", "PK\x03\x04 truncated");
    writeFile(f() + "/a1.bin", "a user's own file");
    writeFile(f() + "/note.txt", "not a rom");
    addRom("Sys", "Y", "empty.bin", "");  // the folder entry is no 0-byte ROM
    ASSERT_TRUE(makeFolders(systemFolder("Other")));
    keep();
    const AnalysisOptions oneThread{OrderedLoader::kOnCallingThread};
    const auto fix = [&](RecordingHost& h) { return std::make_unique<FixJob>(db, h, settings, "Sys", oneThread); };
    // A fix of this folder extracts, copies, rewrites and moves: many calls.
    EXPECT_GT(runWithEveryCallFailing(fix, "fix"), 150);

    // The run without failures did the whole repair: each of two entries of
    // one name kept or backed up on its own, swapped names both right, a
    // folder entry neither a ROM nor an unknown file, the unreadable archive
    // put aside before its set was built anew. A second fix finds nothing to do.
    restore();
    ASSERT_TRUE(run(std::make_unique<FixJob>(db, host, settings, "Sys")));
    EXPECT_EQ(folderState(f()), (Lines{"A.zip: sub/= a1.bin=content a1 a2.bin=content a2", "B.zip: b1.bin=content b1",
                                       "D.zip: d1.bin=content d1", "E.zip: e2.bin=content e2 e1.bin=content e1",
                                       "Z.zip: z1.bin=content z1"}));
    EXPECT_EQ(statuses("A B D E Y Z"), "YY Y Y YY N Y");
    EXPECT_EQ(backupContents().size(), 13u);
    RecordingHost again;
    ASSERT_TRUE(run(std::make_unique<FixJob>(db, again, settings, "Sys")));
    EXPECT_EQ(transcriptOf(again), Lines{fixing("Sys")});
}

TEST_F(DataSafetyTest, RebuildLosesNothingWhicheverDiskCallFails) {
    makeZips({{f() + "/A.zip", {{"a1.bin", "content a1"}}},
              {dir.file("src/pack.zip"), {{"a2.bin", "content a2"}, {"x.bin", "content b1"}}}});
    writeFile(dir.file("src/o1.bin"), "content o1");
    writeFile(dir.file("src/broken.zip"), "PK\x03\x04 broken");
    keep();
    const AnalysisOptions oneThread{OrderedLoader::kOnCallingThread};
    const auto rebuild = [&](RecordingHost& h) {
        return std::make_unique<RebuildJob>(db, h, settings, dir.file("src"), oneThread);
    };
    EXPECT_GT(runWithEveryCallFailing(rebuild, "rebuild"), 40);
}

TEST_F(DataSafetyTest, LeftoversOfAKilledRunAreReportedKeptOrRenamedBack) {
    // A finished new archive whose original is gone, a half-written one
    // beside its original, and a staging folder holding an extracted copy.
    makeZips({{f() + "/.quorvane-tmp-4242-7-A.zip", {{"a1.bin", "content a1"}, {"a2.bin", "content a2"}}},
              {f() + "/B.zip", {{"b1.bin", "content b1"}}}});
    writeFile(f() + "/.quorvane-tmp-4242-8-B.zip", "PK\x03\x04 half written");
    writeFile(f() + "/.quorvane-tmp-4242-9-stage/b1.bin", "content b1");
    ASSERT_TRUE(run(std::make_unique<FixJob>(db, host, settings, "Sys")));
    const std::string left = "Warning: " + f() + "/.quorvane-tmp-4242-", kept = " was left by an interrupted run; it "
                                                                              "has been kept and is not part of the collection.";
    EXPECT_EQ(transcript(), (Lines{fixing("Sys"), left + "7-A.zip was left by an interrupted run; it is a complete "
                                                         "archive and has been renamed back to A.zip.",
                                   left + "8-B.zip" + kept, left + "9-stage" + kept}));
    EXPECT_EQ(zipContents(f() + "/A.zip"), "a1.bin=content a1 a2.bin=content a2");
    EXPECT_EQ(statusOf("Sys", "A"), "YY");
    EXPECT_EQ(readFile(f() + "/.quorvane-tmp-4242-8-B.zip"), "PK\x03\x04 half written");
    EXPECT_EQ(readFile(f() + "/.quorvane-tmp-4242-9-stage/b1.bin"), "content b1");
    EXPECT_TRUE(backupContents().empty());
    EXPECT_EQ(listPlainFiles(f()), (Lines{"A.zip", "B.zip"}));
}

}  // namespace
}  // namespace quorvane::testing
