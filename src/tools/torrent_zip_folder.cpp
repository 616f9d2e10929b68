#include "tools/torrent_zip_folder.h"

#include "archive/torrent_zip.h"
#include "core/file_util.h"
#include "core/text.h"
#include "engine/backup_tree.h"
#include "engine/folder_listing.h"

namespace quorvane {

TorrentZipCounts torrentZipFolder(const std::string& folder, ZipperBackup& backup,
                                  const std::function<void(const TorrentZipStep&)>& each) {
    TorrentZipCounts counts;
    for (const std::string& name : listPlainFiles(folder)) {
        if (!endsWithIgnoreCase(name, ".zip")) continue;
        TorrentZipStep step{.path = joinPath(folder, name)};
        if (isTorrentZip(step.path)) {
            ++counts.valid;
            if (each) each(step);
            continue;
        }
        std::string why;
        const std::string runFolder = backup.folder(why);
        step.status = runFolder.empty() ? ZipStatus::Error
                                        : torrentZipArchive(step.path, BackupTree(runFolder, folder).forFile(step.path).folder,
                                                            &step.converted, &step.keptAs);
        if (step.status != ZipStatus::Ok) ++counts.failed;
        else if (step.converted) ++counts.converted;
        else ++counts.valid;
        if (each) each(step);
    }
    return counts;
}

}  // namespace quorvane
