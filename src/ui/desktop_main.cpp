#include "ui/desktop_main.h"

#include <QApplication>
#include <cstdio>

#include "core/program_folders.h"
#include "core/settings.h"
#include "ui/main_window.h"
#include "ui/splash_screen.h"
#include "ui/screenshot_tour.h"

namespace quorvane {

int runDesktop(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    std::vector<std::string> warnings;
    Settings settings = loadSettings(locateProgramFolders(), &warnings);
    for (const std::string& w : warnings) std::fprintf(stderr, "%s\n", w.c_str());
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
