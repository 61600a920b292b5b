#pragma once

#include "trace/Trace.h"

namespace ukey::rtc {

// An entry point's trace location: its module file, its exported name and the source line.
struct EntrySite {
    const char *file;
    const char *entry;
    int line;

    void operator()(const char *message, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            trace::emitEntry(file, entry, at < 0 ? line : at, message);
    }
    void atSite(const char *message) const { (*this)(message, line); }
};

#define UKEY_ENTRY_SITE(entry) (::ukey::rtc::EntrySite{::ukey::trace::baseName(__FILE__), entry, __LINE__})

} // namespace ukey::rtc
