// The tool windows of the main window: the duplicate dialog, statistics,
// export formats, ROM identifier, the multi-zipper's two windows and the
// undo history.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/job_host.h"
#include "core/settings.h"

class QWidget;

namespace quorvane {

class CurrentDatabase;
class MessagesWindow;
class DuplicatesDialog;
class StatsWindow;
class ExportFormatsWindow;
class RomIdentifierWindow;
class ZipFolderPicker;
class ZipQueueWindow;
class UndoHistoryWindow;

class ToolWindows final {
public:
    // The windows are children of `owner`; the multi-zipper reports to
    // `messages`; the undo history takes a run back through `undoRun`.
    ToolWindows(QWidget& owner, const Settings& settings, JobHost& host, CurrentDatabase& database,
                MessagesWindow& messages, std::function<void(const std::string&)> undoRun);

    void askDuplicates(const std::string& fileName, const std::string& archivePath,
                       const std::vector<RomMatch>& matches, std::function<void(DupesAnswer)> answered);

    DuplicatesDialog& dupeList() { return *dupeList_; }
    StatsWindow& stats() { return *stats_; }
    ExportFormatsWindow& formats() { return *formats_; }
    RomIdentifierWindow& identifier() { return *identifier_; }
    ZipFolderPicker& fileZipper() { return *fileZipper_; }
    ZipQueueWindow& zipScan() { return *scan_; }
    UndoHistoryWindow& undoHistory() { return *history_; }

private:
    DuplicatesDialog* dupeList_;
    StatsWindow* stats_;
    ExportFormatsWindow* formats_;
    RomIdentifierWindow* identifier_;
    ZipQueueWindow* scan_;
    ZipFolderPicker* fileZipper_;
    UndoHistoryWindow* history_;
};

}  // namespace quorvane
