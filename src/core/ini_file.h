// The settings file and every other INI-like text, read and written with the
// rules of Windows profile files:
//   [Section]          section header; names match without regard to case;
//                      the name ends at the line's last "]", so it may hold "]"
//   key=value          key names match without regard to case; the value is
//                      the text after the first "=", trimmed
// The first matching section and the first matching key in it win. Lines the
// reader does not understand (comments, junk, over-long lines, bytes of any
// value) are kept as they are and written back unchanged. Lines may end in
// CR LF, LF or CR; the file is written back with CR LF.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvane {

class IniFile {
public:
    // Loads `path`. A missing or unreadable file gives an empty document.
    explicit IniFile(std::string path);

    const std::string& path() const { return path_; }

    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    std::string readString(std::string_view section, std::string_view key, std::string_view fallback) const;
    // Decimal or "0x" hexadecimal; anything else gives `fallback`.
    long long readInteger(std::string_view section, std::string_view key, long long fallback) const;
    // Non-zero integer is true, zero false, anything else `fallback`.
    bool readBool(std::string_view section, std::string_view key, bool fallback) const;

    // Replaces the key's value in place, or appends the key to its section
    // (appending the section when missing), then saves the whole file
    // atomically. False when the file could not be written.
    bool writeString(std::string_view section, std::string_view key, std::string_view value);
    bool writeInteger(std::string_view section, std::string_view key, long long value);
    bool writeBool(std::string_view section, std::string_view key, bool value);

    // Removes a whole section (all sections of that name) and saves.
    bool eraseSection(std::string_view section);
    // Removes the key from the first matching section and saves; a section
    // left holding only blank lines goes too. True when there was nothing to remove.
    bool eraseKey(std::string_view section, std::string_view key);

    // Names of the keys of the first matching section, in file order.
    std::vector<std::string> keys(std::string_view section) const;
    // Names of every section, as written, in file order (repeats included).
    std::vector<std::string> sections() const;

    const std::string& lastError() const { return lastError_; }

    // Reads only the requested values from a file of any size without keeping
    // it in memory. Result has one entry per request, nullopt when missing.
    static std::vector<std::optional<std::string>> scan(
        const std::string& path, const std::vector<std::pair<std::string, std::string>>& requests,
        bool* opened = nullptr);

private:
    bool save();

    std::string path_;
    std::vector<std::string> lines_;
    std::string lastError_;
};

}  // namespace quorvane
