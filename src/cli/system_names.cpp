// Every command that takes system names refuses an unknown one the same way,
// with the closest name the category has when there is one.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "catalogue/catalogue.h"
#include "cli/cli_context.h"
#include "core/text.h"

namespace quorvane {

namespace {

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string closestSystemName(const std::string& name, const std::vector<std::string>& systems) {
    const std::string wanted = lowered(name);
    std::string best;
    // A third of the name may differ, so short names only match near misses.
    size_t bestDistance = std::max<size_t>(1, wanted.size() / 3) + 1;
    for (const std::string& s : systems) {
        const size_t d = editDistance(wanted, lowered(s));
        if (d < bestDistance) {
            bestDistance = d;
            best = s;
        }
    }
    return best;
}

int checkSystemNames(Catalogue& db, const std::vector<std::string>& names) {
    std::vector<std::string> systems;
    bool listed = false;
    for (const std::string& name : names) {
        if (db.hasSystem(name)) continue;
        // A database that cannot be read is named as such, never as a missing system.
        if (const std::string error = db.lastError(); !error.empty()) {
            std::fprintf(stderr, "%s\n", terminalText(error).c_str());
            return kExitFailed;
        }
        if (!listed) systems = db.getSystems();
        listed = true;
        std::string text = "There is no system \"" + name + "\" in this category.";
        if (const std::string near = closestSystemName(name, systems); !near.empty())
            text += " Did you mean " + near + "?";
        std::fprintf(stderr, "%s\n", terminalText(text).c_str());
        return kExitUsage;
    }
    if (const std::string error = db.lastError(); !error.empty()) {
        std::fprintf(stderr, "%s\n", terminalText(error).c_str());
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace quorvane
