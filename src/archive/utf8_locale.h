// libarchive converts entry names between their stored form (UTF-16 in 7z
// and RAR 5) and the thread's locale; under the "C" locale a program starts
// in, every non-ASCII name converts to nothing. While a ScopedUtf8Locale
// lives, the thread's character type is UTF-8, so names come and go as
// UTF-8. Other threads and the process's locale are left alone.
#pragma once

#include <clocale>

namespace quorvane {

class ScopedUtf8Locale {
public:
    ScopedUtf8Locale();
    ~ScopedUtf8Locale();
    ScopedUtf8Locale(const ScopedUtf8Locale&) = delete;
    ScopedUtf8Locale& operator=(const ScopedUtf8Locale&) = delete;

private:
    locale_t previous_ = nullptr;
};

}  // namespace quorvane
