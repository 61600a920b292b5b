#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

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

// One piece of a message. Text is read as Qt reads it (UTF-8, or the local 8-bit code page for
// text that came from the host or the key); numbers are written in decimal. A null text is empty.
struct Piece {
    enum class Kind : uint8_t { Utf8, Local8Bit, Number };

    Piece(const char *t) : text(t), size(npos), kind(Kind::Utf8) {}
    Piece(int32_t n) : number(n), kind(Kind::Number) {}
    Piece(uint32_t n) : number(n), kind(Kind::Number) {}
    static Piece local8Bit(const char *t, size_t length = npos)
    {
        Piece p(t);
        p.size = length;
        p.kind = Kind::Local8Bit;
        return p;
    }

    static constexpr size_t npos = static_cast<size_t>(-1);
    const char *text = nullptr;
    size_t size = 0;
    int64_t number = 0;
    Kind kind;
};

// Where a line comes from, its head composed in ASCII at compile time: the opening "[file:name:"
// of an entry point or "[name:" of an adaptor operation (openingSize bytes), then, where the site
// has a line of its own (line, else -1), that line and "]" (headSize bytes in all). Its storage
// is padded to whole blocks of kHeadBlock bytes, copied a block at a time.
constexpr size_t kHeadBlock = 16;
struct Origin {
    const char *head;
    size_t openingSize;
    int line;
    size_t headSize;
};

// Every line is composed in a stack buffer and handed to the callback; only a line past 1 KiB, or
// text that Qt would have to repair, touches the heap. The location reads [file:name:line] for
// an entry point and [name:line] for an adaptor operation.
void emitPieces(const Origin &origin, int line, std::initializer_list<Piece> message, int level = 0);
// The common line: one message text.
void emitText(const Origin &origin, int line, const char *message);
// The message a fixed text whose %1 is an unsigned code, as QString::arg fills it.
void emitCode(const Origin &origin, int line, const char *text, uint32_t code);
// The message formatted from a printf format, as QString::asprintf formats it.
void emitFormat(const Origin &origin, int line, const char *format, ...);
// A message Qt already holds.
void emitQString(const Origin &origin, int line, const QString &message, int level = 0);

} // namespace ukey::trace
