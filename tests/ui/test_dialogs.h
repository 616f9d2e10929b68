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
        return choose(QStringLiteral("openFileNames: ") + caption);
    }
    QString existingFolder(QWidget*, const QString& caption) override {
        return choose(QStringLiteral("existingFolder: ") + caption).value(0);
    }

    QStringList shown;
    std::deque<bool> answers;
    std::deque<QStringList> files;  // what each file chooser returns

private:
    QStringList choose(const QString& text) {
        shown << text;
        if (files.empty()) return {};
        const QStringList chosen = files.front();
        files.pop_front();
        return chosen;
    }
    bool answer(const QString& text) {
        shown << text;
        if (answers.empty()) return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
};

}  // namespace quorvane::testing
