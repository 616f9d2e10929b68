#include "ui/tool_windows.h"

#include "ui/form_dupe_list.h"
#include "ui/form_main.h"

namespace quorvane {

ToolWindows::ToolWindows(TformMain& main) : main_(main), dupeList_(new TFormDupeList(&main)) {}

ToolWindows::~ToolWindows() = default;

void ToolWindows::askDuplicates(const std::string& fileName, const std::string& archivePath,
                                const std::vector<GenericRom>& matches, std::function<void(DupesAnswer)> answered) {
    dupeList_->showDupes(fileName, archivePath, matches, std::move(answered));
}

}  // namespace quorvane
