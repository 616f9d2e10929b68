#include "engine/set_conversion.h"

#include "archive/digest_set.h"
#include "archive/file_ops.h"
#include "archive/packed_archive.h"
#include "archive/seven_zip_writer.h"
#include "archive/torrent_zip.h"
#include "archive/zip_listing.h"
#include "archive/zip_reader.h"
#include "core/file_util.h"
#include "core/names.h"
#include "core/text.h"
#include "engine/staging_folder.h"

namespace quorvane {

namespace {

// File content as the listing described it.
File listedFile(const std::string& name, uint32_t crc, uint64_t size) {
    File file(name);
    file.crc = crcHex(crc, true);
    file.size = std::to_string(size);
    return file;
}

}  // namespace

std::string packedSetToConvert(const std::string& folder, const std::string& game) {
    if (pathExists(joinPath(folder, game + ".zip"))) return {};
    for (const char* extension : kSetExtensions) {
        if (std::string_view(extension) == ".zip") continue;
        const std::string path = joinPath(folder, game + extension);
        if (isRegularFile(path)) return path;
    }
    return {};
}

ZipStatus convertToZip(const std::string& packedPath, const BackupTree& backup,
                       DisplacedEntries* displaced, std::string& zipPath, std::string& keptAs) {
    const PackedListing list = listPacked(packedPath, false, false);
    if (list.status != ZipStatus::Ok) return list.status;
    const std::string folder = dirName(packedPath);
    zipPath = joinPath(folder, packedStem(baseName(packedPath)) + ".zip");

    StagingFolder stage(folder);
    if (!stage.ok()) return ZipStatus::Error;
    std::vector<std::pair<EntryKey, std::string>> wanted;
    for (const PackedEntry& entry : list.entries) {
        if (!isSafeEntryName(entry.name)) continue;
        wanted.push_back({{entry.name, entry.crc32, entry.size}, joinPath(stage.path(), std::to_string(wanted.size()))});
        stage.track(wanted.back().second);
    }
    // One read of the archive for all entries: a solid block is unpacked once.
    if (const ZipStatus status = extractPacked(packedPath, wanted); status != ZipStatus::Ok) return status;
    for (const auto& [key, staged] : wanted) {
        ContainerFiles source(staged);
        source.isZip = false;
        const ZipStatus status =
            copyToArchive(source, listedFile(key.name, key.crc32, key.size), zipPath, key.name, &backup, displaced);
        if (status != ZipStatus::Ok) return status;
    }
    // Every entry now has a synced copy in the zip: the archive may go.
    return moveIntoBackup(packedPath, backup.forFile(packedPath), &keptAs) == 0 ? ZipStatus::Ok : ZipStatus::Error;
}

namespace {

ZipStatus writeAs7z(const std::string& zipPath, std::string* finalPath) {
    const ZipListing info(zipPath);
    if (info.listStatus() != ZipStatus::Ok) return info.listStatus();
    const std::string folder = dirName(zipPath);
    StagingFolder stage(folder);
    if (!stage.ok()) return ZipStatus::Error;
    std::vector<SevenZipSource> sources;
    ZipReader unzip(zipPath);
    for (const ZipEntry& entry : info.entries()) {
        if (!entry.name.empty() && entry.name.back() == '/') continue;
        std::string written;
        const ZipStatus status =
            unzip.extractEntry({entry.name, entry.crc32, entry.uncompressedSize}, stage.path(), false, &written);
        if (status != ZipStatus::Ok) return status;
        stage.track(written);
        sources.push_back({entry.name, written});
    }
    unzip.close();
    const std::string sevenZip = joinPath(folder, packedStem(baseName(zipPath)) + ".7z");
    if (const ZipStatus status = write7z(sevenZip, sources); status != ZipStatus::Ok) return status;
    // The 7z is complete, checked and synced; the zip held the same entries.
    if (fileOps().remove(zipPath) != 0) return ZipStatus::CannotDeleteOld;
    fileOps().syncFolder(folder);
    if (finalPath) *finalPath = sevenZip;
    return ZipStatus::Ok;
}

}  // namespace

const char* outputFormName(ArchiveOutput output) {
    return output == ArchiveOutput::TorrentZip ? "TorrentZip" : archiveOutputName(output);
}

ZipStatus applyOutputForm(const std::string& zipPath, ArchiveOutput output, std::string* finalPath) {
    if (finalPath) *finalPath = zipPath;
    switch (output) {
        case ArchiveOutput::Zip: return ZipStatus::Ok;
        case ArchiveOutput::TorrentZip: return torrentZipArchive(zipPath);
        case ArchiveOutput::SevenZip: return writeAs7z(zipPath, finalPath);
    }
    return ZipStatus::Ok;
}

}  // namespace quorvane
