#include "ui/splash_screen.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "core/version.h"
#include "ui/status_icons.h"

namespace quorvane {

SplashScreen::SplashScreen() : QWidget(nullptr, Qt::SplashScreen | Qt::WindowStaysOnTopHint) {
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
    emit done();
    hide();
}

}  // namespace quorvane
