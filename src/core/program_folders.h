// Where the settings file, the databases and the backups live.
//   --home DIR or QUORVANE_HOME=DIR   all three in DIR
//   otherwise the executable's folder when it is writable
//   otherwise $XDG_CONFIG_HOME/quorvane (settings) and
//             $XDG_DATA_HOME/quorvane (databases, backups)
#pragma once

#include <string>

namespace quorvane {

struct ProgramFolders {
    std::string settingsDir;  // each ends in "/"
    std::string dataDir;
};

// `homeOverride` is the --home value (empty when not given).
ProgramFolders locateProgramFolders(const std::string& homeOverride = {});
ProgramFolders programFoldersIn(const std::string& dir);
std::string executableFolder();

}  // namespace quorvane
