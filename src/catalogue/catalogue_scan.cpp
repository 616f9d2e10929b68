#include "catalogue/catalogue_scan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "core/file_util.h"

namespace quorvane {

namespace {

constexpr size_t kChunk = 1 << 20;

}  // namespace

const CatalogueScan::Row* CatalogueScan::rowAt(std::uint64_t offset) const {
    auto it = std::lower_bound(rows.begin(), rows.end(), offset, [](const Row& r, std::uint64_t o) { return r.offset < o; });
    return it != rows.end() && it->offset == offset ? &*it : nullptr;
}

RowStore::RowView CatalogueScan::view(const Row& row) const {
    RowStore::RowView v;
    RowStore::parseRow(arena.data() + row.at, row.length, v);
    return v;
}

bool scanCatalogue(const std::string& base, CatalogueScan& out) {
    const int fd = ::open((base + ".rcf").c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0) ::close(fd);
        out.problems.push_back(base + ".rcf cannot be read");
        return false;
    }
    out.recordLength = static_cast<std::uint64_t>(st.st_size);

    // Row after row from the start, through a window of the file.
    std::string window;
    std::uint64_t windowAt = 0, offset = 0;
    bool readFailed = false;
    while (offset < out.recordLength) {
        if (offset + RowStore::kMaxRowLength > windowAt + window.size() && windowAt + window.size() < out.recordLength) {
            window.resize(kChunk);
            const ssize_t n = readFullyAt(fd, window.data(), window.size(), offset);
            if (n <= 0) {
                readFailed = true;
                break;
            }
            window.resize(static_cast<size_t>(n));
            windowAt = offset;
        }
        const char* p = window.data() + (offset - windowAt);
        const size_t available = static_cast<size_t>(windowAt + window.size() - offset);
        RowStore::RowView v;
        size_t used = 0;
        if (!RowStore::parseRow(p, std::min(available, RowStore::kMaxRowLength), v, &used) || v.system.empty()) break;
        out.rows.push_back({offset, static_cast<std::uint32_t>(out.arena.size()), static_cast<std::uint16_t>(used)});
        out.arena.append(p, used);
        offset += used;
    }
    out.readableUpTo = offset;
    if (readFailed) out.problems.push_back(base + ".rcf cannot be read from byte " + std::to_string(offset) + " on");
    else if (offset < out.recordLength)
        out.problems.push_back(base + ".rcf: the row at byte " + std::to_string(offset) +
                               " is damaged; rows after it are found only through the indexes");

    const char* suffixes[] = {"_sys.idx", "_crc.idx", "_sysCat.idx", "_del.idx", "_game.idx"};
    for (size_t i = 0; i < out.indexes.size(); ++i) {
        CatalogueScan::Index& index = out.indexes[i];
        struct stat gameStat {};
        if (i == CatalogueScan::kGame && ::stat((base + suffixes[i]).c_str(), &gameStat) != 0 && errno == ENOENT) {
            index.present = false;
            index.complete = index.sound = true;
            continue;
        }
        index.sound = keyfile::checkKeyFile(base + suffixes[i], out.problems, &index.records, &index.complete);
    }

    // Past a damaged row, rows are found where the indexes point.
    if (out.readableUpTo < out.recordLength) {
        std::vector<std::uint64_t> wanted;
        for (size_t i : {CatalogueScan::kSys, CatalogueScan::kCrc, CatalogueScan::kDel, CatalogueScan::kGame})
            for (const keyfile::KeyRecord& r : out.indexes[i].records) {
                std::uint64_t at;
                if (RowStore::parseOffset(r.data, at) && at >= out.readableUpTo && at < out.recordLength) wanted.push_back(at);
            }
        std::sort(wanted.begin(), wanted.end());
        wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
        char buffer[RowStore::kMaxRowLength];
        for (std::uint64_t at : wanted) {
            const ssize_t n = readFullyAt(fd, buffer, sizeof buffer, at);
            RowStore::RowView v;
            size_t used = 0;
            if (n <= 0 || !RowStore::parseRow(buffer, static_cast<size_t>(n), v, &used) || v.system.empty()) continue;
            out.rows.push_back({at, static_cast<std::uint32_t>(out.arena.size()), static_cast<std::uint16_t>(used)});
            out.arena.append(buffer, used);
        }
    }
    ::close(fd);
    return true;
}

}  // namespace quorvane
