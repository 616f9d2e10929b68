#include "ui/form_splash.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "core/version.h"
#include "ui/form_main.h"
#include "ui/status_icons.h"

namespace quorvane {

TFormSplash::TFormSplash(TformMain& main) : QWidget(nullptr, Qt::SplashScreen | Qt::WindowStaysOnTopHint), main_(main) {
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
    connect(timer, &QTimer::timeout, this, &TFormSplash::firstTick);
    timer->start();
}

void TFormSplash::firstTick() {
    main_.refreshSystems();
    main_.show();
    main_.arrangeWindows();
    hide();
}

}  // namespace quorvane
