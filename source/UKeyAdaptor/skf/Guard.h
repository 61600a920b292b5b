#pragma once

#include <cstdint>
#include <optional>

#include "UKeyAdaptor.h"
#include "trace/TraceSite.h"

namespace ukey {

// Closing texts that name a result code, spelled from the result-code table at compile time.
constexpr const char *resultName(uint32_t code)
{
#define UKEY_RESULT_NAME_ROW(name, value, meaning)                                                                     \
    if (code == (value))                                                                                               \
        return #name;
    KXF_RESULT_CODES(UKEY_RESULT_NAME_ROW)
#undef UKEY_RESULT_NAME_ROW
    return "";
}

// "end" with the separator, then the code's name.
template <char Separator, uint32_t Code>
class EndText {
    static constexpr char head[] = {'e', 'n', 'd', Separator, '\0'};
    static constexpr auto text = joinTexts<4 + textLength(resultName(Code)) + 1>({head, resultName(Code)});

public:
    static constexpr const char *value = text.chars;
};

inline constexpr const char *kEndNotExported = EndText<'.', KX_NOTEXPORTERR>::value;
inline constexpr const char *kEndInvalidHandle = EndText<'.', SAR_INVALIDHANDLEERR>::value;
inline constexpr const char *kEndInvalidHandleBlank = EndText<' ', SAR_INVALIDHANDLEERR>::value;
inline constexpr const char *kEndInvalidParam = EndText<'.', SAR_INVALIDPARAMERR>::value;

// What a failed test answers; empty while every test passed.
using Refusal = std::optional<uint32_t>;

// The skeleton most operations share, stated as a chain:
//   Operation(site)            traces "start"
//     .needs(entry, ...)       a missing vendor entry point: "end.KX_NOTEXPORTERR", KX_NOTEXPORTERR
//     .handles(open[, msg])    a handle not open: msg (none if null), SAR_INVALIDHANDLEERR
//     .params(valid)           a rejected argument: "end.SAR_INVALIDPARAMERR", SAR_INVALIDPARAMERR
//     .call(lambda)            runs only if every test passed, then traces "end"
//     .refusal()               or: the answer of the failed test, for an operation that goes on itself
// The first failing test decides; later tests are not traced. Lines follow TraceSite's rule, with
// one exception: "start" and the entry-point tests carry the site's line, where the operation is named.
class Operation {
public:
    explicit Operation(const TraceSite &site) : site_(site) { site_.atSite("start"); }

    template <typename... Entries>
    [[nodiscard]] Operation &needs(Entries... entries)
    {
        (check(entries != nullptr, kEndNotExported, KX_NOTEXPORTERR, site_.line()), ...);
        return *this;
    }
    // Entries needed only when the condition holds.
    template <typename... Entries>
    [[nodiscard]] Operation &needsWhen(bool condition, Entries... entries)
    {
        return condition ? needs(entries...) : *this;
    }
    [[nodiscard]] Operation &handles(bool open, const char *message = kEndInvalidHandle, int at = UKEY_CALLER_LINE)
    {
        return check(open, message, SAR_INVALIDHANDLEERR, at);
    }
    [[nodiscard]] Operation &params(bool valid, int at = UKEY_CALLER_LINE)
    {
        return check(valid, kEndInvalidParam, SAR_INVALIDPARAMERR, at);
    }

    template <typename Call>
    [[nodiscard]] uint32_t call(Call &&vendorCall, int at = UKEY_CALLER_LINE)
    {
        if (refusal_)
            return *refusal_;
        const uint32_t result = vendorCall();
        site_("end", at);
        return result;
    }

    [[nodiscard]] Refusal refusal() const { return refusal_; }
    const TraceSite &site() const { return site_; }

private:
    Operation &check(bool ok, const char *message, uint32_t code, int at)
    {
        if (!refusal_ && !ok) {
            refusal_ = code;
            if (message)
                site_(message, at);
        }
        return *this;
    }

    TraceSite site_;
    Refusal refusal_;
};

// The plain pass-through traced, apart from the untraced path so that the latter needs no stack frame.
template <typename Fn, typename... Args>
[[gnu::noinline]] uint32_t guardedCallTraced(TraceSite site, Fn entry, bool handlesOpen,
                                             const char *invalidHandleMessage, Args... args)
{
    return Operation(site).needs(entry).handles(handlesOpen, invalidHandleMessage).call([&] { return entry(args...); });
}

// The plain pass-through: one vendor entry, one handle test, the host's arguments unchanged.
template <typename Fn, typename... Args>
uint32_t guardedCall(const TraceSite &site, Fn entry, bool handlesOpen, const char *invalidHandleMessage, Args... args)
{
    if (trace::enabled())
        return guardedCallTraced(site, entry, handlesOpen, invalidHandleMessage, args...);
    // The same tests in the same order, leaving by the vendor's call.
    if (!entry)
        return KX_NOTEXPORTERR;
    if (!handlesOpen)
        return SAR_INVALIDHANDLEERR;
    return entry(args...);
}

} // namespace ukey
