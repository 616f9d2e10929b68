// Message boxes and file choosers go through here so tests can answer them.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace quorvane {

class UiDialogs {
public:
    virtual ~UiDialogs() = default;
    virtual void information(QWidget* parent, const QString& text);
    // Warning box with Yes and Ignore / Yes and Abort; true only for Yes.
    virtual bool yesIgnore(QWidget* parent, const QString& text);
    virtual bool yesAbort(QWidget* parent, const QString& text);
    // Existing files the person picks (of the `filter`'s kinds, when given); empty when cancelled.
    virtual QStringList openFileNames(QWidget* parent, const QString& caption, const QString& filter = {});
    // An existing folder the person picks; empty when cancelled.
    virtual QString existingFolder(QWidget* parent, const QString& caption);
};

UiDialogs& uiDialogs();
// Replaces the dialogs (tests); nullptr restores the real ones.
void setUiDialogs(UiDialogs* dialogs);

}  // namespace quorvane
