#include <gtest/gtest.h>

#include "core/job_host.h"
#include "support/recording_host.h"

namespace quorvane {
namespace {

using testing::RecordingHost;

TEST(FileMessageTree, IdenticalConsecutiveFindingsOfOneFileAppearOnce) {
    RecordingHost host;
    FileMessageTree tree(host);
    tree.post("a.zip", "Unknown file x");
    tree.post("a.zip", "Unknown file x");
    tree.post("a.zip", "Other");
    tree.post("a.zip", "Unknown file x");  // not consecutive: shown again
    tree.post("b.zip", "Other");           // another file: shown again
    tree.post("a.zip", "Other");           // back to a.zip: a new node
    EXPECT_EQ(host.tree(), (std::vector<std::string>{"a.zip", "  Unknown file x", "  Other", "  Unknown file x",
                                                     "b.zip", "  Other", "a.zip", "  Other"}));
}

TEST(JobHost, CancelIsClearedOnlyWhenProgressShowsFromHidden) {
    RecordingHost host;
    host.requestCancel();
    host.startProgress("Initializing...", 3);
    EXPECT_FALSE(host.cancelRequested());
    host.requestCancel();
    host.startProgress("next system", 5);  // still shown: request kept
    EXPECT_TRUE(host.cancelRequested());
    host.closeProgress();
    host.startProgress("new job", 1);
    EXPECT_FALSE(host.cancelRequested());
    EXPECT_EQ(host.eventsOf("startProgress"),
              (std::vector<std::string>{"Initializing... / 3", "next system / 5", "new job / 1"}));
}

}  // namespace
}  // namespace quorvane
