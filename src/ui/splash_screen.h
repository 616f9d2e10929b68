// The splash window: shown at start; at its first tick the systems are
// listed, the main window shown and the satellite windows arranged.
#pragma once

#include <QWidget>

namespace quorvane {

class MainWindow;

class SplashScreen : public QWidget {
    Q_OBJECT
public:
    explicit SplashScreen(MainWindow& main);

    // What the first tick does (public so a test can run it without waiting).
    void firstTick();

private:
    MainWindow& main_;
};

}  // namespace quorvane
