#include "core/settings.h"

#include <algorithm>
#include <set>

#include "core/file_util.h"
#include "core/ini_file.h"
#include "core/names.h"
#include "core/text.h"

namespace quorvane {

namespace {
constexpr const char* kWindow = "Window";
constexpr const char* kMain = "Quorvane";
constexpr const char* kSystemPrefix = "System ";

// A choice the file names by word: "what" is how warnings call it.
template <class Value>
struct Choice {
    const char* key;
    const char* what;
    std::optional<Value> (*named)(std::string_view);
    const char* (*name)(Value);
    std::string (*choices)();
};

constexpr Choice<ArchiveOutput> kOutputChoice{"output", "output", archiveOutputNamed, archiveOutputName,
                                              archiveOutputChoices};
constexpr Choice<MergeMode> kMergeModeChoice{"merge-mode", "merge mode", mergeModeNamed, mergeModeName,
                                             mergeModeChoices};

template <class Value>
Value readGlobalChoice(const IniFile& ini, const Choice<Value>& c, Value fallback, std::vector<std::string>* warnings) {
    const std::string word = ini.readString(kMain, c.key, c.name(fallback));
    if (const auto value = c.named(word)) return *value;
    if (warnings)
        warnings->push_back("Warning: the " + std::string(c.what) + " \"" + word + "\" in the settings file is not " +
                            c.choices() + "; using \"" + c.name(fallback) + "\".");
    return fallback;
}

template <class Value>
void readOwnChoice(const IniFile& ini, const std::string& section, const std::string& system, const Choice<Value>& c,
                   std::map<std::string, Value, LessIgnoreCase>& into, std::vector<std::string>* warnings) {
    const std::optional<std::string> word = ini.value(section, c.key);
    if (!word) return;
    if (const auto value = c.named(*word)) into.emplace(system, *value);
    else if (warnings)
        warnings->push_back("Warning: the " + std::string(c.what) + " \"" + *word + "\" of system \"" + system +
                            "\" in the settings file is not " + c.choices() + "; the system uses the global " + c.what +
                            ".");
}

// Every "System NAME" section's own values; a repeated section is read once
// (the first of a name is the one the file's rules read).
void readSystemSections(const IniFile& ini, Settings& s, std::vector<std::string>* warnings) {
    std::set<std::string, LessIgnoreCase> seen;
    for (const std::string& section : ini.sections()) {
        const std::optional<std::string> system = systemOfSection(section);
        if (!system || !seen.insert(*system).second) continue;
        readOwnChoice(ini, section, *system, kOutputChoice, s.systemOutput, warnings);
        readOwnChoice(ini, section, *system, kMergeModeChoice, s.systemMergeMode, warnings);
    }
}

// "a, b or c".
template <class Value, size_t N>
std::string choicesText(const Value (&values)[N], const char* (*name)(Value)) {
    std::string text;
    for (size_t i = 0; i < N; ++i) text += (i == 0 ? "" : i + 1 == N ? " or " : ", ") + std::string(name(values[i]));
    return text;
}
}  // namespace

const char* archiveOutputName(ArchiveOutput output) {
    switch (output) {
        case ArchiveOutput::TorrentZip: return "torrentzip";
        case ArchiveOutput::SevenZip: return "7z";
        case ArchiveOutput::Zip: break;
    }
    return "zip";
}

std::optional<ArchiveOutput> archiveOutputNamed(std::string_view name) {
    for (const ArchiveOutput o : kArchiveOutputs)
        if (name == archiveOutputName(o)) return o;
    return std::nullopt;
}

std::string archiveOutputChoices() { return choicesText(kArchiveOutputs, archiveOutputName); }

const char* mergeModeName(MergeMode mode) {
    switch (mode) {
        case MergeMode::Merged: return "merged";
        case MergeMode::NonMerged: return "non-merged";
        case MergeMode::FullNonMerged: return "full-non-merged";
        case MergeMode::Split: break;
    }
    return "split";
}

std::optional<MergeMode> mergeModeNamed(std::string_view name) {
    for (const MergeMode m : kMergeModes)
        if (name == mergeModeName(m)) return m;
    return std::nullopt;
}

std::string mergeModeChoices() { return choicesText(kMergeModes, mergeModeName); }

std::string systemSectionName(std::string_view system) { return kSystemPrefix + std::string(system); }

std::optional<std::string> systemOfSection(std::string_view section) {
    const std::string_view prefix = kSystemPrefix;
    if (section.size() <= prefix.size() || !equalsIgnoreCase(section.substr(0, prefix.size()), prefix))
        return std::nullopt;
    const std::string_view name = trimControl(section.substr(prefix.size()));
    if (name.empty()) return std::nullopt;
    return std::string(name);
}

bool isStorableSystemName(std::string_view system) {
    if (system.empty() || trimControl(system) != system) return false;
    return std::none_of(system.begin(), system.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

const std::string& Settings::folderOf(const Category& category) const {
    return const_cast<Settings*>(this)->folderOf(category);
}

std::string& Settings::folderOf(const Category& category) {
    const std::string_view key = category.folderKey;
    if (key == "gooddir") return gooddir;
    if (key == "arcadedir") return arcadedir;
    if (key == "arcadeunemudir") return arcadeunemudir;
    if (key == "miscdir") return miscdir;
    if (key == "customdir") return customdir;
    return tosecdir;
}

void Settings::selectCategory(const Category& category) {
    currentdb = std::string(category.databaseName);
    categoryDir = folderOf(category);
}

std::string chooseCategoryDir(const Settings& settings) {
    if (const Category* c = categoryByDatabaseName(settings.currentdb)) return settings.folderOf(*c);
    return settings.tosecdir;
}

Settings loadSettings(const ProgramFolders& folders, std::vector<std::string>* warnings) {
    Settings s;
    s.settingsPath = folders.settingsDir + kSettingsFileName;
    const IniFile ini(s.settingsPath);

    s.top = ini.readInteger(kWindow, "Top", 100);
    s.left = ini.readInteger(kWindow, "Left", 100);
    s.initMax = ini.readBool(kWindow, "InitMax", false);

    s.useMD5 = ini.readBool(kMain, "useMD5", false);
    s.useSHA1 = ini.readBool(kMain, "useSHA1", false);
    s.removeHeaders = ini.readString(kMain, "headers", "keep") == "remove";
    s.fullScan = ini.readBool(kMain, "fullScan", false);
    s.output = readGlobalChoice(ini, kOutputChoice, ArchiveOutput::Zip, warnings);
    s.mergeMode = readGlobalChoice(ini, kMergeModeChoice, MergeMode::Split, warnings);
    readSystemSections(ini, s, warnings);
    s.basedir = ini.readString(kMain, "basedir", folders.dataDir);
    s.sourcedir = ini.readString(kMain, "sourcedir", s.basedir + "/sourceroms");
    s.currentdb = ini.readString(kMain, "currentdb", "roms");
    for (const Category& c : kCategories)
        s.folderOf(c) = ini.readString(kMain, c.folderKey, s.basedir + std::string(c.defaultSubfolder));

    if (!isSafeFileName(s.currentdb)) {
        if (warnings)
            warnings->push_back("Warning: the database name \"" + s.currentdb +
                                "\" in the settings file is not a plain name; using \"roms\".");
        s.currentdb = "roms";
    }
    s.categoryDir = chooseCategoryDir(s);
    s.databasesDir = folders.dataDir + "databases/";
    s.backupDir = folders.dataDir + "Backup/";
    return s;
}

bool ensureDatabasesFolder(const Settings& settings) { return makeFolders(settings.databasesDir); }

bool saveWindowSettings(const Settings& settings) {
    makeFolders(dirName(settings.settingsPath));
    IniFile ini(settings.settingsPath);
    return ini.writeInteger(kWindow, "Top", settings.top) && ini.writeInteger(kWindow, "Left", settings.left) &&
           ini.writeBool(kWindow, "InitMax", settings.initMax);
}

bool saveGlobalSettings(const Settings& settings) {
    makeFolders(dirName(settings.settingsPath));
    IniFile ini(settings.settingsPath);
    bool ok = ini.writeBool(kMain, "useMD5", settings.useMD5) && ini.writeBool(kMain, "useSHA1", settings.useSHA1) &&
              ini.writeBool(kMain, "fullScan", settings.fullScan) &&
              ini.writeString(kMain, "basedir", settings.basedir) &&
              ini.writeString(kMain, "sourcedir", settings.sourcedir) &&
              ini.writeString(kMain, "currentdb", settings.currentdb) &&
              ini.writeString(kMain, "output", archiveOutputName(settings.output)) &&
              ini.writeString(kMain, "merge-mode", mergeModeName(settings.mergeMode));
    for (const Category& c : kCategories) ok = ok && ini.writeString(kMain, c.folderKey, settings.folderOf(c));
    return ok;
}

std::string resolveBaseDir(const Settings& settings, const std::string& folder) {
    return replaceAllIgnoreCase(folder, "$BASEDIR$", settings.basedir);
}

std::string systemFolderPath(const Settings& settings, const std::string& systemName) {
    std::string folder = resolveBaseDir(settings, settings.categoryDir);
    if (folder.find("$SYSTEM$") != std::string::npos)
        folder = replaceAllIgnoreCase(folder, "$SYSTEM$", systemName);
    else
        folder += "/" + systemName;
    return folder;
}

std::string resolveSystemFolder(const Settings& settings, const std::string& systemName, bool* exists) {
    std::string folder = systemFolderPath(settings, systemName);
    const bool ok = makeFolders(folder);
    if (exists) *exists = ok;
    return folder;
}

}  // namespace quorvane
