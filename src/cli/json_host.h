// The console host of a --json run: progress and questions on standard
// error as ever, while messages, findings and notices are kept for the
// document, so standard output holds nothing but it.
#pragma once

#include <string>
#include <vector>

#include "cli/console_host.h"

namespace quorvane {

class JsonWriter;

class JsonHost final : public ConsoleHost {
public:
    JsonHost() : ConsoleHost(stderr, stderr) {}

    void addMessage(const std::string& text) override { messages_.push_back(text); }
    void addFileNode(const std::string& file) override { node_ = file; }
    void addFileFinding(const std::string& message) override { findings_.push_back({node_, message}); }
    void showInformation(const std::string& text) override { messages_.push_back(text); }

    // "messages": [text...], "findings": [{"file": ..., "text": ...}...]
    void writeMessages(JsonWriter& out) const;
    // What was kept, as lines on `out`: for a job that did not start, whose
    // refusal then goes to standard error instead of a document.
    void printMessages(FILE* out) const;

private:
    struct Finding {
        std::string file;
        std::string text;
    };
    std::vector<std::string> messages_;
    std::string node_;
    std::vector<Finding> findings_;
};

}  // namespace quorvane
