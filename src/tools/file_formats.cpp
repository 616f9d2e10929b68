#include "tools/file_formats.h"

#include <strings.h>

#include "core/ini_file.h"

namespace quorvane {

namespace {

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ::strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

std::vector<std::string> registeredNames(const IniFile& ini) {
    std::vector<std::string> names;
    const long long number = ini.readInteger(kFormatsSection, "number", 0);
    for (long long n = 1; n <= number; ++n)
        names.push_back(ini.readString(kFormatsSection, "Format" + std::to_string(n), ""));
    return names;
}

}  // namespace

std::vector<std::string> listFormats(const std::string& settingsPath) { return registeredNames(IniFile(settingsPath)); }

ExportFormat loadFormat(const std::string& settingsPath, const std::string& name) {
    const IniFile ini(settingsPath);
    ExportFormat f;
    f.name = name;
    f.system = fromDelimited(ini.readString(name, "system", ""));
    f.game = fromDelimited(ini.readString(name, "game", ""));
    f.rom = fromDelimited(ini.readString(name, "rom", ""));
    return f;
}

std::string formatNameProblem(const std::string& name) {
    if (name.empty()) return "A format needs a name.";
    if (name.front() == ' ' || name.back() == ' ' || name.find_first_of("[]\r\n\t", 0) != std::string::npos ||
        name.find('\0') != std::string::npos)
        return "The format name \"" + name +
               "\" cannot be kept in the settings file (no brackets, line breaks or surrounding spaces).";
    for (const char* reserved : {kFormatsSection, "Quorvane", "Window"})
        if (sameIgnoringCase(name, reserved))
            return "The format name \"" + name + "\" is used by the settings file itself; choose another.";
    return {};
}

bool saveFormat(const std::string& settingsPath, const ExportFormat& format, std::string& error) {
    error = formatNameProblem(format.name);
    if (!error.empty()) return false;
    IniFile ini(settingsPath);
    bool known = false;
    for (const std::string& name : registeredNames(ini))
        if (sameIgnoringCase(name, format.name)) known = true;
    bool ok = true;
    if (!known) {
        const long long number = ini.readInteger(kFormatsSection, "number", 0) + 1;
        ok = ini.writeInteger(kFormatsSection, "number", number) &&
             ini.writeString(kFormatsSection, "Format" + std::to_string(number), format.name);
    }
    ok = ok && ini.writeString(format.name, "system", toDelimited(format.system)) &&
         ini.writeString(format.name, "game", toDelimited(format.game)) &&
         ini.writeString(format.name, "rom", toDelimited(format.rom));
    if (!ok) error = "Cannot write the settings file " + settingsPath + ": " + ini.lastError();
    return ok;
}

}  // namespace quorvane
