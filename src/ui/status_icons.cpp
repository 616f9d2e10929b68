#include "ui/status_icons.h"

#include <QFileInfo>
#include <QPixmap>
#include <string>

#include "core/records.h"

// Resources compiled into a static library are registered by hand.
static void registerIconResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)registered;
}

namespace quorvane {

namespace {
QIcon load(const char* overrideFile, const char* resource) {
    registerIconResources();
    if (QFileInfo::exists(QString::fromLatin1(overrideFile))) {
        QPixmap pixmap(QString::fromLatin1(overrideFile));
        if (!pixmap.isNull()) return QIcon(pixmap);
    }
    return QIcon(QString::fromLatin1(resource));
}
}  // namespace

QIcon statusIcon(StatusIcon which) {
    switch (which) {
        case StatusIcon::Have: return load("haveicon.bmp", ":/icons/have.png");
        case StatusIcon::Missing: return load("missicon.bmp", ":/icons/missing.png");
        case StatusIcon::Incomplete: return load("incompleteicon.bmp", ":/icons/incomplete.png");
    }
    return {};
}

QIcon systemIcon() {
    registerIconResources();
    return QIcon(QStringLiteral(":/icons/system.png"));
}

QIcon programIcon() {
    registerIconResources();
    return QIcon(QStringLiteral(":/icons/quorvane.png"));
}

QIcon gameIcon(int index) { return statusIcon(static_cast<StatusIcon>(index >= 0 && index <= 2 ? index : 1)); }

QIcon romIcon(const std::string& status) {
    return statusIcon(romStatusOf(status) == RomStatus::Have ? StatusIcon::Have : StatusIcon::Missing);
}

}  // namespace quorvane
