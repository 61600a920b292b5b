#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

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

    void operator()(const char *message, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            deliver(at, QString::fromLatin1(message));
    }
    void operator()(const QString &message, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            deliver(at, message);
    }
    // At the site's own line: the lines a forwarder traces around the operation it calls.
    void atSite(const char *message) const { (*this)(message, line_); }
    // text with %1 replaced by the code in unsigned decimal ("error! ulRet: %1").
    void code(const char *text, uint32_t code, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            deliver(at, QString::fromLatin1(text).arg(code));
    }
    template <typename... Args>
    void format(Format format, Args... args) const
    {
        if (trace::enabled())
            deliver(format.at, QString::asprintf(format.text, args...));
    }
    // The one line delivered at a level other than 0.
    void atLevel(int level, const QString &message, int at = UKEY_CALLER_LINE) const
    {
        if (trace::enabled())
            trace::emitLine(name_, at < 0 ? line_ : at, message, level);
    }

    const char *name() const { return name_; }
    int line() const { return line_; }

private:
    void deliver(int at, const QString &message) const
    {
        const int line = at < 0 ? line_ : at;
        if (file_)
            trace::emitEntry(file_, name_, line, message);
        else
            trace::emitLine(name_, line, message);
    }

    const char *name_;
    const char *file_;
    int line_;
};

// Owner.className "::" Operation, joined at compile time.
template <const auto &Owner, const char *Operation>
class QualifiedName {
    static constexpr const char *Class = Owner.className;
    static constexpr size_t length(const char *text)
    {
        size_t n = 0;
        while (text[n])
            ++n;
        return n;
    }
    struct Text {
        char chars[length(Class) + 2 + length(Operation) + 1] = {};
    };
    static constexpr Text join()
    {
        Text t{};
        size_t n = 0;
        for (const char *p = Class; *p; ++p)
            t.chars[n++] = *p;
        t.chars[n++] = ':';
        t.chars[n++] = ':';
        for (const char *p = Operation; *p; ++p)
            t.chars[n++] = *p;
        return t;
    }
    static constexpr Text text = join();

public:
    static constexpr const char *value = text.chars;
};

} // namespace ukey

#define UKEY_SITE(function) (::ukey::TraceSite{function, __LINE__})
#define UKEY_ENTRY_SITE(entry) (::ukey::TraceSite{entry, __LINE__, ::ukey::trace::baseName(__FILE__)})
