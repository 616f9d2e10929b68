// The splash window: shown at start; a second later it says it is done (the
// program then shows the main window) and hides.
#pragma once

#include <QWidget>

namespace quorvane {

class SplashScreen final : public QWidget {
    Q_OBJECT
public:
    SplashScreen();

    // What the first tick does (public so a test can run it without waiting).
    void firstTick();

signals:
    void done();
};

}  // namespace quorvane
