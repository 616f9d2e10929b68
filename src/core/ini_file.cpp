#include "core/ini_file.h"

#include <cstdio>

#include "core/file_util.h"
#include "core/line_reader.h"
#include "core/text.h"

namespace quorvane {

namespace {

// "[name]" (with optional surrounding blanks) -> name.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trimControl(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    const size_t close = line.rfind(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trimControl(line.substr(1, close - 1));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> keyValue(std::string_view line) {
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const std::string_view key = trimControl(line.substr(0, eq));
    if (key.empty() || key.front() == ';') return std::nullopt;
    return KeyValue{key, trimControl(line.substr(eq + 1))};
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    LineReader reader(path_);
    std::string line;
    while (reader.next(line)) lines_.push_back(line);
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    bool inSection = false;
    bool seenSection = false;
    for (const std::string& line : lines_) {
        if (auto name = sectionName(line)) {
            if (inSection) return std::nullopt;  // first matching section only
            inSection = !seenSection && equalsIgnoreCase(*name, section);
            seenSection = seenSection || inSection;
            continue;
        }
        if (!inSection) continue;
        if (auto kv = keyValue(line); kv && equalsIgnoreCase(kv->key, key)) return std::string(kv->value);
    }
    return std::nullopt;
}

std::string IniFile::readString(std::string_view section, std::string_view key, std::string_view fallback) const {
    auto v = value(section, key);
    return v ? *v : std::string(fallback);
}

long long IniFile::readInteger(std::string_view section, std::string_view key, long long fallback) const {
    auto v = value(section, key);
    if (!v) return fallback;
    auto n = parseProfileInteger(*v);
    return n ? *n : fallback;
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool fallback) const {
    auto v = value(section, key);
    if (!v) return fallback;
    auto n = parseProfileInteger(*v);
    return n ? *n != 0 : fallback;
}

std::vector<std::string> IniFile::keys(std::string_view section) const {
    std::vector<std::string> out;
    bool inSection = false;
    for (const std::string& line : lines_) {
        if (auto name = sectionName(line)) {
            if (inSection) break;
            inSection = equalsIgnoreCase(*name, section);
            continue;
        }
        if (inSection)
            if (auto kv = keyValue(line)) out.emplace_back(kv->key);
    }
    return out;
}

std::vector<std::string> IniFile::sections() const {
    std::vector<std::string> out;
    for (const std::string& line : lines_)
        if (auto name = sectionName(line)) out.emplace_back(*name);
    return out;
}

bool IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string newLine = std::string(key) + "=" + std::string(value);
    std::optional<size_t> sectionLine;
    size_t insertAt = lines_.size();
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (auto name = sectionName(lines_[i])) {
            if (sectionLine) break;
            if (equalsIgnoreCase(*name, section)) {
                sectionLine = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (!sectionLine) continue;
        if (auto kv = keyValue(lines_[i]); kv && equalsIgnoreCase(kv->key, key)) {
            lines_[i] = newLine;
            return save();
        }
        if (!trimControl(lines_[i]).empty()) insertAt = i + 1;
    }
    if (!sectionLine) {
        if (!lines_.empty() && !trimControl(lines_.back()).empty()) lines_.emplace_back();
        // Appended piece by piece: GCC 12 warns wrongly (-Wrestrict) on "[" + string at -O3.
        std::string header(1, '[');
        header.append(section).push_back(']');
        lines_.push_back(std::move(header));
        insertAt = lines_.size();
    }
    lines_.insert(lines_.begin() + static_cast<long>(insertAt), newLine);
    return save();
}

bool IniFile::writeInteger(std::string_view section, std::string_view key, long long value) {
    return writeString(section, key, std::to_string(value));
}

bool IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
    return writeString(section, key, value ? "1" : "0");
}

bool IniFile::eraseSection(std::string_view section) {
    std::vector<std::string> kept;
    bool dropping = false;
    for (const std::string& line : lines_) {
        if (auto name = sectionName(line)) dropping = equalsIgnoreCase(*name, section);
        if (!dropping) kept.push_back(line);
    }
    lines_ = std::move(kept);
    return save();
}

bool IniFile::eraseKey(std::string_view section, std::string_view key) {
    std::optional<size_t> header;
    std::optional<size_t> found;
    size_t end = lines_.size();
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (auto name = sectionName(lines_[i])) {
            if (header) {
                end = i;
                break;
            }
            if (equalsIgnoreCase(*name, section)) header = i;
            continue;
        }
        if (header && !found)
            if (auto kv = keyValue(lines_[i]); kv && equalsIgnoreCase(kv->key, key)) found = i;
    }
    if (!found) return true;
    lines_.erase(lines_.begin() + static_cast<long>(*found));
    --end;
    bool onlyBlanks = true;
    for (size_t i = *header + 1; i < end && onlyBlanks; ++i) onlyBlanks = trimControl(lines_[i]).empty();
    if (onlyBlanks) lines_.erase(lines_.begin() + static_cast<long>(*header), lines_.begin() + static_cast<long>(end));
    return save();
}

bool IniFile::save() {
    std::string content;
    for (const std::string& line : lines_) {
        content += line;
        content += "\r\n";
    }
    lastError_.clear();
    return writeFileAtomically(path_, content, &lastError_);
}

std::vector<std::optional<std::string>> IniFile::scan(
    const std::string& path, const std::vector<std::pair<std::string, std::string>>& requests, bool* opened) {
    std::vector<std::optional<std::string>> found(requests.size());
    std::vector<bool> sectionDone(requests.size(), false);
    LineReader reader(path);
    if (opened) *opened = reader.isOpen();
    std::string line;
    std::string current;
    bool haveSection = false;
    size_t remaining = requests.size();
    while (remaining > 0 && reader.next(line)) {
        if (auto name = sectionName(line)) {
            // Leaving a section closes its requests: only the first one counts.
            if (haveSection)
                for (size_t i = 0; i < requests.size(); ++i)
                    if (equalsIgnoreCase(requests[i].first, current) && !sectionDone[i]) {
                        sectionDone[i] = true;
                        if (!found[i]) --remaining;
                    }
            current = std::string(*name);
            haveSection = true;
            continue;
        }
        if (!haveSection) continue;
        auto kv = keyValue(line);
        if (!kv) continue;
        for (size_t i = 0; i < requests.size(); ++i) {
            if (found[i] || sectionDone[i]) continue;
            if (equalsIgnoreCase(requests[i].first, current) && equalsIgnoreCase(requests[i].second, kv->key)) {
                found[i] = std::string(kv->value);
                --remaining;
            }
        }
    }
    return found;
}

}  // namespace quorvane
