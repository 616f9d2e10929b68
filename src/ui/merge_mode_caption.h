// How the desktop names each merge mode in its menus and choices.
#pragma once

#include <QString>

#include "core/settings.h"

namespace quorvane {

// "split", "merged", "non-merged", "full non-merged".
QString mergeModeCaption(MergeMode mode);

}  // namespace quorvane
