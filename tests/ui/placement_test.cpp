// Window placement under a real X server with a window manager, where a
// window's frame and its client area differ: Xvfb and openbox, started for
// the test when both are installed (scripts/lib/common.sh installs them).
#include <gtest/gtest.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <functional>
#include <memory>

#include "display_server.h"
#include "support/temp_dir.h"
#include "test_dialogs.h"
#include "ui/games_window.h"
#include "ui/main_window.h"
#include "ui/messages_window.h"
#include "ui/satellite_window.h"
#include "ui/systems_window.h"

namespace quorvane {
namespace {

using testing::DisplayServer;
using testing::TempDir;
using testing::TestDialogs;

// Runs `argc`/`argv`'s application on the display for the whole run, or
// leaves it absent when there is none to start.
class ManagedDisplay : public ::testing::Environment {
public:
    void SetUp() override {
        server_ = std::make_unique<DisplayServer>();
        if (!server_->start()) return;
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("DISPLAY", server_->displayName().c_str());
        static int argc = 1;
        static char name[] = "placement_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        ready_ = true;
    }
    void TearDown() override {
        app_.reset();
        server_.reset();
    }
    static bool ready() { return ready_; }

private:
    std::unique_ptr<DisplayServer> server_;
    std::unique_ptr<QApplication> app_;
    static inline bool ready_ = false;
};

// Keeps the events flowing until `done` or `ms` have passed; whether it held.
bool settle(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The window manager's frame is around `w`, and stays where it is for a while.
bool framedAndStill(QWidget& w) {
    if (!settle([&w] { return w.isVisible() && frameOf(w) != w.geometry(); })) return false;
    QRect last = frameOf(w);
    QElapsedTimer still;
    still.start();
    return settle([&] {
        if (frameOf(w) != last) {
            last = frameOf(w);
            still.restart();
        }
        return still.elapsed() > 300;
    });
}

class Placement : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ManagedDisplay::ready()) GTEST_SKIP() << "no Xvfb and openbox to run under";
    }
    TempDir home;
    TestDialogs dialogs;
    Settings load() { return loadSettings(programFoldersIn(home.path())); }
};

// The frame comes back exactly where it was left, however often the
// program starts (it used to creep up by its title bar's height each time).
TEST_F(Placement, MainWindowComesBackWhereItWasLeft) {
    QPoint leftAt;
    for (int start = 0; start < 4; ++start) {
        Settings settings = load();
        MainWindow main(settings);
        main.show();
        ASSERT_TRUE(framedAndStill(main)) << "start " << start;
        if (start == 0) {
            const QPoint client(317, 233);
            main.setGeometry(QRect(client, main.size()));
            ASSERT_TRUE(settle([&] { return main.geometry().topLeft() == client; }));
            ASSERT_TRUE(framedAndStill(main));
            leftAt = frameOf(main).topLeft();
        } else {
            EXPECT_EQ(frameOf(main).topLeft(), leftAt) << "start " << start;
        }
        main.close();
    }
}

// Arranged as at start (shown, then arranged before the window manager has
// framed anything), the satellites' frames sit below the main window's whole
// frame, and follow it when it moves.
TEST_F(Placement, ArrangedSatellitesSitBelowTheMainFrame) {
    Settings settings = load();
    MainWindow main(settings);
    main.refreshSystems();
    main.show();
    main.arrangeWindows();
    SystemsWindow& systems = main.systemsWindow();
    ASSERT_TRUE(framedAndStill(main) && framedAndStill(systems));
    const auto belowMain = [&] { return frameOf(systems).topLeft() == frameOf(main).bottomLeft() + QPoint(0, 1); };
    for (const QPoint move : {QPoint(0, 0), QPoint(40, 60)}) {
        main.setGeometry(main.geometry().translated(move));
        EXPECT_TRUE(settle(belowMain)) << "moved by " << move.y() << ": main frame " << frameOf(main).y() << "+"
                                       << frameOf(main).height() << ", systems frame top " << frameOf(systems).y();
        EXPECT_TRUE(main.arranged());
    }
    main.showSystemGames("none");
    main.arrangeWindows();
    ASSERT_TRUE(framedAndStill(main.gamesWindow()));
    EXPECT_TRUE(settle([&] { return frameOf(main.gamesWindow()).top() == frameOf(systems).top(); }));
    main.close();
}

}  // namespace
}  // namespace quorvane

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new quorvane::ManagedDisplay);
    return RUN_ALL_TESTS();
}
