// The settings a user may read and change by name (the command line's
// `settings get/set`), with the check each value must pass before it is
// written: a folder key takes an absolute folder path (placeholders
// allowed), a flag 0 or 1, `headers` keep or remove, a window position an
// integer, `currentdb` a category's database name.
#pragma once

#include <string>
#include <vector>

#include "core/settings.h"

namespace quorvane {

// Every key `settings` prints, in its order; the derived ones (categoryDir,
// databasesDir, settingsFile) can be read but not set.
std::vector<std::string> settingKeys();
bool isSettableKey(const std::string& key);

// The value of `key` as `settings` prints it; false when there is no such key.
bool settingValue(const Settings& settings, const std::string& key, std::string& value);

// Checks `value` for `key` and writes it to the settings file. Empty on
// success; otherwise why nothing was written. `note` receives a remark worth
// showing even on success (a folder that does not exist yet).
std::string setSetting(Settings& settings, const std::string& key, const std::string& value, std::string* note);

}  // namespace quorvane
