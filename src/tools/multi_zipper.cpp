#include "tools/multi_zipper.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <optional>
#include <vector>

#include "archive/content_digests.h"
#include "archive/packed_archive.h"
#include "archive/zip_listing.h"
#include "archive/zip_reader.h"
#include "archive/zip_status.h"
#include "archive/zip_writer.h"
#include "core/file_util.h"
#include "core/names.h"
#include "core/text.h"
#include "engine/analysis_text.h"
#include "engine/backup_tree.h"
#include "engine/journaling_file_ops.h"
#include "engine/run_journal.h"
#include "tools/entry_writer.h"

namespace quorvane {

namespace {

namespace fs = std::filesystem;

bool contains(const std::string& name, const char* part) { return name.find(part) != std::string::npos; }

// Walks `folder` recursively; `wanted` decides per file name.
void walk(const std::string& root, const std::string& folder, ZipWorkList& list,
          bool (*wanted)(const std::string& name)) {
    std::vector<std::string> files, folders;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;  // hidden, and our own temporary files
        std::error_code typeError;
        // Folder links are not followed, so a link loop cannot recurse forever.
        if (it->is_directory(typeError) && !it->is_symlink(typeError))
            folders.push_back(name);
        else if (it->is_regular_file(typeError))
            files.push_back(name);
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    const std::string base = (!folder.empty() && folder.back() == '/') ? folder : folder + "/";
    for (const std::string& name : files)
        if (wanted(name)) list.add(base + name, root);
    for (const std::string& name : folders) walk(root, base + name, list, wanted);
}

bool isPackedName(const std::string& name) { return packedFormatOf(baseName(name)) != PackedFormat::None; }

bool wantedForZip(const std::string& name) {
    return !contains(name, ".zip") && !contains(name, ".rar") && !contains(name, ".txt") && !isPackedName(name);
}

bool wantedForUnzip(const std::string& name) { return contains(name, ".zip") || isPackedName(name); }

}  // namespace

void addFolderToZip(const std::string& folder, ZipWorkList& list) { walk(folder, folder, list, wantedForZip); }
void addFolderToUnzip(const std::string& folder, ZipWorkList& list) { walk(folder, folder, list, wantedForUnzip); }

std::string targetArchiveName(const std::string& path) {
    // Only the file name is looked at: a dot in a folder name (roms.d/ab)
    // must not turn the target into an archive in the parent folder.
    const size_t nameStart = path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1;
    const size_t from = std::max(nameStart, path.size() >= 5 ? path.size() - 5 : 0);
    const size_t dot = path.find('.', from);
    if (dot == std::string::npos) return path + ".zip";
    return path.substr(0, dot + 1) + "zip";
}

const std::string& ZipperBackup::path() {
    if (path_.empty() && !root_.empty()) path_ = uniqueRunFolder(root_, std::time(nullptr));
    return path_;
}

std::string ZipperBackup::folder(std::string& why) {
    if (!folder_.empty()) return folder_;
    if (root_.empty()) {
        why = "no backup folder is set to keep the entry it would replace";
        return {};
    }
    const std::string made = path();
    if (!makeFolders(made)) {
        why = "the backup folder " + made + " cannot be made";
        return {};
    }
    folder_ = made;
    return folder_;
}

namespace {

std::string inQuotes(const std::string& name) { return "\"" + name + "\""; }

// The entries of the listed archive named `entryName` whose content is not the
// source's; the index of each in the central directory.
ZipStatus entriesToKeep(const ZipListing& info, const std::string& source, const std::string& entryName,
                        std::vector<int>& out, std::string& why) {
    std::string crc, md5, sha1;
    bool digested = false;
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(source, ec);
    for (int i = 0; i < info.count(); ++i) {
        const ZipEntry& e = info.entry(i);
        if (e.name != entryName) continue;
        if (!digested && !ContentDigests(source).digestFile(crc, md5, sha1, true, false, false)) {
            why = "it cannot be read";
            return ZipStatus::SourceMissing;
        }
        digested = true;
        if (!ec && equalsIgnoreCase(crc, e.crc) && e.uncompressedSize == size) continue;
        out.push_back(i);
    }
    return ZipStatus::Ok;
}

// Writes the entries of `archive` at `indices` (ascending) to their places
// in `backup`, each checked against the listing, synced.
ZipStatus keepEntries(const std::string& archive, const ZipListing& info, const std::vector<int>& indices,
                      const BackupTree& backup, std::vector<std::string>& keptPaths, std::string& why) {
    EntryWriter reader(archive);
    if (reader.open() != ZipStatus::Ok) {
        why = "the archive cannot be opened";
        return ZipStatus::Error;
    }
    ZipEntry e;
    size_t next = 0;
    int index = 0;
    for (ZipStatus s = reader.first(e); s == ZipStatus::Ok && next < indices.size(); s = reader.next(e), ++index) {
        if (index != indices[next]) continue;
        const ZipEntry& listed = info.entry(index);
        if (e.name != listed.name || e.crc32 != listed.crc32 || e.uncompressedSize != listed.uncompressedSize) {
            why = "the archive changed while it was read";
            return ZipStatus::Error;
        }
        const BackupPlace place = backup.forEntry(archive, e.name);
        if (!place.make()) {
            why = "the entry " + inQuotes(e.name) + " it would replace cannot be kept in " + place.folder +
                  ": the folder cannot be made";
            return ZipStatus::Error;
        }
        const WrittenEntry w = reader.writeCurrent(e, place.folder, place.name, true);
        if (!w.path.empty()) keptPaths.push_back(w.path);
        if (w.status != ZipStatus::Ok) {
            why = "the entry " + inQuotes(e.name) + " it would replace cannot be kept in " + place.folder + ": " + w.why;
            return w.status;
        }
        ++next;
    }
    if (next < indices.size()) {
        why = "the archive cannot be read: " + reader.walkError();
        return ZipStatus::Error;
    }
    return ZipStatus::Ok;
}

ZipperResult zipOne(const std::string& path, const std::string& root, ZipperBackup& backup) {
    ZipperResult r;
    const std::string archive = targetArchiveName(path);
    const std::string entryName = entryFileName(path);
    std::vector<std::string> keptPaths;
    auto fail = [&](ZipStatus status, const std::string& why) {
        r.status = status;
        r.failures.push_back(path + " was not zipped into " + archive + ": " + why + ".");
        // Copies made before the failure stay where they are; say where.
        const std::string copyOf = "A copy of the entry " + inQuotes(entryName) + " of " + archive + " was left in ";
        for (const std::string& kept : keptPaths) r.kept.push_back(copyOf + kept + ".");
        return r;
    };
    if (!isRegularFile(path)) return fail(ZipStatus::SourceMissing, "the file is gone");
    if (pathExists(archive)) {
        const ZipListing info(archive);
        if (info.listStatus() != ZipStatus::Ok)
            return fail(info.listStatus(), "the archive cannot be read (" + zipStatusText(info.listStatus()) + ")");
        std::vector<int> replaced;
        std::string why;
        if (const ZipStatus status = entriesToKeep(info, path, entryName, replaced, why); status != ZipStatus::Ok)
            return fail(status, why);
        if (!replaced.empty()) {
            const std::string runFolder = backup.folder(why);
            if (runFolder.empty()) return fail(ZipStatus::Error, why);
            if (const ZipStatus status =
                    keepEntries(archive, info, replaced, BackupTree(runFolder, root), keptPaths, why);
                status != ZipStatus::Ok)
                return fail(status, why);
        }
    }
    ZipWriter zip(archive);
    ZipStatus status = zip.open();
    if (status == ZipStatus::Ok) status = zip.addFile(path, entryName);
    const ZipStatus closed = zip.close();
    if (status == ZipStatus::Ok) status = closed;
    if (status != ZipStatus::Ok) return fail(status, zipStatusText(status));
    const std::string replaced = "The entry " + inQuotes(entryName) + " of " + archive + " was replaced by " + path +
                                 "; the replaced entry was kept as ";
    for (const std::string& kept : keptPaths) r.kept.push_back(replaced + kept + ".");
    return r;
}

ZipperResult unzipOne(const std::string& path) {
    ZipperResult r;
    auto fail = [&](ZipStatus status, const std::string& line) {
        if (r.status == ZipStatus::Ok) r.status = status;
        r.failures.push_back(line);
    };
    EntryWriter archive(path);
    if (archive.open() != ZipStatus::Ok) {
        fail(ZipStatus::Error, path + " was not unpacked: it cannot be opened as a zip archive.");
        return r;
    }
    const std::string parent = dirName(path);
    const std::string folder = parent.empty() ? "." : parent;
    ZipEntry e;
    std::string last;
    for (ZipStatus s = archive.first(e); s == ZipStatus::Ok; s = archive.next(e)) {
        last = e.name;
        // Folder entries and empty files are not unpacked.
        if (e.uncompressedSize == 0) continue;
        const std::string name = entryFileName(e.name);
        if (!isSafeFileName(name)) {
            fail(ZipStatus::Error, "The entry " + inQuotes(e.name) + " of " + path +
                                       " was not unpacked: its name cannot be a file name.");
            continue;
        }
        const WrittenEntry w = archive.writeCurrent(e, folder, name, false);
        if (w.status != ZipStatus::Ok)
            fail(w.status, "The entry " + inQuotes(e.name) + " of " + path + " was not unpacked: " + w.why + ".");
    }
    if (!archive.reachedEnd())
        fail(ZipStatus::Error, "The entries of " + path + (last.empty() ? std::string() : " after " + inQuotes(last)) +
                                   " were not unpacked: " + archive.walkError() + ".");
    return r;
}

ZipperResult unpackOne(const std::string& path) {
    ZipperResult r;
    const std::string parent = dirName(path);
    const ZipStatus status = extractAllPacked(path, parent.empty() ? "." : parent);
    if (status != ZipStatus::Ok) {
        r.status = status;
        r.failures.push_back(path + " was not fully unpacked: " + zipStatusText(status) + ".");
    }
    return r;
}

}  // namespace

ZipperResult zipOrUnzip(const std::string& path, const std::string& root, ZipperBackup& backup) {
    if (isPackedName(path)) return unpackOne(path);
    return contains(path, ".zip") ? unzipOne(path) : zipOne(path, root, backup);
}

MultiZipper::MultiZipper(ZipWorkList& list, Listener listener, ZipperOptions options)
    : list_(list), listener_(std::move(listener)), backup_(std::move(options.backupRoot)) {
    thread_ = std::thread([this] { run(); });
}

void MultiZipper::wait() {
    if (thread_.joinable()) thread_.join();
}

void MultiZipper::run() {
    if (listener_.startEnabled) listener_.startEnabled(false);
    // Without a backup folder nothing could be undone, and nothing is replaced either.
    std::optional<JournaledRun> journaled;
    if (!backup_.path().empty()) journaled.emplace(backup_.path(), "multi-zipper");
    while (const auto line = list_.first()) {
        if (journaled) journaled->noteSystem(line->root);
        const ZipperResult result = zipOrUnzip(line->path, line->root, backup_);
        if (listener_.processed) listener_.processed(line->path, result);
        list_.removeFirst(line->id);
    }
    journaled.reset();
    if (listener_.startEnabled) listener_.startEnabled(true);
}

}  // namespace quorvane
