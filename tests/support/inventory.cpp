#include "support/inventory.h"

#include <filesystem>

#include "support/temp_dir.h"

namespace quorvane::testing {

std::map<std::string, std::string> inventoryOf(const std::string& root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> paths;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string where = e.path().string().substr(root.size());
        if (e.is_symlink()) paths[where] = "link";
        else if (e.is_directory()) paths[where] = "folder";
        else if (e.is_regular_file()) paths[where] = readFile(e.path().string());
        else paths[where] = "link";
    }
    return paths;
}

}  // namespace quorvane::testing
