#include "core/names.h"

namespace quorvane {

bool isSafeFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

bool isSafeGameName(std::string_view name) { return isSafeFileName(name) && name.front() != '.'; }

bool isSafeEntryName(std::string_view name) {
    if (name.empty() || name.find('\\') != std::string_view::npos || name.find('\0') != std::string_view::npos)
        return false;
    for (size_t start = 0;;) {
        const size_t end = name.find('/', start);
        const std::string_view step = name.substr(start, end == std::string_view::npos ? end : end - start);
        if (step.empty() || step == "." || step == "..") return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

bool isSetFileOf(std::string_view fileName, std::string_view game) {
    if (fileName.size() <= game.size() || fileName.substr(0, game.size()) != game) return false;
    const std::string_view extension = fileName.substr(game.size());
    for (const char* each : kSetExtensions)
        if (extension == each) return true;
    return false;
}

std::string unsafeNameMessage(std::string_view what, std::string_view name) {
    std::string printable;
    for (char c : name) printable += (c == '\0') ? std::string("\\0") : std::string(1, c);
    return std::string(what) + " \"" + printable + "\" cannot be used as a file name; it was refused.";
}

}  // namespace quorvane
