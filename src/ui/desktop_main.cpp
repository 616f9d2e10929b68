#include "ui/desktop_main.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "ui/main_window.h"
#include "ui/screenshot_tour.h"
#include "ui/splash_screen.h"

namespace quorvane {

namespace {

constexpr int kNoDisplayStatus = 1;

[[noreturn]] void noDisplay() {
    std::fprintf(stderr, "%s\n", kNoDisplayText);
    std::fflush(stderr);
    // Qt is half set up here: leave without running its destructors.
    std::_Exit(kNoDisplayStatus);
}

// Qt chooses xcb or wayland from these; QT_QPA_PLATFORM names any other.
bool displayNamed() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// A named display that cannot be reached ends in a fatal message while the
// application is made; that one becomes the same refusal.
QtMessageHandler previousHandler = nullptr;
void platformStartHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) noDisplay();
    if (previousHandler) previousHandler(type, context, text);
}

}  // namespace

int runDesktop(const char* programPath, Settings& settings) {
    if (!displayNamed()) {
        std::fprintf(stderr, "%s\n", kNoDisplayText);
        return kNoDisplayStatus;
    }
    // Qt's own options (-platform, -style) are not ours to pass on: ours are
    // parsed already.
    int argc = 1;
    char* argv[] = {const_cast<char*>(programPath), nullptr};
    previousHandler = qInstallMessageHandler(platformStartHandler);
    QApplication app(argc, argv);
    qInstallMessageHandler(previousHandler);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    int status;
    {
        MainWindow main(settings);
        SplashScreen splash;
        QObject::connect(&splash, &SplashScreen::done, &main, [&main] {
            main.refreshSystems();
            main.show();
            main.arrangeWindows();
        });
        splash.show();
        // scripts/screenshots: walk the windows, save pictures, quit.
        const QString tourFolder = qEnvironmentVariable("QUORVANE_SCREENSHOT_DIR");
        if (!tourFolder.isEmpty()) startScreenshotTour(main, tourFolder);
        status = QApplication::exec();
    }
    return status;
}

}  // namespace quorvane
