// The blocks of one key file, spread over its physical files. Transfers are
// whole blocks; each physical file is opened on first use and kept open.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvane::keyfile {

// Physical file k of a key file: "_" and k in four hex digits before the
// extension ("a/b_sys.idx" -> "a/b_sys_0001.idx"), or appended without one.
std::string physicalFilePath(const std::string& path, uint32_t k);

class BlockFile {
public:
    BlockFile(std::string path, bool writable, uint32_t blocksPerFile);
    ~BlockFile();
    BlockFile(const BlockFile&) = delete;
    BlockFile& operator=(const BlockFile&) = delete;

    // Finds the physical files and the block count. Returns 0, 1021 when the
    // first physical file cannot be opened, or 1004 when a length is wrong.
    int open();
    void closeHandles();

    // Return 0 or an error code of keyFileErrno.
    int readBlock(uint32_t n, uint8_t* out);
    int writeBlock(uint32_t n, const uint8_t* data);
    // Syncs the physical files when anything was written since the last
    // sync. 0 or kKfWriteFailed.
    int sync();

    // A durable batch (see journal.h): blocks below `holdBelow` must wait
    // for the commit; `gate` runs before any other block is written, to make
    // the journal durable first. holdBelow 0 ends the batch.
    using WriteGate = int (*)(void* context);
    void setBatch(uint32_t holdBelow, WriteGate gate, void* context) {
        holdBelow_ = holdBelow;
        gate_ = gate;
        gateContext_ = context;
    }
    void releaseHeld() { holdBelow_ = 0; }
    bool held(uint32_t n) const { return n < holdBelow_; }
    uint32_t holdBelow() const { return holdBelow_; }

    // The slot of this block file in the engine's table; part of cache keys.
    uint32_t id = 0;

    const std::string& path() const { return path_; }
    bool writable() const { return writable_; }
    // The number of the next block to append.
    uint32_t blockCount() const { return blockCount_; }
    void setBlockCount(uint32_t n) { blockCount_ = n; }

    // Blocks that passed the full check since the file was opened, or that
    // this process wrote: their disk copy is known sound, so reading one
    // again needs only the checks that keep reads in bounds.
    bool checked(uint32_t n) const { return n < checked_.size() && checked_[n]; }
    void markChecked(uint32_t n) {
        if (n >= checked_.size()) checked_.resize(std::max<size_t>(n + 1, 2 * checked_.size()));
        checked_[n] = true;
    }

private:
    friend struct HandleList;
    int handleFor(uint32_t physical, int* error);

    std::string path_;
    bool writable_;
    uint32_t blocksPerFile_;
    uint32_t blockCount_ = 0;
    std::vector<int> fds_;
    std::vector<bool> checked_;
    bool written_ = false;
    uint32_t holdBelow_ = 0;
    WriteGate gate_ = nullptr;
    void* gateContext_ = nullptr;
};

// Test seam: called before every block transfer with the block number;
// a non-zero errno value it returns makes the transfer fail with it.
using BlockIoFault = std::function<int(bool write, uint32_t block)>;
void setBlockIoFaultForTesting(BlockIoFault fault);

}  // namespace quorvane::keyfile
