// The --json documents of scan, fix, rebuild, identify and import, on a
// collection whose damage is known. Each document is checked against the
// documented shape by check_report_json.py, which also lists what it holds as
// plain lines.
#include <algorithm>
#include <sstream>

#include "cli_fixture.h"
#include "support/content_crc.h"

namespace quorvane {
namespace {

using testing::readFile;
using testing::runCapture;
using testing::crcOf;
using testing::runShell;
using testing::writeFile;
using Lines = std::vector<std::string>;

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
    // Lines the checker must list, one per "\n".
    std::string expected;
};

void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.name; }

// System Sys: A whole, B absent, C half there, D's ROM in a stray archive,
// E's archive named in the wrong letter case, an archive that is no zip, a
// file nobody wants; system Other: O whole. Source files for a rebuild, and
// a zip to identify.
class JsonDocuments : public testing::CliTest, public ::testing::WithParamInterface<OutputCase> {
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

TEST_P(JsonDocuments, FollowTheDocumentedShapeAndHoldTheJobsCounts) {
    const OutputCase& c = GetParam();
    std::string out;
    EXPECT_EQ(runShell(cmd(expand(c.args)) + " >" + home.file("doc.json") + " 2>" + home.file("err.txt")), c.status)
        << readFile(home.file("err.txt"));
    ASSERT_EQ(
        runCapture("python3 " QUORVANE_SOURCE_DIR "/tests/cli/check_report_json.py " + home.file("doc.json") + " 2>&1",
                   out),
        0)
        << out;
    const Lines listed = linesOf(out);
    for (const std::string& line : linesOf(c.expected)) {
        const std::string want = expand(line);
        EXPECT_TRUE(std::any_of(listed.begin(), listed.end(), [&](const std::string& l) { return matches(l, want); }))
            << want << "\n"
            << out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, JsonDocuments,
    ::testing::Values(
        OutputCase{"ScanOfTwoSystems", "scan --json Sys Other", 0,
                   "summary gamesComplete=2\nsummary Sys.gamesIncomplete=3\nsummary Sys.romsFoundElsewhere=2\n"
                   "summary Other.romsHave=1\nsummary archivesUnreadable=1\ngame Sys/B missing\n"
                   "file Sys/D/d1.bin found elsewhere\nmessage Error in zip bad.zip: *\n"
                   "message Romsets have been scanned."},
        OutputCase{"Fix", "fix --json Sys", 0,
                   "summary movedIntoSets=1\nsummary renamed=1\nsummary movedToBackup=3\ngame Sys/E complete renamed\n"
                   "file Sys/D/d1.bin have moved into set\n"
                   "action renamed e.zip from $HOME/roms/Sys/e.zip to $HOME/roms/Sys/E.zip\n"
                   "action moved to backup note.txt from $HOME/roms/Sys/note.txt to $HOME/Backup/*\n"
                   "message Romset Sys has been fixed."},
        OutputCase{"Rebuild", "rebuild --json $HOME/src", 0,
                   "summary romsAdded=2\nsummary sourcesUnused=1\nunused $HOME/src/junk.txt\n"
                   "file Sys/C/c2.bin have added\naction added one.bin from $HOME/src/one.bin to $HOME/roms/Sys/B.zip\n"
                   "message Rebuild complete."},
        OutputCase{"Identify", "identify --json $HOME/drop.zip $HOME/roms/Sys/bad.zip", 1,
                   "summary matched=1\nsummary notMatched=1\nsummary unreadable=1\nhit drop.zip Sys/A/a1.bin\n"
                   "not matched n.bin in $HOME/drop.zip\nmessage Cannot read $HOME/roms/Sys/bad.zip: *"},
        OutputCase{"Import", "import --json --ignore $HOME/new.dat $HOME/roms/Sys/note.txt $HOME/again.dat", 1,
                   "summary imported=1\nsummary notReplaced=1\nsummary failed=1\nfile $HOME/new.dat imported New 2\n"
                   "file $HOME/roms/Sys/note.txt failed  0\nfile $HOME/again.dat not replaced Sys 0\n"
                   "message $HOME/roms/Sys/note.txt is not a DAT file; nothing imported.\n"
                   "message Import completed: 1 file imported, 1 not replaced, 1 failed."},
        OutputCase{"IdentifyAndRebuild", "identify --json --rebuild --yes $HOME/drop.zip", 0,
                   "summary matched=1\nsummary rebuild.romsAdded=1\nsummary rebuild.sourcesUsed=1\n"
                   "file Sys/A/a1.bin have added\nmessage Rebuild complete."}),
    [](const ::testing::TestParamInfo<OutputCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace quorvane
