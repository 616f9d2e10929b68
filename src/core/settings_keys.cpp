#include "core/settings_keys.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <set>

#include "core/file_util.h"
#include "core/ini_file.h"
#include "core/text.h"

namespace quorvane {

namespace {

enum class Kind { Integer, Flag, Folder, Database, Headers, Output, MergeMode, Derived };

struct Key {
    const char* name;
    Kind kind;
};

constexpr Key kKeys[] = {
    {"Top", Kind::Integer},          {"Left", Kind::Integer},         {"InitMax", Kind::Flag},
    {"useMD5", Kind::Flag},          {"useSHA1", Kind::Flag},         {"headers", Kind::Headers},
    {"fullScan", Kind::Flag},
    {"output", Kind::Output},        {"merge-mode", Kind::MergeMode}, {"basedir", Kind::Folder},
    {"sourcedir", Kind::Folder},     {"currentdb", Kind::Database},   {"tosecdir", Kind::Folder},
    {"gooddir", Kind::Folder},       {"arcadedir", Kind::Folder},     {"arcadeunemudir", Kind::Folder},
    {"miscdir", Kind::Folder},       {"customdir", Kind::Folder},     {"categoryDir", Kind::Derived},
    {"databasesDir", Kind::Derived}, {"settingsFile", Kind::Derived},
};

const Key* findKey(const std::string& name) {
    for (const Key& k : kKeys)
        if (name == k.name) return &k;
    return nullptr;
}

const Category* categoryOfKey(const std::string& key) {
    for (const Category& c : kCategories)
        if (c.folderKey == key) return &c;
    return nullptr;
}

template <class S>
auto* textField(S& s, const std::string& key) {
    if (key == "basedir") return &s.basedir;
    if (key == "sourcedir") return &s.sourcedir;
    if (key == "currentdb") return &s.currentdb;
    return &s.folderOf(*categoryOfKey(key));
}

// Why `value` is not a folder path, or "". Placeholders stand for folders
// known only later, so the check is on what is left of the path.
std::string folderProblem(const std::string& value, const Settings& settings) {
    if (value.empty()) return "a folder path is needed";
    std::string path = replaceAllIgnoreCase(value, "$BASEDIR$", settings.basedir);
    if (const size_t cut = path.find("$SYSTEM$"); cut != std::string::npos) path.resize(cut);
    if (path.empty() || path[0] != '/') return "a folder path must be absolute (start with \"/\" or \"$BASEDIR$\")";
    if (pathExists(path) && !isDirectory(path)) return path + " is not a folder";
    return {};
}

std::string outputProblem(const std::string& value) {
    if (archiveOutputNamed(value)) return {};
    return "output takes " + archiveOutputChoices() + ", not \"" + value + "\".";
}

std::string mergeModeProblem(const std::string& value) {
    if (mergeModeNamed(value)) return {};
    return "merge-mode takes " + mergeModeChoices() + ", not \"" + value + "\".";
}

// A key a system may have its own value of; its global value is the key of
// the same name in section "Quorvane".
struct SystemKey {
    const char* name;
    std::string (*problem)(const std::string& value);  // "" when the value passes
    std::vector<std::string> (*systemsWithOwn)(const Settings& s);
    std::optional<std::string> (*own)(const Settings& s, const std::string& system);
    // Sets the system's own value, or with nullopt drops it.
    void (*assign)(Settings& s, const std::string& system, const std::optional<std::string>& value);
};

// The row of a key whose systems' own values `Own` holds, written as `name` gives them.
template <auto Own, auto name, auto named>
constexpr SystemKey systemKey(const char* key, std::string (*problem)(const std::string&)) {
    return {key, problem,
            [](const Settings& s) {
                std::vector<std::string> systems;
                for (const auto& [system, value] : s.*Own) systems.push_back(system);
                return systems;
            },
            [](const Settings& s, const std::string& system) -> std::optional<std::string> {
                const auto it = (s.*Own).find(system);
                if (it == (s.*Own).end()) return std::nullopt;
                return name(it->second);
            },
            [](Settings& s, const std::string& system, const std::optional<std::string>& value) {
                if (value) (s.*Own).insert_or_assign(system, *named(*value));
                else (s.*Own).erase(system);
            }};
}

constexpr SystemKey kSystemKeys[] = {
    systemKey<&Settings::systemOutput, archiveOutputName, archiveOutputNamed>("output", outputProblem),
    systemKey<&Settings::systemMergeMode, mergeModeName, mergeModeNamed>("merge-mode", mergeModeProblem),
};

const SystemKey* findSystemKey(const std::string& name) {
    for (const SystemKey& k : kSystemKeys)
        if (name == k.name) return &k;
    return nullptr;
}

}  // namespace

std::vector<std::string> settingKeys() {
    std::vector<std::string> names;
    for (const Key& k : kKeys) names.emplace_back(k.name);
    return names;
}

bool isSettableKey(const std::string& key) {
    const Key* k = findKey(key);
    return k && k->kind != Kind::Derived;
}

bool settingValue(const Settings& s, const std::string& key, std::string& value) {
    if (!findKey(key)) return false;
    if (key == "Top") value = std::to_string(s.top);
    else if (key == "Left") value = std::to_string(s.left);
    else if (key == "InitMax") value = s.initMax ? "1" : "0";
    else if (key == "useMD5") value = s.useMD5 ? "1" : "0";
    else if (key == "useSHA1") value = s.useSHA1 ? "1" : "0";
    else if (key == "fullScan") value = s.fullScan ? "1" : "0";
    else if (key == "headers") value = s.removeHeaders ? "remove" : "keep";
    else if (key == "output") value = archiveOutputName(s.output);
    else if (key == "merge-mode") value = mergeModeName(s.mergeMode);
    else if (key == "categoryDir") value = s.categoryDir;
    else if (key == "databasesDir") value = s.databasesDir;
    else if (key == "settingsFile") value = s.settingsPath;
    else value = *textField(s, key);
    return true;
}

std::string setSetting(Settings& s, const std::string& key, const std::string& value, std::string* note) {
    const Key* k = findKey(key);
    if (!k) {
        std::string keys;
        for (const Key& each : kKeys)
            if (each.kind != Kind::Derived) keys += (keys.empty() ? "" : ", ") + std::string(each.name);
        return "There is no setting \"" + key + "\". The settings are: " + keys + ".";
    }
    switch (k->kind) {
        case Kind::Derived:
            return key + " follows from other settings and cannot be set.";
        case Kind::Integer: {
            long long number = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
            if (ec != std::errc() || end != value.data() + value.size() || value.empty())
                return key + " takes a whole number, not \"" + value + "\".";
            (key == "Top" ? s.top : s.left) = number;
            break;
        }
        case Kind::Flag: {
            if (value != "0" && value != "1") return key + " takes 0 or 1, not \"" + value + "\".";
            const bool on = value == "1";
            (key == "InitMax"    ? s.initMax
             : key == "useMD5"   ? s.useMD5
             : key == "fullScan" ? s.fullScan
                                 : s.useSHA1) = on;
            break;
        }
        case Kind::Headers: {
            if (value != "keep" && value != "remove")
                return "headers takes keep or remove, not \"" + value + "\".";
            s.removeHeaders = value == "remove";
            break;
        }
        case Kind::Output: {
            if (std::string problem = outputProblem(value); !problem.empty()) return problem;
            s.output = *archiveOutputNamed(value);
            break;
        }
        case Kind::MergeMode: {
            if (std::string problem = mergeModeProblem(value); !problem.empty()) return problem;
            s.mergeMode = *mergeModeNamed(value);
            break;
        }
        case Kind::Folder: {
            if (const std::string problem = folderProblem(value, s); !problem.empty())
                return key + ": " + problem + ".";
            *textField(s, key) = value;
            std::string resolved = replaceAllIgnoreCase(value, "$BASEDIR$", s.basedir);
            if (const size_t cut = resolved.find("$SYSTEM$"); cut != std::string::npos) resolved.resize(cut);
            if (note && !isDirectory(resolved)) *note = "The folder " + resolved + " does not exist yet.";
            break;
        }
        case Kind::Database: {
            if (!categoryByDatabaseName(value)) {
                std::string names;
                for (const Category& c : kCategories) names += (names.empty() ? "" : ", ") + std::string(c.databaseName);
                return "currentdb takes a category's database name (" + names + "), not \"" + value + "\".";
            }
            s.currentdb = value;
            break;
        }
    }
    // Only this key is written: the others keep what the file says, not the
    // run-time values (a --category choice is not a new default).
    makeFolders(dirName(s.settingsPath));
    IniFile ini(s.settingsPath);
    const bool window = k->kind == Kind::Integer || key == "InitMax";
    if (!ini.writeString(window ? "Window" : "Quorvane", key, value))
        return "Cannot write the settings file " + s.settingsPath + ".";
    return {};
}

std::vector<std::string> systemSettingKeys() {
    std::vector<std::string> names;
    for (const SystemKey& k : kSystemKeys) names.emplace_back(k.name);
    return names;
}

std::string systemKeyProblem(const std::string& key) {
    if (findSystemKey(key)) return {};
    std::string keys;
    for (const SystemKey& k : kSystemKeys) keys += (keys.empty() ? "" : ", ") + std::string(k.name);
    return "There is no per-system setting \"" + key + "\". The per-system settings are: " + keys + ".";
}

std::string systemValueProblem(const std::string& key, const std::string& value) {
    const SystemKey* k = findSystemKey(key);
    return k ? k->problem(value) : systemKeyProblem(key);
}

bool systemSettingValue(const Settings& s, const std::string& system, const std::string& key, std::string& value) {
    const SystemKey* k = findSystemKey(key);
    if (!k) return false;
    if (const std::optional<std::string> own = k->own(s, system)) value = *own;
    else settingValue(s, key, value);
    return true;
}

std::optional<std::string> ownSystemValue(const Settings& s, const std::string& system, const std::string& key) {
    const SystemKey* k = findSystemKey(key);
    return k ? k->own(s, system) : std::nullopt;
}

std::vector<OwnSystemValue> ownSystemValues(const Settings& s) {
    std::set<std::string, LessIgnoreCase> systems;
    for (const SystemKey& k : kSystemKeys)
        for (std::string& system : k.systemsWithOwn(s)) systems.insert(std::move(system));
    std::vector<OwnSystemValue> values;
    for (const std::string& system : systems)
        for (const SystemKey& k : kSystemKeys)
            if (const std::optional<std::string> own = k.own(s, system)) values.push_back({system, k.name, *own});
    return values;
}

std::string setSystemSetting(Settings& s, const std::string& system, const std::string& key, const std::string& value) {
    const SystemKey* k = findSystemKey(key);
    if (!k) return systemKeyProblem(key);
    if (!isStorableSystemName(system))
        return "The system name \"" + system +
               "\" cannot head a section of the settings file (it is empty, holds control characters or "
               "begins or ends with a blank).";
    const bool toGlobal = value == kGlobalValueWord;
    if (!toGlobal)
        if (std::string problem = k->problem(value); !problem.empty()) return problem;
    // Like a global setting, the value holds for this run even when the file cannot take it.
    k->assign(s, system, toGlobal ? std::nullopt : std::optional(value));
    makeFolders(dirName(s.settingsPath));
    IniFile ini(s.settingsPath);
    const std::string section = systemSectionName(system);
    if (!(toGlobal ? ini.eraseKey(section, key) : ini.writeString(section, key, value)))
        return "Cannot write the settings file " + s.settingsPath + ".";
    return {};
}

}  // namespace quorvane
