// A job host for jobs that run with nobody watching (benchmarks, fuzz
// targets): it shows nothing, answers Yes to every question and leaves
// duplicate questions unanswered; messages go to stderr when asked for.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/job_host.h"

namespace quorvane {

class SilentHost final : public JobHost {
public:
    explicit SilentHost(bool echoMessages = false) : echo_(echoMessages) {}

    void addMessage(const std::string& text) override {
        if (echo_) std::fprintf(stderr, "%s\n", text.c_str());
    }
    void addFileNode(const std::string&) override {}
    void addFileFinding(const std::string&) override {}
    void clearFileTree() override {}
    void showInformation(const std::string&) override {}
    bool askYesIgnore(const std::string&) override { return true; }
    bool askYesAbort(const std::string&) override { return true; }
    DupesAnswer askDuplicates(const std::string&, const std::string&, const std::vector<RomMatch>&) override {
        return {};
    }

protected:
    void onStartProgress(const std::string&, int) override {}
    void onUpdateProgress(const std::string&, int) override {}
    void onSetProgressMax(int) override {}
    void onCloseProgress() override {}

private:
    bool echo_;
};

}  // namespace quorvane
