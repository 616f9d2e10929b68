#include "tools/zip_work_list.h"

#include "core/file_util.h"

namespace quorvane {

void ZipWorkList::add(const std::string& path, const std::string& root) {
    size_t n;
    {
        std::lock_guard lock(mutex_);
        lines_.push_back({nextId_++, path, root.empty() ? dirName(path) : root});
        n = lines_.size();
    }
    changed(n);
}

void ZipWorkList::clear() {
    {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }
    changed(0);
}

std::optional<ZipWorkList::Line> ZipWorkList::first() const {
    std::lock_guard lock(mutex_);
    if (lines_.empty()) return std::nullopt;
    return lines_.front();
}

void ZipWorkList::removeFirst(std::uint64_t id) {
    size_t n;
    {
        std::lock_guard lock(mutex_);
        if (!lines_.empty() && lines_.front().id == id) lines_.pop_front();
        n = lines_.size();
    }
    changed(n);
}

size_t ZipWorkList::count() const {
    std::lock_guard lock(mutex_);
    return lines_.size();
}

std::vector<std::string> ZipWorkList::paths() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const Line& l : lines_) out.push_back(l.path);
    return out;
}

void ZipWorkList::changed(size_t count) {
    if (onCountChanged) onCountChanged(count);
}

}  // namespace quorvane
