#include "core/categories.h"

#include "core/text.h"

namespace quorvane {

const Category* categoryByDatabaseName(std::string_view databaseName) {
    for (const Category& c : kCategories)
        if (c.databaseName == databaseName) return &c;
    return nullptr;
}

const Category* categoryByAnyName(std::string_view name) {
    for (const Category& c : kCategories)
        if (equalsIgnoreCase(c.displayName, name) || equalsIgnoreCase(c.action, name) ||
            equalsIgnoreCase(c.databaseName, name))
            return &c;
    return nullptr;
}

}  // namespace quorvane
