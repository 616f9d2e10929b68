// How the command line shows a job's report: the summary lines after the
// job's own output, or the parts of the --json document (README.md, "JSON
// output", gives the document's shape).
#pragma once

#include <cstdio>

#include "core/job_report.h"

namespace quorvane {

class Catalogue;
class JsonWriter;

// The summary lines on `out`; nothing when there is no report.
void printSummary(const JobReport* report, FILE* out = stdout);

// "cancelled", "summary", "backupFolder" (fix) and "systems", each system
// with its games as the catalogue now has them and the job's actions.
void writeSystemsReport(JsonWriter& out, const JobReport& report, Catalogue& db);
// "cancelled", "source", "summary", "games", "actions" and "unusedSources".
void writeRebuildReport(JsonWriter& out, const JobReport& report);
// "summary", "notMatched" and "unreadable" of an identification.
void writeIdentifyReport(JsonWriter& out, const JobReport& report);

}  // namespace quorvane
