#pragma once

#include <cstdint>

#include "UKeyAdaptor.h"
#include "trace/Trace.h"

namespace ukey {

// Where an operation traces: its qualified name and the source line of the operation.
struct TraceSite {
    const char *function;
    int line;

    void operator()(const char *message) const
    {
        if (trace::enabled())
            trace::emitLine(function, line, QString::fromLatin1(message));
    }
};

#define UKEY_SITE(function) (::ukey::TraceSite{function, __LINE__})

inline constexpr const char kEndNotExported[] = "end.KX_NOTEXPORTERR";
inline constexpr const char kEndInvalidHandle[] = "end.SAR_INVALIDHANDLEERR";
inline constexpr const char kEndInvalidHandleBlank[] = "end SAR_INVALIDHANDLEERR";
inline constexpr const char kEndInvalidParam[] = "end.SAR_INVALIDPARAMERR";

// The shape most operations share: "start", the entry-point test, the handle test, one vendor
// call with the given arguments, "end", and the vendor's code returned unchanged.
template <typename Fn, typename... Args>
uint32_t guardedCall(const TraceSite &site, Fn entry, bool handlesOpen, const char *invalidHandleMessage, Args... args)
{
    site("start");
    if (!entry) {
        site(kEndNotExported);
        return KX_NOTEXPORTERR;
    }
    if (!handlesOpen) {
        site(invalidHandleMessage);
        return SAR_INVALIDHANDLEERR;
    }
    const uint32_t result = entry(args...);
    site("end");
    return result;
}

} // namespace ukey
