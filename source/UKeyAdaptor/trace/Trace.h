#pragma once

#include <QString>

#include "UKeyAdaptor.h"

// The line of the statement that calls a trace helper, so every statement reports its own line.
#if defined(__GNUC__) || defined(__clang__) || (defined(_MSC_VER) && _MSC_VER >= 1926)
#define UKEY_CALLER_LINE __builtin_LINE()
#else
#define UKEY_CALLER_LINE -1 // the site's own line instead
#endif

namespace ukey::trace {

// Null switches tracing off; read at every trace statement.
extern KXF_LogCallback g_callback;

inline bool enabled()
{
    return g_callback != nullptr;
}

// The bare file name of a compile-time path, as a host sees it in entry-point lines.
constexpr const char *baseName(const char *path)
{
    const char *base = path;
    for (const char *p = path; *p; ++p) {
#ifdef _WIN32
        if (*p == '\\')
#else
        if (*p == '\\' || *p == '/')
#endif
            base = p + 1;
    }
    return base;
}

// [file:entry:line]message
void emitEntry(const char *file, const char *entry, int line, const QString &message);
// [Class::Function:line]message
void emitLine(const char *function, int line, const QString &message, int level = 0);

} // namespace ukey::trace
