#include "engine/folder_stamps.h"

#include <algorithm>

namespace quorvane {

FolderStamps::FolderStamps(int folderFd, const std::vector<std::string>& names, unsigned threads)
    : folder_(folderFd), names_(names), parts_(std::max(1u, threads)), helpers_(parts_ - 1) {}

void FolderStamps::stampRange(size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) stamps_[i - first_] = stampAt(folder_, names_[i]);
}

const std::vector<FileStamp>& FolderStamps::block(size_t first) {
    const size_t end = std::min(names_.size(), first + kBlock);
    first_ = first;
    stamps_.assign(end > first ? end - first : 0, FileStamp{});
    const size_t count = stamps_.size();
    const size_t parts = std::min<size_t>(parts_, std::max<size_t>(1, count / 64));
    const size_t share = (count + parts - 1) / parts;
    {
        std::lock_guard lock(mutex_);
        pending_ = static_cast<unsigned>(parts - 1);
    }
    for (size_t p = 1; p < parts; ++p) {
        const size_t from = first + p * share, to = std::min(end, from + share);
        helpers_.run([this, from, to] {
            if (from < to) stampRange(from, to);
            std::lock_guard lock(mutex_);
            if (--pending_ == 0) done_.notify_one();
        });
    }
    stampRange(first, std::min(end, first + share));
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    return stamps_;
}

}  // namespace quorvane
