#include "ui/archive_output_caption.h"

namespace quorvane {

QString archiveOutputCaption(ArchiveOutput output) {
    switch (output) {
        case ArchiveOutput::TorrentZip: return QStringLiteral("TorrentZip");
        case ArchiveOutput::SevenZip: return QStringLiteral("7z");
        case ArchiveOutput::Zip: break;
    }
    return QStringLiteral("zip");
}

}  // namespace quorvane
