#include "ui/tool_windows.h"

#include "ui/file_zipper.h"
#include "ui/form_dupe_list.h"
#include "ui/form_error.h"
#include "ui/form_format.h"
#include "ui/form_main.h"
#include "ui/form_stats.h"
#include "ui/identifier_form.h"

namespace quorvane {

ToolWindows::ToolWindows(TformMain& main)
    : dupeList_(new TFormDupeList(&main)),
      stats_(new TFormStats(main)),
      formats_(new TFormFormat(main)),
      identifier_(new TIdentifierForm(main)),
      scan_(new TScan(&main)),
      fileZipper_(new TFileZipper(*scan_, &main)) {
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
