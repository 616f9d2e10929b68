// The multi-zipper's list of paths: filled by the folder walks, worked off
// by the MultiZipper engine from the front. Safe to use from the engine's
// thread and the front end's at once; `onCountChanged` is called (outside
// the lock) with the new number of lines after every change.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

class ZipWorkList {
public:
    struct Line {
        std::uint64_t id;
        std::string path;
        std::string root;  // the folder the walk that found it started in
    };

    // Appends; duplicates are kept. Without `root` the path counts as found
    // in its own folder.
    void add(const std::string& path, const std::string& root = {});
    void clear();
    std::optional<Line> first() const;
    // Removes the first line if it is still `id` (a "Clear window" meanwhile
    // must not cost an unprocessed line).
    void removeFirst(std::uint64_t id);
    size_t count() const;
    std::vector<std::string> paths() const;

    std::function<void(size_t count)> onCountChanged;

private:
    void changed(size_t count);

    mutable std::mutex mutex_;
    std::deque<Line> lines_;
    std::uint64_t nextId_ = 0;
};

}  // namespace quorvane
