#include "catalogue/catalogue_repair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <map>
#include <set>

#include "catalogue/catalogue_scan.h"
#include "catalogue/row_store.h"
#include "core/crash_point.h"
#include "core/file_util.h"
#include "keyfile/block_file.h"

namespace quorvane {

namespace {

// The record file goes last: see the header.
constexpr const char* kSuffixes[] = {"_sys.idx", "_crc.idx", "_sysCat.idx", "_del.idx", "_game.idx", ".rcf"};

std::string newBase(const std::string& base) { return base + ".repair"; }
std::string markerPath(const std::string& base) { return base + ".repaired"; }

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

void syncFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    crashPoint();
    ::fsync(fd);
    ::close(fd);
}

// The physical files of one of the six files (a key file may spill).
std::vector<std::string> physicalFiles(const std::string& path) {
    std::vector<std::string> out;
    for (uint32_t k = 0; exists(keyfile::physicalFilePath(path, k)); ++k) out.push_back(keyfile::physicalFilePath(path, k));
    return out;
}

bool copyFile(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    bool ok = out >= 0;
    char buffer[1 << 16];
    while (ok) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            crashPoint();
            const ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            ok = w > 0;
            done += w > 0 ? w : 0;
        }
    }
    if (ok) {
        crashPoint();
        ok = ::fsync(out) == 0;
    }
    if (out >= 0) ::close(out);
    ::close(in);
    return ok;
}

// Moves B.repair<suffix> (with its spill files) over B<suffix>.
void moveInto(const std::string& base, const char* suffix) {
    const std::string from = newBase(base) + suffix, to = base + suffix;
    const std::vector<std::string> sources = physicalFiles(from);
    if (sources.empty()) return;  // moved before a crash
    for (uint32_t k = static_cast<uint32_t>(sources.size()); exists(keyfile::physicalFilePath(to, k)); ++k)
        ::unlink(keyfile::physicalFilePath(to, k).c_str());
    for (size_t k = sources.size(); k-- > 0;) {
        crashPoint();
        ::rename(sources[k].c_str(), keyfile::physicalFilePath(to, static_cast<uint32_t>(k)).c_str());
    }
}

std::string timeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm tm {};
    ::localtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &tm);
    return text;
}

struct Plan {
    std::vector<const CatalogueScan::Row*> rows;  // in the order they go in
    std::map<std::string, std::string> catalogueStatus;
    std::vector<std::string> lines;
};

Plan planRepair(const CatalogueScan& scan, bool recordFileReadable) {
    Plan plan;
    const auto& sys = scan.indexes[CatalogueScan::kSys];
    const auto& del = scan.indexes[CatalogueScan::kDel];
    for (const auto& r : scan.indexes[CatalogueScan::kSysCat].records) plan.catalogueStatus[r.key] = r.data;

    // The system index gives each system's rows in their order.
    std::set<std::uint64_t> taken;
    std::map<std::string, size_t> unreadable;  // system -> rows named but not readable
    std::vector<std::string> systemOrder;
    std::map<std::string, std::vector<const CatalogueScan::Row*>> bySystem;
    auto place = [&](const std::string& system, const CatalogueScan::Row* row) {
        auto [it, fresh] = bySystem.try_emplace(system);
        if (fresh) systemOrder.push_back(system);
        it->second.push_back(row);
    };
    for (const auto& r : sys.records) {
        std::uint64_t offset;
        const CatalogueScan::Row* row = RowStore::parseOffset(r.data, offset) ? scan.rowAt(offset) : nullptr;
        if (!row || scan.view(*row).system != r.key) {
            ++unreadable[r.key];
            continue;
        }
        if (taken.insert(offset).second) place(r.key, row);
    }
    // Every other readable row that is not free lost its entry: it goes in
    // before the first row of its system that lies after it in the file,
    // as rows are stored in about the order they were added.
    std::set<std::uint64_t> freed;
    for (const auto& r : del.records) {
        std::uint64_t offset;
        if (RowStore::parseOffset(r.data, offset)) freed.insert(offset);
    }
    // Without the whole free-row index, a row the whole system index does not
    // name is more likely free than lost.
    const bool straysAreLive = del.complete || !sys.complete;
    std::map<std::string, std::vector<const CatalogueScan::Row*>> strays;
    for (const CatalogueScan::Row& row : scan.rows)
        if (straysAreLive && !taken.count(row.offset) && !freed.count(row.offset)) strays[std::string(scan.view(row).system)].push_back(&row);
    for (const auto& [system, rows] : strays)
        if (!bySystem.count(system)) systemOrder.push_back(system);
    for (const std::string& system : systemOrder) {
        const auto& named = bySystem[system];
        const auto& lost = strays[system];
        size_t next = 0;
        for (const CatalogueScan::Row* row : named) {
            while (next < lost.size() && lost[next]->offset < row->offset) plan.rows.push_back(lost[next++]);
            plan.rows.push_back(row);
        }
        while (next < lost.size()) plan.rows.push_back(lost[next++]);
    }
    if (!sys.complete && !del.complete)
        plan.lines.push_back("Both the system index and the free-row index were damaged: rows of systems deleted "
                             "earlier may be back.");
    std::map<std::string, size_t> kept;
    for (const CatalogueScan::Row* row : plan.rows) ++kept[std::string(scan.view(*row).system)];
    std::set<std::string> known;
    for (const auto& [system, status] : plan.catalogueStatus) known.insert(system);
    for (const auto& [system, n] : unreadable) known.insert(system);
    for (const std::string& system : known) {
        if (!kept.count(system)) {
            plan.lines.push_back(recordFileReadable ? "System " + system + " was lost: none of its rows can be read."
                                                    : "System " + system + " was lost: the record file cannot be read.");
        } else if (unreadable.count(system)) {
            plan.lines.push_back("System " + system + " lost " + std::to_string(unreadable.at(system)) +
                                 " rows whose bytes cannot be read.");
        }
    }
    return plan;
}

