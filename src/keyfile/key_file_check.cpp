#include "keyfile/key_file_check.h"

#include <array>
#include <cstring>

#include "keyfile/block_check.h"
#include "keyfile/block_file.h"
#include "keyfile/block_item.h"
#include "keyfile/key_file.h"
#include "keyfile/key_file_format.h"

namespace quorvane::keyfile {

namespace {

enum class Use : uint8_t { None, Tree, Free, Data };

class Checker {
public:
    Checker(const std::string& path, std::vector<std::string>& problems, std::vector<KeyRecord>* records,
            unsigned blocksPerFile)
        : file_(path, false, blocksPerFile), problems_(problems), records_(records) {
        const size_t slash = path.rfind('/');
        name_ = slash == std::string::npos ? path : path.substr(slash + 1);
    }

    bool run() {
        const int rc = file_.open();
        if (rc != 0) {
            problem(rc == kKfDamaged ? "its length is not a whole number of blocks" : "it cannot be opened");
            return false;
        }
        count_ = file_.blockCount();
        if (count_ < 2) {
            problem("it holds fewer than its two first blocks");
            return false;
        }
        use_.assign(count_, Use::None);
        uint8_t root[kBlockSize];
        if (!read(kRootBlock, root)) return walkable_ = false;
        if (level(root) > kMaxTreeLevel) {
            problem("block 0 (the root) is not a tree block");
            return walkable_ = false;
        }
        next_.fill(0);
        seen_.fill(false);
        std::string first, last;
        walk(kRootBlock, level(root), first, last);
        for (int l = 0; l <= kMaxTreeLevel; ++l)
            if (seen_[l] && next_[l] != 0) blockProblem(last_[l], "is the last of its level but names a next block");
        checkFreeChain(freeListHead(root));
        checkDataChain(lastDataBlock(root));
        size_t orphans = 0;
        for (uint32_t n = 0; n < count_; ++n) {
            if (use_[n] != Use::None) continue;
            if (++orphans <= 3) blockProblem(n, "belongs to nothing (neither the tree nor a chain)");
        }
        if (orphans > 3) problem("and " + std::to_string(orphans - 3) + " more blocks belong to nothing");
        return found_ == 0;
    }

    bool walkedWhole() const { return walkable_ && count_ >= 2; }

private:
    void problem(const std::string& text) {
        ++found_;
        if (found_ <= kMaxLines) problems_.push_back(name_ + ": " + text);
        else if (found_ == kMaxLines + 1) problems_.push_back(name_ + ": more problems not listed");
    }
    void blockProblem(uint32_t n, const std::string& text) { problem("block " + std::to_string(n) + " " + text); }

    bool read(uint32_t n, uint8_t* out) {
        if (file_.readBlock(n, out) == 0) return true;
        blockProblem(n, "cannot be read");
        return false;
    }

    void record(const uint8_t* key, int keyLen, const std::string& data) {
        if (records_) records_->push_back({std::string(reinterpret_cast<const char*>(key), static_cast<size_t>(keyLen)), data});
    }

