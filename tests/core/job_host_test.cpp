// What a job reports: the games' states, the per-file findings, the progress.
#include <gtest/gtest.h>

#include "core/job_host.h"
#include "core/records.h"
#include "support/recording_host.h"

namespace quorvane {
namespace {

using Lines = std::vector<std::string>;

TEST(FileMessageTree, IdenticalConsecutiveFindingsOfOneFileAppearOnce) {
    testing::RecordingHost host;
    FileMessageTree tree(host);
    // Twice in a row: once; not consecutive, another file, back to a.zip: shown again under a new node.
    for (const char* finding : {"a|x", "a|x", "a|Other", "a|x", "b|Other", "a|Other"})
        tree.post(std::string(finding, 1) + ".zip", finding + 2);
    EXPECT_EQ(host.events(), (Lines{"file: a.zip", "finding: x", "finding: Other", "finding: x", "file: b.zip",
                                    "finding: Other", "file: a.zip", "finding: Other"}));
}

TEST(JobHost, CancelIsClearedOnlyWhenProgressShowsFromHidden) {
    testing::RecordingHost host;
    host.requestCancel();
    host.startProgress("Initializing...", 3);
    EXPECT_FALSE(host.cancelRequested());
    host.requestCancel();
    host.startProgress("next system", 5);  // still shown: request kept
    EXPECT_TRUE(host.cancelRequested());
    host.closeProgress();
    host.startProgress("new job", 1);
    EXPECT_FALSE(host.cancelRequested());
    EXPECT_EQ(host.eventsOf("startProgress"), (Lines{"Initializing... / 3", "next system / 5", "new job / 1"}));
}


TEST(GameClassification, FollowsStatusLetters) {
    using enum GameState;
    const std::pair<const char*, GameState> cases[] = {{"Y", Complete},    {"YYP", Incomplete}, {"PP", Incomplete},
                                                       {"P", Incomplete},  {"YN", Incomplete},  {"NP", Incomplete},
                                                       {"NN", Missing},    {"", Missing}};
    for (const auto& [letters, state] : cases) EXPECT_EQ(classifyStatusString(letters), state) << letters;
}

}  // namespace
}  // namespace quorvane
