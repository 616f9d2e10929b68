#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <thread>

#include "ui/gui_thread.h"

namespace quorvane {
namespace {

TEST(GuiThread, RunsTheWorkThereAndReturnsAfterIt) {
    QObject context;
    QThread* ranOn = nullptr;
    bool ranBeforeReturn = false;
    std::atomic<bool> done{false};
    std::thread job([&] {
        runOnGuiThreadAndWait(context, [&] { ranOn = QThread::currentThread(); });
        ranBeforeReturn = ranOn != nullptr;
        done = true;
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    job.join();
    EXPECT_EQ(ranOn, QThread::currentThread());
    EXPECT_TRUE(ranBeforeReturn);

    // Called on the GUI thread itself it runs at once instead of waiting for itself.
    bool ran = false;
    runOnGuiThreadAndWait(context, [&] { ran = true; });
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace quorvane
