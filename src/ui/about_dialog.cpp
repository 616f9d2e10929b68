#include "ui/about_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "core/version.h"
#include "ui/status_icons.h"

namespace quorvane {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kProgramName) + QLatin1Char(' ') + QString::fromLatin1(kVersion));
    auto* layout = new QHBoxLayout(this);
    auto* picture = new QLabel(this);
    picture->setPixmap(programIcon().pixmap(64, 64));
    layout->addWidget(picture);
    auto* texts = new QVBoxLayout;
    auto* name = new QLabel(QStringLiteral("Quorvane"), this);
    QFont f = name->font();
    f.setPointSize(f.pointSize() * 2);
    f.setBold(true);
    name->setFont(f);
    texts->addWidget(name);
    texts->addWidget(new QLabel(QStringLiteral("Keeps ROM-set collections complete and correct."), this));
    layout->addLayout(texts);
    setFixedSize(sizeHint());
}

}  // namespace quorvane
