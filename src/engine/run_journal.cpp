#include "engine/run_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "archive/file_ops.h"
#include "core/file_util.h"
#include "engine/analysis_text.h"

namespace quorvane {

namespace {

constexpr const char* kFirstLine = "quorvane journal 1";

const char* kindName(JournalRecord::Kind kind) {
    switch (kind) {
        case JournalRecord::Kind::Create: return "create";
        case JournalRecord::Kind::Folder: return "folder";
        case JournalRecord::Kind::Unfolder: return "unfolder";
        case JournalRecord::Kind::Keep: return "keep";
        case JournalRecord::Kind::Rename: return "rename";
        case JournalRecord::Kind::Link: return "link";
        case JournalRecord::Kind::Done: return "done";
        case JournalRecord::Kind::Undone: return "undone";
        case JournalRecord::Kind::SetAside: return "set-aside";
    }
    return "";
}

void appendField(std::string& line, const std::string& field) {
    line += '\t';
    for (char c : field) {
        switch (c) {
            case '\\': line += "\\\\"; break;
            case '\t': line += "\\t"; break;
            case '\n': line += "\\n"; break;
            case '\r': line += "\\r"; break;
            default: line += c;
        }
    }
}

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char e = line[++i];
            fields.back() += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::string recordLine(const JournalRecord& record) {
    std::string line = kindName(record.kind);
    switch (record.kind) {
        case JournalRecord::Kind::Done:
        case JournalRecord::Kind::Undone: appendField(line, std::to_string(record.when)); break;
        case JournalRecord::Kind::Create:
        case JournalRecord::Kind::Folder:
        case JournalRecord::Kind::Unfolder: appendField(line, record.path); break;
        case JournalRecord::Kind::Link:
        case JournalRecord::Kind::SetAside:
            appendField(line, record.path);
            appendField(line, record.other);
            break;
        case JournalRecord::Kind::Keep:
        case JournalRecord::Kind::Rename:
            appendField(line, record.path);
            appendField(line, record.other);
            appendField(line, record.identity ? record.identity->text() : std::string());
            break;
    }
    return line + '\n';
}

std::optional<JournalRecord> parseRecord(const std::vector<std::string>& f) {
    static const JournalRecord::Kind kinds[] = {
        JournalRecord::Kind::Create, JournalRecord::Kind::Folder, JournalRecord::Kind::Unfolder,
        JournalRecord::Kind::Keep,   JournalRecord::Kind::Rename, JournalRecord::Kind::Link,
        JournalRecord::Kind::Done,   JournalRecord::Kind::Undone, JournalRecord::Kind::SetAside};
    for (JournalRecord::Kind kind : kinds) {
        if (f[0] != kindName(kind)) continue;
        JournalRecord r;
        r.kind = kind;
        switch (kind) {
            case JournalRecord::Kind::Done:
            case JournalRecord::Kind::Undone:
                if (f.size() != 2) return std::nullopt;
                r.when = static_cast<std::time_t>(std::strtoll(f[1].c_str(), nullptr, 10));
                return r;
            case JournalRecord::Kind::Create:
            case JournalRecord::Kind::Folder:
            case JournalRecord::Kind::Unfolder:
                if (f.size() != 2 || f[1].empty()) return std::nullopt;
                r.path = f[1];
                return r;
            case JournalRecord::Kind::Link:
            case JournalRecord::Kind::SetAside:
                if (f.size() != 3 || f[1].empty() || f[2].empty()) return std::nullopt;
                r.path = f[1];
                r.other = f[2];
                return r;
            case JournalRecord::Kind::Keep:
            case JournalRecord::Kind::Rename:
                if (f.size() != 4 || f[1].empty() || f[2].empty()) return std::nullopt;
                r.path = f[1];
                r.other = f[2];
                r.identity = FileIdentity::parse(f[3]);
                if (!r.identity) return std::nullopt;
                return r;
        }
    }
    return std::nullopt;
}

FileIdentity identityOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

}  // namespace

std::optional<FileIdentity> FileIdentity::of(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return identityOf(st);
}

std::optional<FileIdentity> FileIdentity::ofOpen(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return identityOf(st);
}

std::string FileIdentity::text() const {
    return std::to_string(device) + ':' + std::to_string(inode) + ':' + std::to_string(size) + ':' +
           std::to_string(modifiedNs);
}

std::optional<FileIdentity> FileIdentity::parse(const std::string& text) {
    FileIdentity id;
    const char* p = text.c_str();
    char* end = nullptr;
    std::uint64_t* parts[] = {&id.device, &id.inode, &id.size};
    for (std::uint64_t* part : parts) {
        errno = 0;
        *part = std::strtoull(p, &end, 10);
        if (end == p || *end != ':' || errno != 0) return std::nullopt;
        p = end + 1;
    }
    errno = 0;
    id.modifiedNs = std::strtoll(p, &end, 10);
    if (end == p || *end != '\0' || errno != 0) return std::nullopt;
    return id;
}

std::optional<JournalContents> readJournal(const std::string& path) {
    std::string text;
    if (!readWholeFile(path, text)) return std::nullopt;
    JournalContents contents;
    size_t at = 0;
    bool first = true;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) break;  // torn by a kill
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (first) {
            if (line != kFirstLine) return std::nullopt;
            first = false;
            continue;
        }
        const std::vector<std::string> f = splitFields(line);
        if (f[0] == "run" && f.size() == 3) {
            contents.started = static_cast<std::time_t>(std::strtoll(f[1].c_str(), nullptr, 10));
            contents.command = f[2];
            continue;
        }
        if (f[0] == "system" && f.size() == 2) {
            contents.systems.push_back(f[1]);
            continue;
        }
        const std::optional<JournalRecord> record = parseRecord(f);
        if (!record) return std::nullopt;  // not written by this program: touch nothing
        switch (record->kind) {
            case JournalRecord::Kind::Done: contents.done = true; break;
            case JournalRecord::Kind::Undone: contents.undone = true; break;
            case JournalRecord::Kind::SetAside: break;
            default: contents.steps.push_back(*record);
        }
    }
    if (first) return std::nullopt;
    return contents;
}

