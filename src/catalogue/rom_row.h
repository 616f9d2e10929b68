// One ROM row of a category database.
#pragma once

#include <string>

namespace quorvane {

struct RomRow {
    char status = 'N';
    std::string system;
    std::string game;
    std::string crc;
    std::string sha1;
    std::string md5;
    std::string romName;
    std::string size;
    std::string cloneOf;
    std::string romOf;
    std::string version;
    std::string author;
};

}  // namespace quorvane
