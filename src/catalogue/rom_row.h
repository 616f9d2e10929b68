// One ROM row of a category database.
#pragma once

#include <string>

#include "core/records.h"

namespace quorvane {

struct RomRow {
    RomStatus status = RomStatus::Missing;
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
