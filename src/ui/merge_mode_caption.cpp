#include "ui/merge_mode_caption.h"

namespace quorvane {

QString mergeModeCaption(MergeMode mode) {
    switch (mode) {
        case MergeMode::Merged: return QStringLiteral("merged");
        case MergeMode::NonMerged: return QStringLiteral("non-merged");
        case MergeMode::FullNonMerged: return QStringLiteral("full non-merged");
        case MergeMode::Split: break;
    }
    return QStringLiteral("split");
}

}  // namespace quorvane
