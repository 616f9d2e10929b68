// The tool windows of the main window: the duplicate dialog, statistics,
// export formats, ROM identifier and the multi-zipper's two windows.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/job_host.h"

namespace quorvane {

class TformMain;
class TFormDupeList;
class TFormStats;
class TFormFormat;
class TIdentifierForm;
class TFileZipper;
class TScan;

class ToolWindows {
public:
    explicit ToolWindows(TformMain& main);
    ~ToolWindows();

    void askDuplicates(const std::string& fileName, const std::string& archivePath,
                       const std::vector<GenericRom>& matches, std::function<void(DupesAnswer)> answered);

    TFormDupeList& dupeList() { return *dupeList_; }
    TFormStats& stats() { return *stats_; }
    TFormFormat& formats() { return *formats_; }
    TIdentifierForm& identifier() { return *identifier_; }
    TFileZipper& fileZipper() { return *fileZipper_; }
    TScan& zipScan() { return *scan_; }

private:
    TFormDupeList* dupeList_;
    TFormStats* stats_;
    TFormFormat* formats_;
    TIdentifierForm* identifier_;
    TScan* scan_;
    TFileZipper* fileZipper_;
};

}  // namespace quorvane
