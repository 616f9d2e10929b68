#include "engine/folder_stamps.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace quorvane {

namespace {

// Names a thread takes at a time: a few hundred microseconds of stat calls,
// so that a cancel is seen soon and the last share ends soon after the others.
constexpr size_t kShare = 64;

}  // namespace

FolderStamps::FolderStamps(const std::string& folderPath, std::vector<std::string> names,
                           std::vector<FileStamp> expected)
    : folder_(::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)),
      names_(std::move(names)),
      expected_(std::move(expected)),
      stamps_(names_.size()) {}

FolderStamps::~FolderStamps() {
    if (folder_ >= 0) ::close(folder_);
}

bool FolderStamps::takeShare() {
    const size_t at = next_.fetch_add(kShare);
    if (at >= names_.size()) return false;
    for (size_t i = at; i < std::min(names_.size(), at + kShare); ++i) {
        stamps_[i] = stampAt(folder_, names_[i]);
        if (!expected_.empty() && !(stamps_[i] == expected_[i])) {
            // A changed folder: the rest would be looked at for nothing.
            differs_ = true;
            next_ = names_.size();
            return false;
        }
    }
    return true;
}

void FolderStamps::take() {
    {
        std::lock_guard lock(mutex_);
        ++busy_;
    }
    while (takeShare()) {
    }
    std::lock_guard lock(mutex_);
    if (--busy_ == 0) idle_.notify_all();
}

const std::vector<FileStamp>& FolderStamps::all(const std::function<bool(size_t)>& keepGoing) {
    while ((!keepGoing || keepGoing(std::min<size_t>(next_, names_.size()))) && takeShare()) {
    }
    stop();
    return stamps_;
}

void FolderStamps::stop() {
    // Past the end: no thread claims another share.
    next_ = names_.size();
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return busy_ == 0; });
}

}  // namespace quorvane
