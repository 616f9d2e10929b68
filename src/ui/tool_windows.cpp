#include "ui/tool_windows.h"

#include "ui/zip_folder_picker.h"
#include "ui/zip_queue_window.h"
#include "ui/duplicates_dialog.h"
#include "ui/messages_window.h"
#include "ui/export_formats_window.h"
#include "ui/main_window.h"
#include "ui/stats_window.h"
#include "ui/rom_identifier_window.h"

namespace quorvane {

ToolWindows::ToolWindows(MainWindow& main)
    : dupeList_(new DuplicatesDialog(&main)),
      stats_(new StatsWindow(main)),
      formats_(new ExportFormatsWindow(main)),
      identifier_(new RomIdentifierWindow(main)),
      scan_(new ZipQueueWindow(&main)),
      fileZipper_(new ZipFolderPicker(*scan_, &main)) {
    scan_->setHooks({[&main] { return main.settings().backupDir; },
                     [&main](const QString& line) {
                         main.messagesWindow().addMessage(line);
                         main.messagesWindow().show();
                     }});
}

ToolWindows::~ToolWindows() = default;

void ToolWindows::askDuplicates(const std::string& fileName, const std::string& archivePath,
                                const std::vector<GenericRom>& matches, std::function<void(DupesAnswer)> answered) {
    dupeList_->showDupes(fileName, archivePath, matches, std::move(answered));
}

}  // namespace quorvane
