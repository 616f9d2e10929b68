#include "ui/splash_screen.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "core/version.h"
#include "ui/main_window.h"
#include "ui/status_icons.h"

namespace quorvane {

SplashScreen::SplashScreen(MainWindow& main) : QWidget(nullptr, Qt::SplashScreen | Qt::WindowStaysOnTopHint), main_(main) {
    auto* layout = new QVBoxLayout(this);
    auto* picture = new QLabel(this);
    picture->setPixmap(programIcon().pixmap(64, 64));
    picture->setAlignment(Qt::AlignCenter);
    layout->addWidget(picture);
    auto* name = new QLabel(QString::fromLatin1(kProgramName) + QLatin1Char(' ') + QString::fromLatin1(kVersion), this);
    name->setAlignment(Qt::AlignCenter);
    layout->addWidget(name);
    resize(260, 140);
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, &SplashScreen::firstTick);
    timer->start();
}

void SplashScreen::firstTick() {
    main_.refreshSystems();
    main_.show();
    main_.arrangeWindows();
    hide();
}

}  // namespace quorvane
