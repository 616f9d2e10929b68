// The process-wide settings: read once from "quorvane.INI" in the settings
// folder, then handed to every job. Folder values are kept exactly as written
// (placeholders included) and resolved where a folder is used.
//
// The file's sections:
//   [Window]           the main window's place (Top, Left, InitMax)
//   [Quorvane]         everything else that applies to every system
//   [System NAME]      what one system does differently; NAME is the system's
//                      name in the catalogue; its keys are "output" and
//                      "merge-mode".
//                      Like every section name it matches without regard to
//                      case, so systems named alike but for case share one.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/categories.h"
#include "core/program_folders.h"
#include "core/text.h"

namespace quorvane {

inline constexpr const char* kSettingsFileName = "quorvane.INI";
inline constexpr const char* kScratchDatabaseName = "TempDB";

// The form fix and rebuild give the sets they create or change.
enum class ArchiveOutput { Zip, TorrentZip, SevenZip };
inline constexpr ArchiveOutput kArchiveOutputs[] = {ArchiveOutput::Zip, ArchiveOutput::TorrentZip,
                                                    ArchiveOutput::SevenZip};
// "zip", "torrentzip", "7z": the words of the settings file and the command line.
const char* archiveOutputName(ArchiveOutput output);
std::optional<ArchiveOutput> archiveOutputNamed(std::string_view name);
// "zip, torrentzip or 7z", for messages.
std::string archiveOutputChoices();

// How a system's sets hold clones' ROMs and the BIOS and device ROMs they need.
// Split is the rule the catalogue has always had, so it is the default.
enum class MergeMode { Split, Merged, NonMerged, FullNonMerged };
inline constexpr MergeMode kMergeModes[] = {MergeMode::Split, MergeMode::Merged, MergeMode::NonMerged,
                                            MergeMode::FullNonMerged};
// "split", "merged", "non-merged", "full-non-merged".
const char* mergeModeName(MergeMode mode);
std::optional<MergeMode> mergeModeNamed(std::string_view name);
// "split, merged, non-merged or full-non-merged", for messages.
std::string mergeModeChoices();

// "System NAME" for a system's section, and back (nullopt for other sections).
std::string systemSectionName(std::string_view system);
std::optional<std::string> systemOfSection(std::string_view section);
// False for a name a section header cannot hold as it is: empty, with
// control characters, or with blanks at either end.
bool isStorableSystemName(std::string_view system);

struct Settings {
    // Section "Window".
    long long top = 100;
    long long left = 100;
    bool initMax = false;
    // Section "Quorvane", in file order.
    bool useMD5 = false;
    bool useSHA1 = false;
    // "headers": fix and rebuild write a headered ROM without its copier
    // header ("remove") or as found ("keep").
    bool removeHeaders = false;
    // "output", and the systems that have their own (section "System NAME").
    ArchiveOutput output = ArchiveOutput::Zip;
    std::map<std::string, ArchiveOutput, LessIgnoreCase> systemOutput;
    // "merge-mode", and likewise per system.
    MergeMode mergeMode = MergeMode::Split;
    std::map<std::string, MergeMode, LessIgnoreCase> systemMergeMode;
    // A scan also says which zips are valid TorrentZip (`scan --torrentzip`);
    // it always does for a system whose output is TorrentZip. Run time only.
    bool checkTorrentZip = false;
    // A scan also has chdman check the data of each disk image in place
    // (`scan --verify-chd`): it reads every image whole. Run time only.
    bool verifyChd = false;
    // "fullScan": every scan reads and tests each file whole, also one
    // unchanged since the last scan tested it (`scan --full` for one run).
    bool fullScan = false;
    std::string basedir;
    std::string sourcedir;
    std::string currentdb = "roms";
    std::string tosecdir;
    std::string gooddir;
    std::string arcadedir;
    std::string arcadeunemudir;
    std::string miscdir;
    std::string customdir;
    // Derived.
    std::string categoryDir;
    std::string databasesDir;
    std::string backupDir;
    std::string settingsPath;

    // The folder value of a category (one of the six keys above).
    const std::string& folderOf(const Category& category) const;
    std::string& folderOf(const Category& category);
    // `databasesDir` + `currentdb`: base path of the open category database.
    std::string currentDatabasePath() const { return databasesDir + currentdb; }
    std::string scratchDatabasePath() const { return databasesDir + kScratchDatabaseName; }

    ArchiveOutput outputFor(const std::string& system) const {
        const auto it = systemOutput.find(system);
        return it == systemOutput.end() ? output : it->second;
    }
    MergeMode mergeModeFor(const std::string& system) const {
        const auto it = systemMergeMode.find(system);
        return it == systemMergeMode.end() ? mergeMode : it->second;
    }

    // Category switching: sets `currentdb` and `categoryDir` (run time only).
    void selectCategory(const Category& category);
};

// Reads the settings file of `folders` in the documented order and fills the
// derived values. Warnings (a refused `currentdb`, an output or merge mode
// that is none of the choices) are appended to `warnings`.
Settings loadSettings(const ProgramFolders& folders, std::vector<std::string>* warnings = nullptr);

// Creates `databasesDir` with its parents. False when it cannot be created.
bool ensureDatabasesFolder(const Settings& settings);

// Writes the "Window" section.
bool saveWindowSettings(const Settings& settings);
// Writes the "Quorvane" section (the preferences dialog's Save).
bool saveGlobalSettings(const Settings& settings);

// `categoryDir` chosen from `currentdb`: the first category whose database name
// equals it exactly, else the Tosec folder.
std::string chooseCategoryDir(const Settings& settings);

// The folder of one system of the current category: "$BASEDIR$" replaced by
// basedir (ignoring case); then "$SYSTEM$" (searched case-sensitively,
// replaced ignoring case) by the system name, or the name appended after "/".
// The folder is created with its parents; `created` tells whether it exists.
std::string resolveSystemFolder(const Settings& settings, const std::string& systemName, bool* exists = nullptr);
// The same folder's path, without creating anything.
std::string systemFolderPath(const Settings& settings, const std::string& systemName);
// Only the "$BASEDIR$" step (the rebuild's source folder).
std::string resolveBaseDir(const Settings& settings, const std::string& folder);

}  // namespace quorvane
