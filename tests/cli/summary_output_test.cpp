// The summaries scan, fix, rebuild and identify end with, and their --json
// documents, on a collection whose damage is known. Each document is checked
// against the documented shape by check_report_json.py, which also lists
// what it holds as plain lines.
#include <algorithm>
#include <sstream>

#include "archive/digest_set.h"
#include "cli_fixture.h"

namespace quorvane {
namespace {

using testing::readFile;
using testing::runCapture;
using testing::runShell;
using testing::writeFile;
using Lines = std::vector<std::string>;

std::string crcOf(const std::string& content) {
    DigestSet digests(true, false, false);
    digests.update(content.data(), content.size());
    std::string crc, md5, sha1;
    digests.finish(crc, md5, sha1);
    return crc;
}

Lines linesOf(const std::string& text) {
    Lines out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// A wanted line ending in "*" matches any line starting with the rest.
bool matches(const std::string& line, const std::string& want) {
    return want.back() == '*' ? line.rfind(want.substr(0, want.size() - 1), 0) == 0 : line == want;
}

struct OutputCase {
    const char* name;
    std::string args;  // "$HOME" stands for the test's home folder
    int status;
    // --json: lines the checker must list; text: the output's last lines.
    Lines expected;
};

void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.name; }

// System Sys: A whole, B absent, C half there, D's ROM in a stray archive,
// E's archive named in the wrong letter case, an archive that is no zip, a
// file nobody wants; system Other: O whole. Source files for a rebuild, and
// a zip to identify.
class SummaryOutput : public testing::CliTest, public ::testing::WithParamInterface<OutputCase> {
protected:
    void SetUp() override {
        useRomsFolder();
        std::vector<RomRow> rows;
        for (const char* name : {"Sys/A/a1.bin", "Sys/A/a2.bin", "Sys/B/b1.bin", "Sys/C/c1.bin", "Sys/C/c2.bin",
                                 "Sys/D/d1.bin", "Sys/E/e1.bin", "Other/O/o1.bin", "-/-/n.bin"}) {
            // Each ROM's content is its own name; n.bin is no ROM.
            const std::string path = name, rom = path.substr(path.rfind('/') + 1);
            writeFile(home.file("content/") + rom, rom);
            if (path[0] == '-') continue;
            rows.push_back(testing::romRow(path.substr(0, path.find('/')), path.substr(path.find('/') + 1, 1),
                                           crcOf(rom), rom, std::to_string(rom.size())));
        }
        addRoms(rows);
        ASSERT_EQ(runShell("cd " + home.file("content") +
                           " && mkdir -p ../roms/Sys ../roms/Other ../src && "
                           "zip -q ../roms/Sys/A.zip a1.bin a2.bin && zip -q ../roms/Sys/C.zip c1.bin && "
                           "zip -q ../roms/Sys/stray.zip d1.bin && zip -q ../roms/Sys/e.zip e1.bin && "
                           "zip -q ../roms/Other/O.zip o1.bin && zip -q ../src/pack.zip c2.bin n.bin && "
                           "zip -q ../drop.zip a1.bin n.bin"),
                  0);
        writeFile(home.file("roms/Sys/bad.zip"), "PK\x03\x04 no archive");
        writeFile(home.file("roms/Sys/note.txt"), "not a rom");
        writeFile(home.file("src/one.bin"), "b1.bin");
        writeFile(home.file("src/junk.txt"), "nobody wants this");
        const std::string game = "game (\n\tname g\n\trom ( name a size 1 crc 1 )\n\trom ( name b size 1 crc 2 )\n)\n";
        writeFile(home.file("new.dat"), "clrmamepro (\n\tname New\n\tversion 1\n)\n" + game);
        writeFile(home.file("again.dat"), "clrmamepro (\n\tname Sys\n\tversion 2\n)\n" + game);
    }
};

class JsonDocuments : public SummaryOutput {};

TEST_P(JsonDocuments, FollowTheDocumentedShapeAndHoldTheJobsCounts) {
    const OutputCase& c = GetParam();
    std::string out;
    EXPECT_EQ(runShell(cmd(expand(c.args)) + " >" + home.file("doc.json") + " 2>" + home.file("err.txt")), c.status)
        << readFile(home.file("err.txt"));
    ASSERT_EQ(runCapture("python3 " QUORVANE_SOURCE_DIR "/tests/cli/check_report_json.py " + home.file("doc.json") +
                             " 2>&1",
                         out),
              0)
        << out;
    const Lines listed = linesOf(out);
    for (const std::string& line : c.expected) {
        const std::string want = expand(line);
        EXPECT_TRUE(std::any_of(listed.begin(), listed.end(), [&](const std::string& l) { return matches(l, want); }))
            << want << "\n"
            << out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, JsonDocuments,
    ::testing::Values(
        OutputCase{"Scan",
                   "scan --json Sys",
                   0,
                   {"summary gamesComplete=1", "summary gamesIncomplete=3", "summary gamesMissing=1",
                    "summary romsHave=3", "summary romsMissing=2", "summary romsFoundElsewhere=2",
                    "summary archivesUnreadable=1", "summary Sys.gamesComplete=1", "game Sys/A complete",
                    "game Sys/B missing", "file Sys/C/c2.bin missing", "file Sys/D/d1.bin found elsewhere",
                    "message Error in zip bad.zip: *", "message Romset Sys has been scanned."}},
        OutputCase{"Fix",
                   "fix --json Sys",
                   0,
                   {"summary movedIntoSets=1", "summary renamed=1", "summary movedToBackup=3", "summary stepsFailed=0",
                    "summary gamesComplete=3", "game Sys/E complete renamed", "file Sys/D/d1.bin have moved into set",
                    "action moved into set d1.bin from $HOME/roms/Sys/stray.zip to $HOME/roms/Sys/D.zip",
                    "action renamed e.zip from $HOME/roms/Sys/e.zip to $HOME/roms/Sys/E.zip",
                    "action moved to backup note.txt from $HOME/roms/Sys/note.txt to $HOME/Backup/*",
                    "message Romset Sys has been fixed."}},
        OutputCase{"ScanOfTwoSystems",
                   "scan --json Sys Other",
                   0,
                   {"summary gamesComplete=2", "summary Sys.gamesComplete=1", "summary Other.gamesComplete=1",
                    "summary Other.romsHave=1", "game Other/O complete", "message Romsets have been scanned."}},
        OutputCase{"Rebuild",
                   "rebuild --json $HOME/src",
                   0,
                   {"summary gamesCompleted=1", "summary romsAdded=2", "summary sourcesUsed=2",
                    "summary sourcesUnused=1", "summary stepsFailed=0", "unused $HOME/src/junk.txt",
                    "file Sys/B/b1.bin have added", "file Sys/C/c2.bin have added",
                    "action added one.bin from $HOME/src/one.bin to $HOME/roms/Sys/B.zip",
                    "message Rebuild complete."}},
        OutputCase{"RebuildFailing",
                   "rebuild --json --files $HOME/nothing.bin",
                   1,
                   {"summary romsAdded=0", "summary sourcesUnused=1", "summary stepsFailed=1",
                    "unused $HOME/nothing.bin"}},
        OutputCase{"Identify",
                   "identify --json $HOME/drop.zip $HOME/roms/Sys/bad.zip",
                   1,
                   {"summary matched=1", "summary notMatched=1", "summary unreadable=1", "hit drop.zip Sys/A/a1.bin",
                    "not matched n.bin in $HOME/drop.zip", "message Cannot read $HOME/roms/Sys/bad.zip: *"}},
        OutputCase{"Import",
                   "import --json --ignore $HOME/new.dat $HOME/roms/Sys/note.txt $HOME/again.dat",
                   1,
                   {"summary imported=1", "summary notReplaced=1", "summary failed=1",
                    "file $HOME/new.dat imported New 2", "file $HOME/roms/Sys/note.txt failed  0",
                    "file $HOME/again.dat not replaced Sys 0",
                    "message $HOME/roms/Sys/note.txt is not a DAT file; nothing imported.",
                    "message Import completed: 1 file imported, 1 not replaced, 1 failed."}},
        OutputCase{"IdentifyAndRebuild",
                   "identify --json --rebuild --yes $HOME/drop.zip",
                   0,
                   {"summary matched=1", "summary rebuild.romsAdded=1", "summary rebuild.sourcesUsed=1",
                    "file Sys/A/a1.bin have added", "message Rebuild complete."}}),
    [](const ::testing::TestParamInfo<OutputCase>& p) { return std::string(p.param.name); });

// A job that does not start leaves no document: its refusal goes to standard error.
TEST_F(JsonDocuments, AJobThatCannotStartPrintsNoDocumentAndSaysWhyOnStandardError) {
    writeFile(home.file("plain"), "a file where a folder would go");
    writeSettings("basedir=" + home.file("plain/roms") + "\n" + testing::kCategoriesAtBasedir);
    std::string out;
    EXPECT_EQ(run("scan --json Sys 2>" + home.file("err.txt"), out), 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(readFile(home.file("err.txt")).find(home.file("plain/roms")), std::string::npos)
        << readFile(home.file("err.txt"));
}

class TextSummaries : public SummaryOutput {};

TEST_P(TextSummaries, EndTheOutput) {
    const OutputCase& c = GetParam();
    std::string out;
    EXPECT_EQ(run(expand(c.args) + " 2>/dev/null </dev/null", out), c.status) << out;
    const Lines lines = linesOf(out);
    ASSERT_GE(lines.size(), c.expected.size()) << out;
    const Lines tail(lines.end() - static_cast<std::ptrdiff_t>(c.expected.size()), lines.end());
    for (size_t i = 0; i < tail.size(); ++i)
        EXPECT_TRUE(matches(tail[i], expand(c.expected[i]))) << tail[i] << "\n" << out;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, TextSummaries,
    ::testing::Values(
        OutputCase{"Scan",
                   "scan Sys",
                   0,
                   {"Romset Sys has been scanned.", "Summary of Sys ($HOME/roms/Sys):",
                    "  Games: 1 complete, 3 incomplete, 1 missing", "  ROMs: 3 have, 2 missing, 2 found elsewhere",
                    "  Archives unreadable: 1"}},
        OutputCase{"FixOfTwoSystems",
                   "fix Sys Other",
                   0,
                   {"Romset have been fixed.", "Summary of Sys ($HOME/roms/Sys):",
                    "  Games: 3 complete, 1 incomplete, 1 missing", "  ROMs: 5 have, 2 missing, 0 found elsewhere",
                    "  Archives unreadable: 1", "  Files: 1 moved into sets, 1 renamed, 3 moved to the backup folder",
                    "  Steps failed: 0", "Summary of Other ($HOME/roms/Other):",
                    "  Games: 1 complete, 0 incomplete, 0 missing", "  ROMs: 1 have, 0 missing, 0 found elsewhere",
                    "  Archives unreadable: 0", "  Files: 0 moved into sets, 0 renamed, 0 moved to the backup folder",
                    "  Steps failed: 0", "Total of 2 systems:", "  Games: 4 complete, 1 incomplete, 1 missing",
                    "  ROMs: 6 have, 2 missing, 0 found elsewhere", "  Archives unreadable: 1",
                    "  Files: 1 moved into sets, 1 renamed, 3 moved to the backup folder", "  Steps failed: 0",
                    "Backup folder: $HOME/Backup/*"}},
        OutputCase{"Rebuild",
                   "rebuild $HOME/src",
                   0,
                   {"Rebuild complete.", "Summary of the rebuild from $HOME/src:", "  Games completed: 1",
                    "  ROMs added: 2", "  Source files: 2 used, 1 unused", "  Steps failed: 0"}},
        OutputCase{"Identify",
                   "identify $HOME/drop.zip",
                   0,
                   {"drop.zip\tSys\tA\ta1.bin\tN", "Summary: files 1 matched, 1 not matched; archives unreadable: 0",
                    "  Not matched: n.bin in $HOME/drop.zip"}}),
    [](const ::testing::TestParamInfo<OutputCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace quorvane
