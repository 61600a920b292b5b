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
    // origin lives as long as the program: a site is copied freely.
    constexpr TraceSite(const trace::Origin &origin, int line) : origin_(&origin), line_(line) {}
    // The caller's name at another line: helpers that trace under the name of whoever calls them.
    constexpr TraceSite(const TraceSite &caller, int line) : origin_(caller.origin_), line_(line) {}

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
            trace::emitText(*origin_, lineAt(at), message);
    }
    // A message of pieces: fixed texts, host or key strings (trace::Piece::local8Bit) and numbers.
    void operator()(std::initializer_list<trace::Piece> message, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            trace::emitPieces(*origin_, lineAt(at), message);
    }
    // A message Qt already holds.
    void operator()(const QString &message, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            trace::emitQString(*origin_, lineAt(at), message);
    }
    // At the site's own line: the lines a forwarder traces around the operation it calls.
    void atSite(const char *message) const { (*this)(message, line_); }
    // text with %1 replaced by the code in unsigned decimal ("error! ulRet: %1").
    void code(const char *text, uint32_t code, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            trace::emitCode(*origin_, lineAt(at), text, code);
    }
    template <typename... Args>
    void format(Format format, Args... args) const
    {
        if (trace::enabled())
            trace::emitFormat(*origin_, lineAt(format.at), format.text, args...);
    }
    // The one line delivered at a level other than 0.
    void atLevel(int level, const QString &message, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            trace::emitQString(*origin_, lineAt(at), message, level);
    }
    void atLevel(int level, std::initializer_list<trace::Piece> message, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            trace::emitPieces(*origin_, lineAt(at), message, level);
    }

    int line() const { return line_; }

private:
    int lineAt(int at) const { return at < 0 ? line_ : at; }

    const trace::Origin *origin_;
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

// A fixed site's head (trace::Origin): "[file:name:" or without a file "[name:", then its own
// line, if it has one (line > 0), and "]".
constexpr size_t openingSize(const char *file, const char *name)
{
    return 1 + (file ? textLength(file) + 1 : 0) + textLength(name) + 1;
}

constexpr size_t headSize(const char *file, const char *name, int line)
{
    size_t size = openingSize(file, name);
    if (line > 0)
        for (size += 1; line > 0; line /= 10)
            ++size;
    return size;
}

template <size_t Size, size_t Padded = (Size / trace::kHeadBlock + 1) * trace::kHeadBlock>
constexpr JoinedText<Padded> joinHead(const char *file, const char *name, int line)
{
    char ownLine[16] = {};
    size_t width = 0;
    for (int rest = line; rest > 0; rest /= 10)
        ++width;
    if (width > 0)
        ownLine[width] = ']';
    for (int rest = line; rest > 0; rest /= 10)
        ownLine[--width] = static_cast<char>('0' + rest % 10);
    return file ? joinTexts<Padded>({"[", file, ":", name, ":", ownLine})
                : joinTexts<Padded>({"[", name, ":", ownLine});
}

// Not constexpr: a site whose name or file is not ASCII, which Qt would have to decode, stops the
// build here.
inline void traceNamesAreAscii() {}

constexpr trace::Origin fixedOrigin(const char *file, const char *name, int line, const char *head)
{
    for (const char *p = head; *p; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80)
            traceNamesAreAscii();
    return {head, openingSize(file, name), line > 0 ? line : -1, textLength(head)};
}

// The origin of Owner.className "::" Operation.
template <const auto &Owner, const char *Operation>
class QualifiedName {
    static constexpr auto text =
        joinTexts<textLength(Owner.className) + 2 + textLength(Operation) + 1>({Owner.className, "::", Operation});
    static constexpr auto head = joinHead<openingSize(nullptr, text.chars)>(nullptr, text.chars, 0);

public:
    static constexpr trace::Origin origin = fixedOrigin(nullptr, text.chars, 0, head.chars);
};

} // namespace ukey

// A site whose name (and file) are known at compile time; the lambda gives its head a home.
#define UKEY_FIXED_SITE(file, name)                                                                                    \
    (::ukey::TraceSite{[]() -> const ::ukey::trace::Origin & {                                                         \
                           static constexpr auto head =                                                                \
                               ::ukey::joinHead<::ukey::headSize(file, name, __LINE__)>(file, name, __LINE__);         \
                           static constexpr ::ukey::trace::Origin origin =                                             \
                               ::ukey::fixedOrigin(file, name, __LINE__, head.chars);                                  \
                           return origin;                                                                              \
                       }(),                                                                                            \
                       __LINE__})
#define UKEY_SITE(function) UKEY_FIXED_SITE(nullptr, function)
#define UKEY_ENTRY_SITE(entry) UKEY_FIXED_SITE(::ukey::trace::baseName(__FILE__), entry)
