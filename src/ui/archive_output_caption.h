// How the desktop names each output form in its menus and choices.
#pragma once

#include <QString>

#include "core/settings.h"

namespace quorvane {

// "zip", "TorrentZip", "7z".
QString archiveOutputCaption(ArchiveOutput output);

}  // namespace quorvane
