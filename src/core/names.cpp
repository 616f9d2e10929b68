#include "core/names.h"

namespace quorvane {

bool isSafeFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::string unsafeNameMessage(std::string_view what, std::string_view name) {
    std::string printable;
    for (char c : name) printable += (c == '\0') ? std::string("\\0") : std::string(1, c);
    return std::string(what) + " \"" + printable + "\" cannot be used as a file name; it was refused.";
}

}  // namespace quorvane
