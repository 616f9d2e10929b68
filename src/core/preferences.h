// What the preferences dialog shows and saves: folder values are shown with
// the base folder's text written as "$BASEDIR$"; Save writes every value of
// section "Quorvane" and applies all but the default category at once.
#pragma once

#include <string>

#include "core/settings.h"

namespace quorvane {

struct PreferenceValues {
    std::string defaultDb;  // display name, e.g. "Arcade Unemulated"
    std::string basedir;
    std::string sourcedir;
    std::string tosecdir;
    std::string gooddir;
    std::string arcadedir;
    std::string arcadeunemudir;
    std::string miscdir;
    std::string customdir;
    bool useMD5 = false;
    bool useSHA1 = false;
    bool fullScan = false;
    ArchiveOutput output = ArchiveOutput::Zip;
    MergeMode mergeMode = MergeMode::Split;
};

// The dialog's combo entries, in their order.
inline constexpr const char* kDefaultDbEntries[] = {"Tosec", "Good", "Arcade", "Arcade Unemulated", "Custom",
                                                    "Miscellaneous"};

PreferenceValues preferencesForDisplay(const Settings& settings);

// Writes the values to the settings file and into `settings` (not the
// run-time currentdb or categoryDir). False when the file could not be written.
bool savePreferences(const PreferenceValues& values, Settings& settings);

}  // namespace quorvane
