#include "cli_fixture.h"
#include "core/file_util.h"

namespace quorvane {
namespace {

using testing::writeFile;

class AnalysisCommands : public testing::CliTest {
protected:
    void SetUp() override {
        useRomsFolder();
        // CRC-32 of "hello", then of "world" twice.
        addRoms({testing::romRow("Sys", "A", "3610a686", "a.bin", "5"),
                 testing::romRow("Sys", "B", "3a771143", "b.bin", "5"),
                 testing::romRow("Sys", "C", "3a771143", "c.bin", "5")});
    }
};

TEST_F(AnalysisCommands, AFixWhoseStepsFailedSaysSoAndExitsOne) {
    writeFile(home.file("Backup"), "a file where the backup folder would go");
    writeFile(home.file("roms/Sys/note.txt"), "not a rom");
    runSteps({{.args = "fix Sys 2>/dev/null",
               .status = 1,
               .has = {"note.txt could not be moved to the backup folder (Not a directory)",
                       "1 step failed: see the messages above.", "Romset Sys has not been fully fixed: 1 step failed."},
               .lacks = {"note.txt deleted"},
               .files = {{"$HOME/roms/Sys/note.txt", "not a rom"}}}});
}

TEST_F(AnalysisCommands, RebuildPrintsWhatItDidAndAsksNothingWithoutATerminal) {
    writeFile(home.file("src/w.bin"), "world");
    // "world" matches two ROMs: --dupes never builds neither.
    runSteps({{.args = "rebuild --dupes never --files $HOME/src/w.bin 2>/dev/null",
               .has = {" - Rebuilding from 1 chosen file into $HOME/roms\n--\nRebuild complete.\n"
                       "Summary of the rebuild:\n  Games completed: 0\n  ROMs added: 0\n"
                       "  Source files: 0 used, 1 unused\n  Steps failed: 0\n"},
               .absent = {"$HOME/roms/Sys/B.zip"}},
              // A listed file that is not there is named as such, not as a bad zip.
              {.args = "rebuild --files $HOME/src/gone.zip 2>/dev/null",
               .status = 1,
               .has = {"Error in zip $HOME/src/gone.zip: -200 (file not found)\n"}},
              // Without a terminal, "ask" builds every listed match.
              {.args = "rebuild $HOME/src </dev/null 2>/dev/null"}});
    for (const char* set : {"B", "C"}) EXPECT_TRUE(isRegularFile(home.file("roms/Sys/") + set + ".zip")) << set;
}

}  // namespace
}  // namespace quorvane
