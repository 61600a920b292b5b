#include "trace/Trace.h"

#include <string>

namespace ukey::trace {

KXF_LogCallback g_callback = nullptr;

namespace {
void deliver(int level, const QString &location, const QString &message)
{
    const std::string text = QStringLiteral("[%1]%2").arg(location).arg(message).toStdString();
    // The callback may have been cleared by a nested call; test again before calling.
    if (g_callback)
        g_callback(level, text.c_str());
}
} // namespace

void emitEntry(const char *file, const char *entry, int line, const QString &message)
{
    deliver(0, QStringLiteral("%1:%2:%3").arg(QString::fromLocal8Bit(file)).arg(QString::fromLatin1(entry)).arg(line),
            message);
}

void emitLine(const char *function, int line, const QString &message, int level)
{
    deliver(level, QStringLiteral("%1:%2").arg(QString::fromLatin1(function)).arg(line), message);
}

} // namespace ukey::trace
