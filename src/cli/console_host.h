// The command line's job host: a progress bar on a terminal (plain lines
// otherwise), messages and per-file findings as text, questions answered by
// flags or at a prompt.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "core/job_host.h"
#include "core/job_report.h"

namespace quorvane {

enum class QuestionPolicy { Ask, Yes, No };
enum class DupesPolicy { Ask, All, Never, Name };

class ConsoleHost : public JobHost {
public:
    ConsoleHost(FILE* out = stdout, FILE* err = stderr);

    void setQuestionPolicy(QuestionPolicy policy) { questions_ = policy; }
    void setDupesPolicy(DupesPolicy policy) { dupes_ = policy; }

    void addMessage(const std::string& text) override;
    void addFileNode(const std::string& file) override;
    void addFileFinding(const std::string& message) override;
    void clearFileTree() override {}

    void showInformation(const std::string& text) override;
    bool askYesIgnore(const std::string& text) override;
    bool askYesAbort(const std::string& text) override;
    DupesAnswer askDuplicates(const std::string& fileName, const std::string& archivePath,
                              const std::vector<RomMatch>& matches) override;

    void addReport(std::shared_ptr<const JobReport> report) override { report_ = std::move(report); }
    // The last job's report; nullptr when it made none (it did not run).
    const std::shared_ptr<const JobReport>& report() const { return report_; }

protected:
    void onStartProgress(const std::string& action, int maximum) override;
    void onUpdateProgress(const std::string& item, int position) override;
    void onSetProgressMax(int maximum) override;
    void onCloseProgress() override;

private:
    bool ask(const std::string& text, const char* yesWord, const char* noWord);
    void clearBar();
    void drawBar(bool force);

    FILE* out_;
    FILE* err_;
    bool terminal_;
    bool inputTerminal_;
    QuestionPolicy questions_ = QuestionPolicy::Ask;
    DupesPolicy dupes_ = DupesPolicy::Ask;
    std::string action_;
    std::string item_;
    int maximum_ = 0;
    int position_ = 0;
    bool barShown_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
    std::shared_ptr<const JobReport> report_;
};

}  // namespace quorvane
