// MS-DOS date and time as zip headers store them, read as local time:
// bits 31-25 year-1980, 24-21 month, 20-16 day, 15-11 hour, 10-5 minute,
// 4-0 seconds/2.
#pragma once

#include <cstdint>
#include <ctime>

namespace quorvane {

time_t dosDateToTime(uint32_t dosDate);
// Times before 1980 (the first DOS year) become 1980-01-01 00:00:00.
uint32_t timeToDosDate(time_t when);

}  // namespace quorvane
