// The desktop program's job host: every call runs on the GUI thread while the
// job's thread waits (a blocking queued invocation), so what the person sees
// keeps the job's order. Called on the GUI thread itself, it runs directly.
#pragma once

#include <functional>
#include <QObject>

#include "core/job_host.h"

namespace quorvane {

class ProgressDialog;
class MessagesWindow;

// What the host needs from the main window.
class JobViews {
public:
    virtual ~JobViews() = default;
    // Shows the duplicate dialog without blocking; `answered` is called on
    // the GUI thread once the person has chosen.
    virtual void askDuplicates(const std::string& fileName, const std::string& archivePath,
                               const std::vector<RomMatch>& matches,
                               std::function<void(DupesAnswer)> answered) = 0;
    virtual QWidget* dialogParent() = 0;
};

class QtJobHost final : public QObject, public JobHost {
    Q_OBJECT
public:
    QtJobHost(ProgressDialog& progress, MessagesWindow& messages, JobViews& views, QObject* parent = nullptr);

    void addMessage(const std::string& text) override;
    void addFileNode(const std::string& file) override;
    void addFileFinding(const std::string& message) override;
    void clearFileTree() override;
    void showInformation(const std::string& text) override;
    bool askYesIgnore(const std::string& text) override;
    bool askYesAbort(const std::string& text) override;
    DupesAnswer askDuplicates(const std::string& fileName, const std::string& archivePath,
                              const std::vector<RomMatch>& matches) override;
    // The job's summary, into the messages window.
    void addReport(std::shared_ptr<const JobReport> report) override;

protected:
    void onStartProgress(const std::string& action, int maximum) override;
    void onUpdateProgress(const std::string& item, int position) override;
    void onSetProgressMax(int maximum) override;
    void onCloseProgress() override;

private:
    void onGui(const std::function<void()>& work);

    ProgressDialog& progress_;
    MessagesWindow& messages_;
    JobViews& views_;
};

}  // namespace quorvane
