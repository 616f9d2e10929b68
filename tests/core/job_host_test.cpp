// The progress a job shows and its cancel request.
#include <gtest/gtest.h>

#include "core/job_host.h"
#include "support/recording_host.h"

namespace quorvane {
namespace {

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
}


}  // namespace
}  // namespace quorvane
