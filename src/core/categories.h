// The six fixed collection categories.
#pragma once

#include <array>
#include <string_view>

namespace quorvane {

struct Category {
    std::string_view displayName;
    std::string_view action;
    std::string_view databaseName;
    std::string_view folderKey;
    std::string_view defaultSubfolder;  // appended to basedir as plain text
};

inline constexpr std::array<Category, 6> kCategories{{
    {"Tosec", "Tosec", "roms", "tosecdir", "/romsets/Tosec"},
    {"Good", "Good", "romsGood", "gooddir", "/romsets/Good"},
    {"Arcade", "Arcade", "romsArcade", "arcadedir", "/romsets/Arcade"},
    {"Arcade Unemulated", "ArcadeUnemu", "romsArcadeUnemu", "arcadeunemudir", "/romsets/Arcadeunemu"},
    {"Miscellaneous", "Miscellaneous", "romsmisc", "miscdir", "/romsets/Misc"},
    {"Custom", "Custom", "romscustom", "customdir", "/romsets/Custom"},
}};

// Exact, case-sensitive match on the database name; nullptr when none.
const Category* categoryByDatabaseName(std::string_view databaseName);
// Match on display name, action or database name, ignoring case (command line).
const Category* categoryByAnyName(std::string_view name);

}  // namespace quorvane
