// The summary that ends a scan, fix, rebuild or identification, as both front
// ends show it: the job's own counts (JobReport), a line each.
#pragma once

#include <string>
#include <vector>

#include "core/job_report.h"

namespace quorvane {

std::vector<std::string> summaryLines(const JobReport& report);

}  // namespace quorvane
