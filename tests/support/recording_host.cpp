#include "support/recording_host.h"

namespace quorvane::testing {

void RecordingHost::record(const std::string& kind, const std::string& text) {
    std::lock_guard lock(mutex_);
    events_.push_back(kind + ": " + text);
}

std::vector<std::string> RecordingHost::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<std::string> RecordingHost::eventsOf(const std::string& kind) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    const std::string prefix = kind + ": ";
    for (const std::string& e : events_)
        if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e.substr(prefix.size()));
    return out;
}

std::vector<std::string> RecordingHost::tree() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const std::string& e : events_) {
        if (e.rfind("file: ", 0) == 0) out.push_back(e.substr(6));
        else if (e.rfind("finding: ", 0) == 0) out.push_back("  " + e.substr(9));
    }
    return out;
}

bool RecordingHost::answer(const std::string& kind, const std::string& text) {
    record(kind, text);
    std::lock_guard lock(mutex_);
    if (answers.empty()) return defaultAnswer;
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

DupesAnswer RecordingHost::askDuplicates(const std::string& fileName, const std::string& archivePath,
                                         const std::vector<RomMatch>& matches) {
    std::string games;
    for (const RomMatch& m : matches) games += (games.empty() ? "" : ",") + m.game;
    record("askDuplicates", fileName + " | " + archivePath + " | " + games);
    std::lock_guard lock(mutex_);
    if (dupesAnswers.empty()) return DupesAnswer{};
    DupesAnswer a = dupesAnswers.front();
    dupesAnswers.pop_front();
    return a;
}

void RecordingHost::onStartProgress(const std::string& action, int maximum) {
    record("startProgress", action + " / " + std::to_string(maximum));
}

void RecordingHost::onUpdateProgress(const std::string& item, int position) {
    record("progress", item + " @ " + std::to_string(position));
    if (onProgress) onProgress(item, position);
}

}  // namespace quorvane::testing
