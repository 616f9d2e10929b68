#include "archive/dos_time.h"

#include <cstdlib>

namespace quorvane {

namespace {

// With TZ unset, glibc's mktime (ours and libarchive's) reloads the zone on
// every call: a stat of /etc/localtime, and a free and copy of the zone name
// that the thread checker sees as a race between threads. Naming the default
// zone explicitly, once before any thread starts, makes each later call a
// comparison of that name. A TZ the user set is left as it is.
const bool zonePinned = [] {
    setenv("TZ", ":/etc/localtime", 0);
    tzset();
    return true;
}();

}  // namespace

time_t dosDateToTime(uint32_t dosDate) {
    struct tm t {};
    t.tm_year = static_cast<int>((dosDate >> 25) & 0x7F) + 80;
    t.tm_mon = static_cast<int>((dosDate >> 21) & 0x0F) - 1;
    t.tm_mday = static_cast<int>((dosDate >> 16) & 0x1F);
    t.tm_hour = static_cast<int>((dosDate >> 11) & 0x1F);
    t.tm_min = static_cast<int>((dosDate >> 5) & 0x3F);
    t.tm_sec = static_cast<int>(dosDate & 0x1F) * 2;
    t.tm_isdst = -1;
    return mktime(&t);
}

uint32_t timeToDosDate(time_t when) {
    struct tm t {};
    if (localtime_r(&when, &t) == nullptr || t.tm_year < 80) return (1u << 21) | (1u << 16);
    return (static_cast<uint32_t>(t.tm_year - 80) << 25) | (static_cast<uint32_t>(t.tm_mon + 1) << 21) |
           (static_cast<uint32_t>(t.tm_mday) << 16) | (static_cast<uint32_t>(t.tm_hour) << 11) |
           (static_cast<uint32_t>(t.tm_min) << 5) | static_cast<uint32_t>(t.tm_sec / 2);
}

}  // namespace quorvane
