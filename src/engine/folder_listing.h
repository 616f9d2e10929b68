// The files a job works on: the plain files of a system folder, or every
// file below a rebuild's source folder.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

// Names (not paths) of the regular files directly in `folder`, sorted by
// byte value. Hidden files (a leading ".") are left out, which also keeps the
// program's own temporary files out of a job. Empty when the folder cannot
// be read.
std::vector<std::string> listPlainFiles(const std::string& folder);

// Names directly in `folder` (files and folders) that start with
// kTempPrefix: what a killed run of the program left behind. Sorted.
std::vector<std::string> listLeftovers(const std::string& folder);

// listPlainFiles and listLeftovers of one folder from a single read of it.
struct FolderNames {
    std::vector<std::string> files;
    std::vector<std::string> leftovers;
    // Something non-hidden besides the plain files: a sub-folder, a link
    // that is not to a file, a device.
    bool hasOthers = false;
};
FolderNames listFolder(const std::string& folder);

// Full paths of every regular, non-hidden file below `folder`, each folder's
// names sorted by byte value and a sub-folder's files in the place of the
// sub-folder's name. Symbolic links to folders are not followed, so a link
// loop cannot make the walk endless.
void collectFilesRecursive(const std::string& folder, std::vector<std::string>& out);

}  // namespace quorvane
