#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "trace/Trace.h"

namespace ukey {

// Where trace lines come from: a name fixed at compile time ("Class::Operation", or an entry
// point's exported name with its source file) and the line where the site was made.
//
// The one rule for lines: a message carries the line of the statement that traces it. Where
// the compiler cannot tell that line (UKEY_CALLER_LINE is -1), the site's own line stands in.
class TraceSite {
public:
    constexpr TraceSite(const char *name, int line, const char *file = nullptr) : name_(name), file_(file), line_(line)
    {
    }

    // A printf format with the line of the statement that hands it over.
    struct Format {
        Format(const char *formatText, int line = UKEY_CALLER_LINE) : text(formatText), at(line) {}
        const char *text;
        int at;
    };

    // Lines are composed without Qt (trace/Trace.cpp), byte for byte as Qt composed them.
    void operator()(const char *message, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            trace::emitPieces(file_, name_, lineAt(at), {trace::Piece(message)});
    }
    // A message of pieces: fixed texts, host or key strings (trace::Piece::local8Bit) and numbers.
    void operator()(std::initializer_list<trace::Piece> message, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            trace::emitPieces(file_, name_, lineAt(at), message);
    }
    // A message Qt already holds.
    void operator()(const QString &message, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            trace::emitQString(file_, name_, lineAt(at), message);
    }
    // At the site's own line: the lines a forwarder traces around the operation it calls.
    void atSite(const char *message) const { (*this)(message, line_); }
    // text with %1 replaced by the code in unsigned decimal ("error! ulRet: %1").
    void code(const char *text, uint32_t code, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            trace::emitCode(file_, name_, lineAt(at), text, code);
    }
    template <typename... Args>
    void format(Format format, Args... args) const
    {
        if (trace::enabled())
            trace::emitFormat(file_, name_, lineAt(format.at), format.text, args...);
    }
    // The one line delivered at a level other than 0.
    void atLevel(int level, const QString &message, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            trace::emitQString(file_, name_, lineAt(at), message, level);
    }
    void atLevel(int level, std::initializer_list<trace::Piece> message, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            trace::emitPieces(file_, name_, lineAt(at), message, level);
    }

    const char *name() const { return name_; }
    int line() const { return line_; }

private:
    int lineAt(int at) const { return at < 0 ? line_ : at; }

    const char *name_;
    const char *file_;
    int line_;
};

// Texts joined at compile time, so that no name or fixed message is put together at run time.
constexpr size_t textLength(const char *text)
{
    size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

template <size_t Size>
struct JoinedText {
    char chars[Size] = {};
};

template <size_t Size>
constexpr JoinedText<Size> joinTexts(std::initializer_list<const char *> parts)
{
    JoinedText<Size> joined{};
    size_t n = 0;
    for (const char *part : parts)
        for (const char *p = part; *p; ++p)
            joined.chars[n++] = *p;
    return joined;
}

// Owner.className "::" Operation.
template <const auto &Owner, const char *Operation>
class QualifiedName {
    static constexpr auto text =
        joinTexts<textLength(Owner.className) + 2 + textLength(Operation) + 1>({Owner.className, "::", Operation});

public:
    static constexpr const char *value = text.chars;
};

} // namespace ukey

#define UKEY_SITE(function) (::ukey::TraceSite{function, __LINE__})
#define UKEY_ENTRY_SITE(entry) (::ukey::TraceSite{entry, __LINE__, ::ukey::trace::baseName(__FILE__)})
