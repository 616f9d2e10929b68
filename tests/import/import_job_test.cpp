#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "import_fixture.h"

namespace quorvane {
namespace {

using testing::ImportFixture;

std::string paren(const std::string& system, const std::string& version, const std::string& rom) {
    return "clrmamepro (\n\tname " + system + "\n" + (version.empty() ? "" : "\tversion " + version + "\n") +
           "\tauthor A\n)\ngame (\n\tname g\n\trom ( name " + rom + " size 1 crc 1 )\n)\n";
}

std::vector<std::string> romNames(ImportFixture& f) {
    std::vector<std::string> out;
    for (const RomRow& r : f.rows()) out.push_back(r.system + ":" + r.romName);
    return out;
}

using V = std::vector<std::string>;

TEST(ImportJob, AsksBeforeReplacingAndOnlyYesReplaces) {
    ImportFixture f;
    const std::string v1 = f.dat("v1.dat", paren("Sys", "1", "old.bin"));
    const std::string v2 = f.dat("v2.dat", paren("Sys", "2", "new.bin"));
    f.import({v1});
    EXPECT_TRUE(f.host.eventsOf("askYesIgnore").empty());

    f.host.answers = {false};
    f.import({v2});
    EXPECT_EQ(f.host.eventsOf("askYesIgnore"),
              V{"Romset Sys already exists [version: 1]. Do you want to replace it with version 2?"});
    EXPECT_EQ(romNames(f), V{"Sys:old.bin"});

    f.host.answers = {true};
    f.import({v2});
    EXPECT_EQ(romNames(f), V{"Sys:new.bin"});
    EXPECT_EQ(f.db->getSystemVersion("Sys"), "2");

    // The same file again: the same version on both sides.
    f.host.answers = {true};
    f.import({v2});
    EXPECT_EQ(f.host.eventsOf("askYesIgnore").back(),
              "Romset Sys already exists [version: 2]. Do you want to replace it with version 2?");
    EXPECT_EQ(romNames(f), V{"Sys:new.bin"});
}

TEST(ImportJob, SeveralFilesOneQuestionEachOneCompletion) {
    ImportFixture f;
    const std::string a = f.dat("a.dat", paren("A", "1", "a.bin"));
    const std::string b = f.dat("b.dat", paren("B", "1", "b.bin"));
    const std::string c = f.dat("c.dat", paren("C", "1", "c.bin"));
    f.import({a, b});
    f.host.answers = {true, false};
    const std::string a2 = f.dat("a2.dat", paren("A", "", "a2.bin"));
    f.import({a2, c, b});
    // A DAT without a version shows an empty version in the question.
    EXPECT_EQ(f.host.eventsOf("askYesIgnore"),
              (V{"Romset A already exists [version: 1]. Do you want to replace it with version ?",
                 "Romset B already exists [version: 1]. Do you want to replace it with version 1?"}));
    EXPECT_EQ(f.host.eventsOf("info"), (V{"Import completed: 2 files imported, 0 failed.",
                                         "Import completed: 2 files imported, 1 not replaced, 0 failed."}));
    EXPECT_EQ(f.host.failedSteps(), 0);
    std::vector<std::string> names = romNames(f);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (V{"A:a2.bin", "B:b.bin", "C:c.bin"}));
    // Each file starts its own progress.
    const auto starts = f.host.eventsOf("startProgress");
    EXPECT_EQ(starts.back(), "Importing datfile " + b + " / 1");
}

// Whatever the reader: the title names the file, "Initializing..." comes
// first, each of the two passes (the file's bytes, then its sets) ends on its
// last position, and the progress closes before the completion is shown.
TEST(ImportJob, ProgressOfEachReaderRunsBothPassesToTheirEnds) {
    const std::pair<std::string, int> files[] = {
        {paren("P", "1", "a.bin"), 1},
        {"<?xml version=\"1.0\"?>\n<datafile><header><name>X</name></header>\n"
         "<game name=\"a\"><rom name=\"a.bin\" size=\"1\" crc=\"1\"/></game>\n"
         "<game name=\"b\"><rom name=\"b.bin\" size=\"1\" crc=\"2\"/></game>\n</datafile>\n",
         2},
    };
    for (const auto& [content, sets] : files) {
        ImportFixture f;
        const std::string path = f.dat("file.dat", content);
        f.import({path});
        ASSERT_EQ(f.rows().size(), static_cast<size_t>(sets)) << content;
        const auto events = f.host.events();
        ASSERT_GE(events.size(), 3u);
        EXPECT_EQ(events[0], "startProgress: Importing datfile " + path + " / 1");
        EXPECT_EQ(events[1], "progress: Initializing... @ 0");
        const auto closed = std::find(events.begin(), events.end(), "closeProgress: ");
        EXPECT_LT(closed, std::find(events.begin(), events.end(), "info: Import completed: 1 file imported, 0 failed.")) << content;
        const auto maxima = f.host.eventsOf("progressMax");
        ASSERT_EQ(maxima.size(), 2u) << content;
        EXPECT_EQ(maxima[1], std::to_string(sets));
        const auto progress = f.host.eventsOf("progress");
        EXPECT_NE(std::find(progress.begin(), progress.end(), path + " @ " + maxima[0]), progress.end()) << content;
        EXPECT_EQ(progress.back(), path + " @ " + std::to_string(sets));
    }
}

TEST(ImportJob, SystemStoredWithVersionZeroIsStillReplacedNotDoubled) {
    ImportFixture f;
    f.dat("z.dat", paren("Sys", "0", "a.bin"));
    f.import({f.dir.file("z.dat")});
    f.host.answers = {true};
    f.import({f.dir.file("z.dat")});
    EXPECT_EQ(f.host.eventsOf("askYesIgnore"),
              V{"Romset Sys already exists [version: 0]. Do you want to replace it with version 0?"});
    EXPECT_EQ(romNames(f), V{"Sys:a.bin"});
}

TEST(ImportJob, SectionedVersionMissingAsksWithNone) {
    ImportFixture f;
    f.dat("s.dat", "[EMULATOR]\nrefname=S\n[GAMES]\n\xAC" "g\xAC\xAC\xAC\xAC" "r\xAC" "1\xAC" "1\xAC\n");
    f.import({f.dir.file("s.dat")});
    f.import({f.dir.file("s.dat")});
    EXPECT_EQ(f.host.eventsOf("askYesIgnore"),
              V{"Romset S already exists [version: None]. Do you want to replace it with version None?"});
    EXPECT_EQ(romNames(f), V{"S:r"});
}

TEST(ImportJob, DatabaseThatCannotBeOpenedIsReported) {
    ImportFixture f;
    const std::string path = f.dat("a.dat", paren("A", "1", "a.bin"));
    // The category's folder is a regular file: nothing can be created in it.
    testing::writeFile(f.dir.file("blocker"), "x");
    auto blocked = std::make_shared<Catalogue>(f.dir.file("blocker") + "/roms");
    f.db = blocked;
    f.import({path});
    const auto messages = f.host.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Nothing of " + path + " was imported."), std::string::npos);
    EXPECT_EQ(f.host.eventsOf("info"), V{"Import completed: 0 files imported, 1 failed."});
    EXPECT_EQ(f.host.failedSteps(), 1);
}

TEST(ImportJob, ScratchDatabaseThatCannotBeCreatedStopsTheFileBeforeAnyChange) {
    ImportFixture f;
    const std::string v1 = f.dat("v1.dat", paren("Sys", "1", "old.bin"));
    f.import({v1});
    Settings good = f.settings;
    testing::writeFile(f.dir.file("blocker"), "x");
    f.settings.databasesDir = f.dir.file("blocker") + "/";
    f.host.answers = {true};
    f.import({f.dat("v2.dat", paren("Sys", "2", "new.bin"))});
    // The old rows stay: nothing was deleted before the new rows were safe.
    EXPECT_EQ(romNames(f), V{"Sys:old.bin"});
    ASSERT_EQ(f.host.messages().size(), 1u);
    EXPECT_NE(f.host.messages()[0].find("Nothing of "), std::string::npos);
}

}  // namespace
}  // namespace quorvane
