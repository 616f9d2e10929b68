// Fixing: repairs system folders in place. Missing ROMs found in the wrong
// archive or under the wrong name are copied to where they belong, archive
// names wrong only in letter case are corrected, and every unwanted file and
// unreadable archive goes into the job's backup folder. Nothing is removed
// before its copy is safely in the backup folder.
//
// How to use (the RomsDB starters do this):
//   runner.start(std::make_unique<FixThread>(db.shared(), host, settings, "System"));
#pragma once

#include "engine/analyze_thread.h"

namespace quorvane {

class FixThread : public analyzeThread {
public:
    FixThread(std::shared_ptr<RomsDBImpl> db, JobHost& host, Settings settings, std::string system,
              AnalysisOptions options = {});
    bool prepare() override;
    void execute() override;

    const std::string& backupFolderPath() const { return backupFolder; }

protected:
    // Settings' backup folder + the job's start time; created now, even if
    // nothing ends up in it.
    void makeBackupFolder();
    void fixOneSystem();

    std::string backupFolder;

private:
    void secondPass();
    void fixFile(size_t index);
    // A missing ROM of this system found in the wrong place. True when the
    // file has become the wanted copy of it.
    bool rebuildMisplaced(FileCollection& collection, size_t index, size_t entry, File& f, const GenericRom& r);
    void rebuildForeign(const FileCollection& collection, size_t entry, File& f, const GenericRom& r);
    void renameCollection(FileCollection& collection, size_t index, const std::string& newName);
};

class MultiFixThread : public FixThread {
public:
    MultiFixThread(std::shared_ptr<RomsDBImpl> db, JobHost& host, Settings settings, std::vector<std::string> systems,
                   AnalysisOptions options = {});
    bool prepare() override;
    void execute() override;

private:
    std::vector<std::string> systemList;
};

}  // namespace quorvane
