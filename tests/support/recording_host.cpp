#include "support/recording_host.h"

namespace quorvane::testing {

void RecordingHost::record(const std::string& kind, const std::string& text) {
    std::lock_guard lock(mutex_);
    events_.push_back(kind + ": " + text);
}

std::vector<std::string> RecordingHost::events() const { std::lock_guard lock(mutex_); return events_; }

std::vector<std::string> RecordingHost::eventsOf(const std::string& kind) const {
    const std::string prefix = kind + ": ";
    std::vector<std::string> out;
    for (const std::string& e : events())
        if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(prefix.size()));
    return out;
}

// Takes the front of `queue`, or `fallback` when it is empty.
template <typename T>
static T takeFront(std::deque<T>& queue, const T& fallback) {
    if (queue.empty()) return fallback;
    T front = queue.front();
    queue.pop_front();
    return front;
}

bool RecordingHost::answer(const std::string& kind, const std::string& text) {
    record(kind, text);
    std::lock_guard lock(mutex_);
    return takeFront(answers, defaultAnswer);
}

DupesAnswer RecordingHost::askDuplicates(const std::string& fileName, const std::string& archivePath,
                                         const std::vector<RomMatch>& matches) {
    std::string games;
    for (const RomMatch& m : matches) games += (games.empty() ? "" : ",") + m.game;
    record("askDuplicates", fileName + " | " + archivePath + " | " + games);
    std::lock_guard lock(mutex_);
    return takeFront(dupesAnswers, DupesAnswer{});
}

void RecordingHost::onStartProgress(const std::string& action, int maximum) {
    record("startProgress", action + " / " + std::to_string(maximum));
}

void RecordingHost::onUpdateProgress(const std::string& item, int position) {
    record("progress", item + " @ " + std::to_string(position));
    if (onProgress) onProgress(item, position);
}

}  // namespace quorvane::testing
