#include "core/program_folders.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

#include "core/file_util.h"

namespace quorvane {

namespace {
std::string withSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::string envOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return (value && *value) ? std::string(value) : fallback;
}
}  // namespace

std::string executableFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return "./";
    return withSlash(dirName(std::string(buffer, static_cast<size_t>(n))));
}

ProgramFolders programFoldersIn(const std::string& dir) {
    const std::string d = withSlash(dir);
    return {d, d};
}

ProgramFolders locateProgramFolders(const std::string& homeOverride) {
    if (!homeOverride.empty()) return programFoldersIn(homeOverride);
    const std::string home = envOr("QUORVANE_HOME", "");
    if (!home.empty()) return programFoldersIn(home);
    const std::string exeDir = executableFolder();
    if (::access(exeDir.c_str(), W_OK) == 0) return programFoldersIn(exeDir);
    const std::string userHome = envOr("HOME", "/tmp");
    ProgramFolders folders;
    folders.settingsDir = withSlash(envOr("XDG_CONFIG_HOME", userHome + "/.config")) + "quorvane/";
    folders.dataDir = withSlash(envOr("XDG_DATA_HOME", userHome + "/.local/share")) + "quorvane/";
    return folders;
}

}  // namespace quorvane
