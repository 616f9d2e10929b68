// The settings a user may read and change by name (the command line's
// `settings get/set`), with the check each value must pass before it is
// written: a folder key takes an absolute folder path (placeholders
// allowed), a flag 0 or 1, `headers` keep or remove, `output` zip,
// torrentzip or 7z, a window position an integer, `currentdb` a category's
// database name. A per-system key is a global key a system may override in
// its own section; the word "default" puts the system back on the global value.
#pragma once

#include <optional>
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

// The value that removes a system's own value of a per-system key.
inline constexpr const char* kGlobalValueWord = "default";

// The keys a system may have its own value of, in their order.
std::vector<std::string> systemSettingKeys();
// "There is no per-system setting ..." when `key` is none of them, else "".
std::string systemKeyProblem(const std::string& key);

// Why `value` is not a value of the per-system key `key`; "" when it is.
std::string systemValueProblem(const std::string& key, const std::string& value);

// The value `system` works with (its own, else the global one); false when
// `key` is not a per-system key.
bool systemSettingValue(const Settings& settings, const std::string& system, const std::string& key,
                        std::string& value);

// The system's own value of `key`; nullopt when it has none or `key` is not a per-system key.
std::optional<std::string> ownSystemValue(const Settings& settings, const std::string& system, const std::string& key);

struct OwnSystemValue {
    std::string system;
    std::string key;
    std::string value;
};
// Every value a system has of its own, systems in name order.
std::vector<OwnSystemValue> ownSystemValues(const Settings& settings);

// Checks `value` and writes it to the system's section ("default" removes
// the system's own value). Empty on success; otherwise why nothing changed.
std::string setSystemSetting(Settings& settings, const std::string& system, const std::string& key,
                             const std::string& value);

}  // namespace quorvane
