// A job host that keeps every call in order, so tests can assert exactly what
// a person would have seen and answered.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/job_host.h"
#include "core/job_report.h"

namespace quorvane::testing {

class RecordingHost : public JobHost {
public:
    // Every call as one line: "kind: text" (progress calls carry numbers).
    std::vector<std::string> events() const;
    // Only the lines of one kind, without the "kind: " prefix.
    std::vector<std::string> eventsOf(const std::string& kind) const;
    std::vector<std::string> messages() const { return eventsOf("message"); }

    // Answers for the questions, taken in order; when empty: `defaultAnswer`.
    std::deque<bool> answers;
    bool defaultAnswer = false;
    std::deque<DupesAnswer> dupesAnswers;
    // Called on every progress update (a test may request a cancel here).
    std::function<void(const std::string& item, int position)> onProgress;

    // The last report handed over (kept aside, not among the events).
    std::shared_ptr<const JobReport> report() const { std::lock_guard lock(mutex_); return report_; }
    void addReport(std::shared_ptr<const JobReport> r) override { std::lock_guard g(mutex_); report_ = std::move(r); }

    void addMessage(const std::string& text) override { record("message", text); }
    void addFileNode(const std::string& file) override { record("file", file); }
    void addFileFinding(const std::string& message) override { record("finding", message); }
    void clearFileTree() override { record("clearTree", ""); }
    void showInformation(const std::string& text) override { record("info", text); }
    bool askYesIgnore(const std::string& text) override { return answer("askYesIgnore", text); }
    bool askYesAbort(const std::string& text) override { return answer("askYesAbort", text); }
    DupesAnswer askDuplicates(const std::string& fileName, const std::string& archivePath,
                              const std::vector<RomMatch>& matches) override;

protected:
    void onStartProgress(const std::string& action, int maximum) override;
    void onUpdateProgress(const std::string& item, int position) override;
    void onSetProgressMax(int maximum) override { record("progressMax", std::to_string(maximum)); }
    void onCloseProgress() override { record("closeProgress", ""); }

private:
    void record(const std::string& kind, const std::string& text);
    bool answer(const std::string& kind, const std::string& text);

    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::shared_ptr<const JobReport> report_;
};

}  // namespace quorvane::testing
