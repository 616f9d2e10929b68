// The status icons: complete (have), missing and incomplete, shipped as
// resources; "haveicon.bmp", "missicon.bmp" and "incompleteicon.bmp" in the
// working directory replace them when present.
#pragma once

#include <QIcon>

namespace quorvane {

enum class StatusIcon { Have = 0, Missing = 1, Incomplete = 2 };

QIcon statusIcon(StatusIcon which);
QIcon systemIcon();
QIcon programIcon();
// Game icon by index 0 complete, 1 missing, 2 incomplete.
QIcon gameIcon(int index);
// ROM icon: have for "Y", missing for anything else.
QIcon romIcon(const std::string& status);

}  // namespace quorvane
