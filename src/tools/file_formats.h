// Custom export formats, kept in the settings file:
//   [FileFormats]
//   number=2                 how many formats are registered
//   Format1=newFormat        the names, Format1 .. Format<number>
//   Format2=Clrmame
//   [newFormat]              one section per format, each template in
//   system=...               delimited form (see export_template.h)
//   game=...
//   rom=...
// Formats are never deleted; "number" only grows.
#pragma once

#include <string>
#include <vector>

#include "tools/export_template.h"

namespace quorvane {

inline constexpr const char* kFormatsSection = "FileFormats";

struct ExportFormat {
    std::string name;
    TemplateLines system;
    TemplateLines game;
    TemplateLines rom;
};

// The registered names, Format1 .. Format<number>, in that order.
std::vector<std::string> listFormats(const std::string& settingsPath);

// The format's three templates; a missing key gives no lines.
ExportFormat loadFormat(const std::string& settingsPath, const std::string& name);

// Why `name` cannot name a format (it would not survive as a section of the
// settings file, or would write into one of the program's own sections);
// empty when it can.
std::string formatNameProblem(const std::string& name);

// Registers the name unless it is already registered (names compare without
// regard to case, as sections do) and writes the three templates over any
// earlier ones. False with `error` set when the name is refused or the file
// cannot be written.
bool saveFormat(const std::string& settingsPath, const ExportFormat& format, std::string& error);

}  // namespace quorvane
