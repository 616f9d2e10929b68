// Message boxes answered by the test, with every text kept.
#pragma once

#include <QStringList>
#include <deque>

#include "ui/ui_dialogs.h"

namespace quorvane::testing {

class TestDialogs final : public UiDialogs {
public:
    TestDialogs() { setUiDialogs(this); }
    ~TestDialogs() override { setUiDialogs(nullptr); }

    void information(QWidget*, const QString& text) override { shown << QStringLiteral("info: ") + text; }
    bool yesIgnore(QWidget*, const QString& text) override { return answer(QStringLiteral("yesIgnore: ") + text); }
    bool yesAbort(QWidget*, const QString& text) override { return answer(QStringLiteral("yesAbort: ") + text); }
    QStringList openFileNames(QWidget*, const QString& caption, const QString& = {}) override {
        shown << QStringLiteral("openFileNames: ") + caption;
        if (files.empty()) return {};
        QStringList chosen = files.front();
        files.pop_front();
        return chosen;
    }

    QString existingFolder(QWidget*, const QString& caption) override {
        shown << QStringLiteral("existingFolder: ") + caption;
        const QStringList chosen = openFileNames(nullptr, caption);
        shown.removeLast();
        return chosen.value(0);
    }

    QStringList shown;
    std::deque<bool> answers;
    std::deque<QStringList> files;  // what each file chooser returns

private:
    bool answer(const QString& text) {
        shown << text;
        if (answers.empty()) return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
};

}  // namespace quorvane::testing