    // Walks the subtree of block n, whose level should be `lvl`; sets the
    // first and last keys of its leaves. False when it could not be walked.
    bool walk(uint32_t n, int lvl, std::string& firstKey, std::string& lastKey) {
        if (n >= count_) {
            problem("a tree item names block " + std::to_string(n) + ", beyond the end of the file");
            return walkable_ = false;
        }
        if (use_[n] != Use::None) {
            blockProblem(n, "is reached twice from the tree");
            return walkable_ = false;
        }
        use_[n] = Use::Tree;
        uint8_t b[kBlockSize];
        if (!read(n, b)) return walkable_ = false;
        if (level(b) != lvl) {
            blockProblem(n, "has level " + std::to_string(level(b)) + " where its parent wants " + std::to_string(lvl));
            return walkable_ = false;
        }
        BlockKeys keys;
        if (!blockIsSound(b, n, count_, &keys, true)) {
            blockProblem(n, "is damaged (its header or items do not hold together)");
            return walkable_ = false;
        }
        if (n != kRootBlock) {
            if (seen_[lvl] ? next_[lvl] != n : false)
                blockProblem(last_[lvl], "names block " + std::to_string(next_[lvl]) + " as next where the tree has " +
                                             std::to_string(n));
            const uint32_t expectedPrev = seen_[lvl] ? last_[lvl] : 0;
            if (prevBlock(b) != expectedPrev)
                blockProblem(n, "names block " + std::to_string(prevBlock(b)) + " as previous where the tree has " +
                                    std::to_string(expectedPrev));
            seen_[lvl] = true;
            last_[lvl] = n;
            next_[lvl] = nextBlock(b);
        }
        auto keyText = [&](int i) {
            return std::string(reinterpret_cast<const char*>(keys.key(i)), static_cast<size_t>(keys.keyLen(i)));
        };
        const int items = keys.count();
        if (lvl == 0) {
            for (int i = 0; i < items; ++i) {
                Item item;
                decodeItem(b, itemOffset(b, i), freeOffset(b), true, &item);
                const bool identifying = keys.keyLen(i) == 0;
                if (identifying && (!firstLeaf_ || i != 0)) blockProblem(n, "holds a record with an empty key");
                if (identifying) continue;
                std::string data;
                if (item.dataInline()) data.assign(reinterpret_cast<const char*>(item.trailer), item.number);
                record(keys.key(i), keys.keyLen(i), data);
            }
            if (firstLeaf_ && (items == 0 || keys.keyLen(0) != 0))
                blockProblem(n, "lacks the identifying record");
            if (items > 0) {
                if (haveLeafKey_ && compareKeys(keys.key(0), keys.keyLen(0), reinterpret_cast<const uint8_t*>(leafKey_.data()),
                                                static_cast<int>(leafKey_.size())) < 0)
                    blockProblem(n, "starts with a key below the last key of the leaf before it");
                leafKey_ = keyText(items - 1);
                haveLeafKey_ = true;
                firstKey = keyText(0);
                lastKey = leafKey_;
            }
            firstLeaf_ = false;
            return true;
        }
        if (items == 0) {
            blockProblem(n, "is an inner block without items");
            return walkable_ = false;
        }
        std::string childFirst, childLast, previousLast;
        bool ok = true;
        for (int i = 0; i < items; ++i) {
            Item item;
            decodeItem(b, itemOffset(b, i), freeOffset(b), false, &item);
            childFirst.clear();
            childLast.clear();
            const bool walked = walk(item.number, lvl - 1, childFirst, childLast);
            ok = walked && ok;
            const std::string key = keyText(i);
            if (walked && i > 0 && !childFirst.empty() && childFirst < key)
                blockProblem(n, "item " + std::to_string(i) + " carries a key above the first key of its child block " +
                                    std::to_string(item.number));
            if (walked && i > 0 && previousLast > key)
                blockProblem(n, "item " + std::to_string(i) + " carries a key below a key of the child before it");
            if (i == 0) firstKey = childFirst;
            previousLast = childLast;
        }
        lastKey = previousLast;
        return ok;
    }

    void checkFreeChain(uint32_t head) {
        for (uint32_t steps = 0; head != count_; ++steps) {
            if (head < 2 || head > count_ || steps > count_) {
                problem("the free chain names block " + std::to_string(head) + ", which cannot be free");
                return;
            }
            if (use_[head] == Use::Tree) {
                blockProblem(head, "is both free and in the tree");
                return;
            }
            if (use_[head] != Use::None) {
                problem("the free chain runs into a loop or the data chain at block " + std::to_string(head));
                return;
            }
            uint8_t b[kBlockSize];
            if (!read(head, b)) return;
            if (level(b) != kFreeLevel) {
                blockProblem(head, "is on the free chain but is not a free block");
                return;
            }
            use_[head] = Use::Free;
            head = nextBlock(b);
        }
    }

    void checkDataChain(uint32_t lastData) {
        bool sawLast = false;
        for (uint32_t n = kFirstDataBlock, steps = 0; n != 0; ++steps) {
            if (n >= count_ || steps > count_) {
                problem("the data chain names block " + std::to_string(n) + ", beyond the end of the file");
                return;
            }
            if (use_[n] != Use::None) {
                blockProblem(n, "is on the data chain and also used otherwise");
                return;
            }
            uint8_t b[kBlockSize];
            if (!read(n, b)) return;
            if (level(b) != kDataLevel || !blockIsSound(b, n, count_, nullptr, true)) {
                blockProblem(n, "is on the data chain but is not a sound data block");
                return;
            }
            use_[n] = Use::Data;
            if (n == lastData) sawLast = true;
            n = nextBlock(b);
        }
        if (!sawLast) problem("the root's last data block " + std::to_string(lastData) + " is not on the data chain");
    }

    static constexpr size_t kMaxLines = 20;

    BlockFile file_;
    std::vector<std::string>& problems_;
    std::vector<KeyRecord>* records_;
    std::string name_;
    uint32_t count_ = 0;
    std::vector<Use> use_;
    size_t found_ = 0;
    bool walkable_ = true;
    bool firstLeaf_ = true;
    bool haveLeafKey_ = false;
    std::string leafKey_;
    // Per level: whether a block was walked, the last one, and the next
    // block it names.
    std::array<bool, kMaxTreeLevel + 1> seen_{};
    std::array<uint32_t, kMaxTreeLevel + 1> last_{};
    std::array<uint32_t, kMaxTreeLevel + 1> next_{};
};

}  // namespace

bool checkKeyFile(const std::string& path, std::vector<std::string>& problems, std::vector<KeyRecord>* records,
                  bool* complete, unsigned blocksPerFile) {
    Checker checker(path, problems, records, blocksPerFile);
    const bool sound = checker.run();
    if (complete) *complete = checker.walkedWhole();
    return sound;
}

}  // namespace quorvane::keyfile
