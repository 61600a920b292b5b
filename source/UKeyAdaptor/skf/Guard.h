#pragma once

#include <cstdint>

#include "UKeyAdaptor.h"
#include "trace/Trace.h"

namespace ukey {

// Where an operation traces: its qualified name and the source line of the operation. A call
// traces at the line of the calling statement; atSite() at the operation's own line.
struct TraceSite {
    const char *function;
    int line;

    void operator()(const char *message, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            trace::emitLine(function, at < 0 ? line : at, message);
    }
    void atSite(const char *message) const { (*this)(message, line); }
};

#define UKEY_SITE(function) (::ukey::TraceSite{function, __LINE__})

inline constexpr const char kEndNotExported[] = "end.KX_NOTEXPORTERR";
inline constexpr const char kEndInvalidHandle[] = "end.SAR_INVALIDHANDLEERR";
inline constexpr const char kEndInvalidHandleBlank[] = "end SAR_INVALIDHANDLEERR";
inline constexpr const char kEndInvalidParam[] = "end.SAR_INVALIDPARAMERR";

// The skeleton most operations share, stated as a chain:
//   Operation(site)            traces "start"
//     .needs(entry, ...)       a missing vendor entry point: "end.KX_NOTEXPORTERR", KX_NOTEXPORTERR
//     .handles(open[, msg])    a handle not open: msg (none if null), SAR_INVALIDHANDLEERR
//     .params(valid)           a rejected argument: "end.SAR_INVALIDPARAMERR", SAR_INVALIDPARAMERR
//     .call(lambda)            runs only if every test passed, then traces "end"
// The first failing test decides; later tests are not traced.
class Operation {
public:
    explicit Operation(const TraceSite &site) : site_(site) { site_.atSite("start"); }

    // The later steps trace at the line where the operation states them.
    template <typename... Entries>
    Operation &needs(Entries... entries)
    {
        (check(entries != nullptr, kEndNotExported, KX_NOTEXPORTERR, site_.line), ...);
        return *this;
    }
    Operation &handles(bool open, const char *message = kEndInvalidHandle, int at = UKEY_CALLER_LINE)
    {
        return check(open, message, SAR_INVALIDHANDLEERR, at);
    }
    Operation &params(bool valid, int at = UKEY_CALLER_LINE)
    {
        return check(valid, kEndInvalidParam, SAR_INVALIDPARAMERR, at);
    }

    template <typename Call>
    uint32_t call(Call &&vendorCall, int at = UKEY_CALLER_LINE)
    {
        if (failed_)
            return code_;
        const uint32_t result = vendorCall();
        site_("end", at);
        return result;
    }

    bool failed() const { return failed_; }
    uint32_t code() const { return code_; }
    const TraceSite &site() const { return site_; }

private:
    Operation &check(bool ok, const char *message, uint32_t code, int at)
    {
        if (!failed_ && !ok) {
            failed_ = true;
            code_ = code;
            if (message)
                site_(message, at);
        }
        return *this;
    }

    TraceSite site_;
    bool failed_ = false;
    uint32_t code_ = SAR_OK;
};

// The plain pass-through: one vendor entry, one handle test, the host's arguments unchanged.
template <typename Fn, typename... Args>
uint32_t guardedCall(const TraceSite &site, Fn entry, bool handlesOpen, const char *invalidHandleMessage, Args... args)
{
    return Operation(site).needs(entry).handles(handlesOpen, invalidHandleMessage).call([&] { return entry(args...); });
}

} // namespace ukey
