#include "engine/ordered_loader.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

namespace quorvane {

FileStamp stampFrom(const struct stat& st) {
    FileStamp s;
    s.valid = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.modifiedNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.changedNs = static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
    return s;
}

FileStamp stampOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? stampFrom(st) : FileStamp{};
}

FileStamp stampAt(int folderFd, const std::string& name) {
    struct stat st {};
    return ::fstatat(folderFd, name.c_str(), &st, 0) == 0 ? stampFrom(st) : FileStamp{};
}

unsigned OrderedLoader::defaultThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

OrderedLoader::OrderedLoader(size_t count, LoadFn load, unsigned threads, size_t window)
    : count_(count), load_(std::move(load)) {
    if (threads == kOnCallingThread) {
        inline_ = true;
        return;
    }
    if (threads == 0) threads = defaultThreads();
    // Enough look-ahead to keep every worker busy while one slow archive
    // holds up the consumer, and still only a handful of listings in memory.
    window_ = window != 0 ? window : static_cast<size_t>(threads) * 16;
    slots_.resize(window_);
    const size_t useful = count < threads ? count : threads;
    for (size_t i = 0; i < useful; ++i) workers_.emplace_back([this] { work(); });
}

OrderedLoader::~OrderedLoader() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    room_.notify_all();
    for (std::thread& t : workers_) t.join();
}

void OrderedLoader::work() {
    for (;;) {
        size_t index;
        {
            std::unique_lock lock(mutex_);
            ++idleWorkers_;
            room_.wait(lock, [&] { return stopping_ || claimed_ >= count_ || claimed_ < consumed_ + window_; });
            --idleWorkers_;
            if (stopping_ || claimed_ >= count_) return;
            index = claimed_++;
        }
        LoadedItem item;
        item.index = index;
        load_(index, item);
        bool wanted;
        {
            std::lock_guard lock(mutex_);
            slots_[index % window_] = std::move(item);
            // Each index is passed once: the consumer's test below stays
            // constant-time however many items are waited for.
            if (index == readyEnd_)
                while (readyEnd_ < claimed_ && isReady(readyEnd_)) ++readyEnd_;
            wanted = consumerWaiting_ && readyRun() >= wantedRun_;
        }
        // Waking the consumer costs a context switch; it is woken only when
        // a run of items awaits it, not for every file.
        if (wanted) ready_.notify_one();
    }
}

bool OrderedLoader::isReady(size_t index) const {
    const std::optional<LoadedItem>& slot = slots_[index % window_];
    return slot.has_value() && slot->index == index;
}

size_t OrderedLoader::readyRun() const { return std::min(wantedRun_, readyEnd_ - consumed_); }

bool OrderedLoader::next(LoadedItem& out) {
    if (inline_) {
        if (consumed_ >= count_) return false;
        out = LoadedItem();
        out.index = consumed_;
        load_(consumed_++, out);
        return true;
    }
    std::unique_lock lock(mutex_);
    if (consumed_ >= count_) return false;
    std::optional<LoadedItem>& slot = slots_[consumed_ % window_];
    if (readyEnd_ == consumed_) {
        // Half the window or what is left: the workers keep the rest of it busy meanwhile.
        wantedRun_ = std::max<size_t>(1, std::min(window_ / 2, count_ - consumed_));
        consumerWaiting_ = true;
        ready_.wait(lock, [&] { return readyRun() >= wantedRun_; });
        consumerWaiting_ = false;
    }
    out = std::move(*slot);
    slot.reset();
    ++consumed_;
    // Idle workers are woken once half the window is free, not per item.
    const bool wake = idleWorkers_ > 0 && claimed_ - consumed_ <= window_ / 2;
    lock.unlock();
    if (wake) room_.notify_all();
    return true;
}

}  // namespace quorvane