RunJournal::RunJournal(const std::string& runFolder, std::string command, std::vector<std::string> systems, FileOps& ops)
    : runFolder_(absolutePath(runFolder)), command_(std::move(command)), systems_(std::move(systems)), ops_(ops) {}

RunJournal::~RunJournal() {
    if (fd_ >= 0) ops_.close(fd_);
}

bool RunJournal::open() {
    if (fd_ >= 0) return true;
    if (!makeFolders(runFolder_)) return false;
    const int fd = ops_.createNew(joinPath(runFolder_, kJournalName));
    if (fd < 0) return false;
    std::string head = std::string(kFirstLine) + '\n' + "run";
    appendField(head, std::to_string(std::time(nullptr)));
    appendField(head, command_);
    head += '\n';
    for (const std::string& system : systems_) {
        head += "system";
        appendField(head, system);
        head += '\n';
    }
    if (!writeAllAt(ops_, fd, head.data(), head.size(), 0) || ops_.sync(fd) != 0 ||
        ops_.syncFolder(runFolder_) != 0) {
        ops_.close(fd);
        ops_.remove(joinPath(runFolder_, kJournalName));
        return false;
    }
    fd_ = fd;
    end_ = head.size();
    return true;
}

bool RunJournal::add(const JournalRecord& record, bool durable) {
    // Disk steps on many threads record at once: the lock covers the write alone.
    const std::string line = recordLine(record);
    std::lock_guard lock(mutex_);
    if (!open()) return false;
    if (!writeAllAt(ops_, fd_, line.data(), line.size(), end_)) return false;
    end_ += line.size();
    return !durable || ops_.sync(fd_) == 0;
}

void RunJournal::noteSystem(const std::string& system) {
    std::lock_guard lock(mutex_);
    if (std::find(systems_.begin(), systems_.end(), system) != systems_.end()) return;
    systems_.push_back(system);
    if (fd_ < 0) return;
    std::string line = "system";
    appendField(line, system);
    line += '\n';
    if (writeAllAt(ops_, fd_, line.data(), line.size(), end_)) end_ += line.size();
}

std::string uniqueRunFolder(const std::string& backupDir, std::time_t when) {
    const std::string name = analysis_text::backupFolderName(when);
    std::string path = joinPath(backupDir, name);
    for (int n = 2; pathExists(path); ++n) path = joinPath(backupDir, name + " (" + std::to_string(n) + ")");
    return path;
}

bool RunJournal::sync() {
    std::lock_guard lock(mutex_);
    return fd_ < 0 || ops_.sync(fd_) == 0;
}

std::string RunJournal::keptPathFor(const std::string& path) {
    std::lock_guard lock(mutex_);
    const std::string folder = joinPath(runFolder_, kKeptFolderName);
    // Once made, the folder stays: a link into a folder gone meanwhile fails, and the step with it.
    if (!keptFolderMade_) keptFolderMade_ = makeFolders(folder);
    return joinPath(folder, std::to_string(++kept_) + "-" + fitName(baseName(path), {}, kNameMax - 12));
}

void RunJournal::finish() {
    if (fd_ < 0) return;
    JournalRecord done;
    done.kind = JournalRecord::Kind::Done;
    done.when = std::time(nullptr);
    add(done, true);
}

bool appendToJournal(const std::string& path, const JournalRecord& record) {
    std::string text;
    if (!readWholeFile(path, text)) return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // A line torn by a kill was never acted on: the new record replaces it.
    const std::uint64_t end = text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1;
    const std::string line = recordLine(record);
    const bool ok = ::ftruncate(fd, static_cast<off_t>(end)) == 0 && writeAllAt(fd, line.data(), line.size(), end) &&
                    ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace quorvane