// Builds the new database under B.repair; "" or why it failed.
std::string build(const std::string& base, const CatalogueScan& scan, const Plan& plan) {
    const std::string fresh = newBase(base);
    ::unlink(markerPath(fresh).c_str());
    RowStore t(fresh);
    t.deleteFiles();
    if (t.open() != StoreStatus::Ok) return "Cannot create the repaired database " + fresh;
    RomRow record;
    for (const CatalogueScan::Row* row : plan.rows) {
        const RowStore::RowView v = scan.view(*row);
        record.status = romStatusFromLetter(v.status).value_or(RomStatus::Missing);
        record.system.assign(v.system);
        record.game.assign(v.game);
        record.crc.assign(v.crc);
        record.romName.assign(v.romName);
        record.size.assign(v.size);
        record.md5.assign(v.md5);
        record.sha1.assign(v.sha1);
        record.cloneOf.assign(v.cloneOf);
        record.romOf.assign(v.romOf);
        record.version.assign(v.version);
        record.author.assign(v.author);
        if (t.insertRecord(record) != StoreStatus::Ok) return "Cannot write the repaired database " + fresh;
    }
    for (const auto& [system, status] : plan.catalogueStatus)
        if (status == "C" && t.sysCatIndex.find(system) == StoreStatus::Ok &&
            t.sysCatIndex.updateCurrent(status) != StoreStatus::Ok)
            return "Cannot write the repaired database " + fresh;
    if (t.close() != StoreStatus::Ok) return "Cannot write the repaired database " + fresh;
    return "";
}

}  // namespace

void finishRepair(const std::string& base) {
    if (!exists(markerPath(base))) return;
    for (const char* suffix : kSuffixes) moveInto(base, suffix);
    ::unlink((newBase(base) + ".jnl").c_str());
    syncFolderOf(base);
    crashPoint();
    ::unlink(markerPath(base).c_str());
}

StoreStatus repairCatalogue(const std::string& base, const std::string& backupDir, RepairReport& report) {
    RowStore lock(base);
    if (const StoreStatus rc = lock.lockFiles(); rc != StoreStatus::Ok) return rc;
    CatalogueScan scan;
    const bool readable = scanCatalogue(base, scan);
    const Plan plan = planRepair(scan, readable);

    const std::string folder = backupDir + "repair-" + timeStamp() + "/";
    if (!makeFolders(folder)) {
        report.error = "Cannot create the backup folder " + folder + "; nothing was changed.";
        return StoreStatus::RepairFailed;
    }
    const size_t slash = base.rfind('/');
    const std::string name = slash == std::string::npos ? base : base.substr(slash + 1);
    for (const char* suffix : kSuffixes) {
        for (const std::string& file : physicalFiles(base + suffix)) {
            const std::string copy = folder + file.substr(file.rfind('/') + 1);
            if (!copyFile(file, copy)) {
                report.error = "Cannot copy ";
                report.error.append(file).append(" to ").append(folder);
                report.error.append("; nothing was changed.");
                return StoreStatus::RepairFailed;
            }
        }
    }
    if (const std::string error = build(base, scan, plan); !error.empty()) {
        report.error = error + "; nothing was changed.";
        return StoreStatus::RepairFailed;
    }
    const int marker = ::open(markerPath(base).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (marker < 0) {
        report.error = "Cannot write " + markerPath(base) + "; nothing was changed.";
        return StoreStatus::RepairFailed;
    }
    crashPoint();
    ::fsync(marker);
    ::close(marker);
    syncFolderOf(base);
    finishRepair(base);
    lock.close();

    std::set<std::string> systems;
    for (const CatalogueScan::Row* row : plan.rows) systems.insert(std::string(scan.view(*row).system));
    report.lines.push_back("Repaired database " + base + ": " + std::to_string(systems.size()) + " systems, " +
                           std::to_string(plan.rows.size()) + " rows kept.");
    report.lines.insert(report.lines.end(), plan.lines.begin(), plan.lines.end());
    report.lines.push_back("A copy of the damaged files is in " + folder + " (" + name + ".*).");
    return StoreStatus::Ok;
}

}  // namespace quorvane
