#include "archive/utf8_locale.h"

namespace quorvane {

namespace {

// Made once and never freed: every thread may be using it.
locale_t utf8Locale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

}  // namespace

// Without a C.UTF-8 locale nothing changes: ASCII names still read right.
ScopedUtf8Locale::ScopedUtf8Locale() {
    if (const locale_t utf8 = utf8Locale()) previous_ = uselocale(utf8);
}

ScopedUtf8Locale::~ScopedUtf8Locale() {
    if (previous_) uselocale(previous_);
}

}  // namespace quorvane
