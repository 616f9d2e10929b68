#include "ui/tool_windows.h"

#include "ui/duplicates_dialog.h"
#include "ui/export_formats_window.h"
#include "ui/messages_window.h"
#include "ui/rom_identifier_window.h"
#include "ui/stats_window.h"
#include "ui/undo_history_window.h"
#include "ui/zip_folder_picker.h"
#include "ui/zip_queue_window.h"

namespace quorvane {

ToolWindows::ToolWindows(QWidget& owner, const Settings& settings, JobHost& host, CurrentDatabase& database,
                         MessagesWindow& messages, std::function<void(const std::string&)> undoRun)
    : dupeList_(new DuplicatesDialog(&owner)),
      stats_(new StatsWindow(settings, host, database, &owner)),
      formats_(new ExportFormatsWindow(settings, host, database, &owner)),
      identifier_(new RomIdentifierWindow(settings, host, database, &owner)),
      scan_(new ZipQueueWindow(&owner)),
      fileZipper_(new ZipFolderPicker(*scan_, &owner)),
      history_(new UndoHistoryWindow(settings, std::move(undoRun), &owner)) {
    scan_->setHooks({[&settings] { return settings.backupDir; },
                     [&messages](const QString& line) {
                         messages.addMessage(line);
                         messages.show();
                     }});
}

void ToolWindows::askDuplicates(const std::string& fileName, const std::string& archivePath,
                                const std::vector<RomMatch>& matches, std::function<void(DupesAnswer)> answered) {
    dupeList_->showDupes(fileName, archivePath, matches, std::move(answered));
}

}  // namespace quorvane
