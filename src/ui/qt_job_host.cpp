#include "ui/qt_job_host.h"

#include <future>

#include "presentation/job_summary.h"
#include "ui/gui_thread.h"
#include "ui/messages_window.h"
#include "ui/progress_dialog.h"
#include "ui/ui_dialogs.h"

namespace quorvane {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

QtJobHost::QtJobHost(ProgressDialog& progress, MessagesWindow& messages, JobViews& views, QObject* parent)
    : QObject(parent), progress_(progress), messages_(messages), views_(views) {
    progress_.setJobHost(this);
}

void QtJobHost::onGui(const std::function<void()>& work) { runOnGuiThreadAndWait(*this, work); }

void QtJobHost::onStartProgress(const std::string& action, int maximum) {
    onGui([&] { progress_.startProgress(q(action), maximum); });
}

void QtJobHost::onUpdateProgress(const std::string& item, int position) {
    onGui([&] { progress_.updateProgress(q(item), position); });
}

void QtJobHost::onSetProgressMax(int maximum) {
    onGui([&] { progress_.setProgressMax(maximum); });
}

void QtJobHost::onCloseProgress() {
    onGui([&] { progress_.closeProgress(); });
}

void QtJobHost::addMessage(const std::string& text) {
    onGui([&] {
        messages_.addMessage(q(text));
        messages_.show();
    });
}

void QtJobHost::addFileNode(const std::string& file) {
    onGui([&] { messages_.addFileNode(q(file)); });
}

void QtJobHost::addFileFinding(const std::string& message) {
    onGui([&] {
        messages_.addFileFinding(q(message));
        messages_.show();
    });
}

void QtJobHost::clearFileTree() {
    onGui([&] { messages_.clearTree(); });
}

void QtJobHost::addReport(std::shared_ptr<const JobReport> report) {
    if (!report) return;
    std::string text;
    for (const std::string& line : summaryLines(*report)) text += (text.empty() ? "" : "\n") + line;
    addMessage(text);
}

void QtJobHost::showInformation(const std::string& text) {
    onGui([&] { uiDialogs().information(views_.dialogParent(), q(text)); });
}

bool QtJobHost::askYesIgnore(const std::string& text) {
    bool yes = false;
    onGui([&] { yes = uiDialogs().yesIgnore(views_.dialogParent(), q(text)); });
    return yes;
}

bool QtJobHost::askYesAbort(const std::string& text) {
    bool yes = false;
    onGui([&] { yes = uiDialogs().yesAbort(views_.dialogParent(), q(text)); });
    return yes;
}

DupesAnswer QtJobHost::askDuplicates(const std::string& fileName, const std::string& archivePath,
                                     const std::vector<RomMatch>& matches) {
    // The dialog is not modal: the job waits on the answer, the GUI stays live.
    auto promise = std::make_shared<std::promise<DupesAnswer>>();
    std::future<DupesAnswer> answer = promise->get_future();
    QMetaObject::invokeMethod(
        this,
        [this, fileName, archivePath, matches, promise] {
            views_.askDuplicates(fileName, archivePath, matches,
                                 [promise](DupesAnswer a) { promise->set_value(std::move(a)); });
        },
        Qt::QueuedConnection);
    return answer.get();
}

}  // namespace quorvane
