#include "engine/folder_stamps.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace quorvane {

namespace {

// Names a thread takes at a time: a few hundred microseconds of stat calls.
constexpr size_t kShare = 64;

unsigned helpersFor(unsigned threads) {
    if (threads == OrderedLoader::kOnCallingThread) return 0;
    if (threads == 0) threads = OrderedLoader::defaultThreads();
    return threads - 1;
}

}  // namespace

FolderStamps::FolderStamps(const std::string& folderPath, const std::vector<std::string>& names, unsigned threads)
    : folder_(::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)),
      names_(names),
      helpers_(helpersFor(threads)),
      pool_(helpers_) {}

FolderStamps::~FolderStamps() {
    // The helpers use the folder until they are done.
    finish();
    if (folder_ >= 0) ::close(folder_);
}

void FolderStamps::start(size_t first) {
    first_ = first;
    end_ = std::min(names_.size(), first + kBlock);
    stamps_.assign(end_ > first ? end_ - first : 0, FileStamp{});
    next_ = first;
    started_ = true;
    // A helper for each few shares of the block, at most one per thread.
    const size_t wanted = std::min<size_t>(helpers_, stamps_.size() / (2 * kShare));
    {
        std::lock_guard lock(mutex_);
        pending_ = static_cast<unsigned>(wanted);
    }
    for (size_t h = 0; h < wanted; ++h) {
        pool_.run([this] {
            takeStamps();
            std::lock_guard lock(mutex_);
            if (--pending_ == 0) done_.notify_one();
        });
    }
}

void FolderStamps::takeStamps() {
    for (size_t at; (at = next_.fetch_add(kShare)) < end_;)
        for (size_t i = at; i < std::min(end_, at + kShare); ++i) stamps_[i - first_] = stampAt(folder_, names_[i]);
}

void FolderStamps::startFirstBlock() {
    if (helpers_ > 0 && !started_) start(0);
}

void FolderStamps::finish() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    started_ = false;
}

const std::vector<FileStamp>& FolderStamps::block(size_t first) {
    if (started_ && first_ != first) finish();
    if (!started_) start(first);
    takeStamps();
    finish();
    return stamps_;
}

}  // namespace quorvane
