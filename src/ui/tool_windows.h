// The tool windows of the main window: the duplicate dialog, statistics,
// export formats, ROM identifier and multi-zipper.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/job_host.h"

namespace quorvane {

class TformMain;
class TFormDupeList;

class ToolWindows {
public:
    explicit ToolWindows(TformMain& main);
    ~ToolWindows();

    void askDuplicates(const std::string& fileName, const std::string& archivePath,
                       const std::vector<GenericRom>& matches, std::function<void(DupesAnswer)> answered);
    TFormDupeList& dupeList() { return *dupeList_; }

private:
    TformMain& main_;
    TFormDupeList* dupeList_;
};

}  // namespace quorvane
