#include "ui/ui_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace quorvane {

namespace {
UiDialogs realDialogs;
UiDialogs* current = &realDialogs;
}  // namespace

void UiDialogs::information(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QStringLiteral("Quorvane"), text, QMessageBox::Ok);
}

bool UiDialogs::yesIgnore(QWidget* parent, const QString& text) {
    return QMessageBox::warning(parent, QStringLiteral("Quorvane"), text, QMessageBox::Yes | QMessageBox::Ignore) ==
           QMessageBox::Yes;
}

bool UiDialogs::yesAbort(QWidget* parent, const QString& text) {
    return QMessageBox::warning(parent, QStringLiteral("Quorvane"), text, QMessageBox::Yes | QMessageBox::Abort) ==
           QMessageBox::Yes;
}

QStringList UiDialogs::openFileNames(QWidget* parent, const QString& caption, const QString& filter) {
    return QFileDialog::getOpenFileNames(parent, caption, QString(), filter, nullptr, QFileDialog::ReadOnly);
}

QString UiDialogs::existingFolder(QWidget* parent, const QString& caption) {
    return QFileDialog::getExistingDirectory(parent, caption, QString(),
                                             QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly);
}

UiDialogs& uiDialogs() { return *current; }
void setUiDialogs(UiDialogs* dialogs) { current = dialogs ? dialogs : &realDialogs; }

}  // namespace quorvane
