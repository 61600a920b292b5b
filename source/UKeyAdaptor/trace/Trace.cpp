#include "trace/Trace.h"

#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>

#include <QByteArray>

namespace ukey::trace {

KXF_LogCallback g_callback = nullptr;

namespace {

// Lines up to this many bytes are composed on the stack; a longer one moves to the heap.
constexpr size_t kStackLine = 1024;

// Where Qt decodes the local 8-bit code page as UTF-8, well-formed UTF-8 passes through Qt unchanged.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0) && !defined(_WIN32)
constexpr bool kLocal8BitIsUtf8 = true;
#else
constexpr bool kLocal8BitIsUtf8 = false;
#endif

// Eight bytes at a time: nearly every text traced is ASCII.
bool isAscii(const char *text, size_t size)
{
    constexpr uint64_t kHighBits = 0x8080808080808080u;
    uint64_t seen = 0;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, text + i, 8);
        seen |= word;
    }
    for (; i < size; ++i)
        seen |= static_cast<unsigned char>(text[i]);
    return (seen & kHighBits) == 0;
}

// Well-formed UTF-8 that Qt's round trip leaves as it is: no byte-order mark and no
// noncharacter, which a decoder may treat apart. Anything else takes Qt's own path.
bool passesThroughQt(const char *text, size_t size)
{
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    size_t i = 0;
    while (i < size) {
        const unsigned c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t n = 0;
        uint32_t cp = 0;
        unsigned lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0F;
            lo = c == 0xE0 ? 0xA0 : 0x80;
            hi = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07;
            lo = c == 0xF0 ? 0x90 : 0x80;
            hi = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (size - i <= n)
            return false;
        for (size_t k = 1; k <= n; ++k) {
            const unsigned b = s[i + k];
            if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF))
                return false;
            cp = cp << 6 | (b & 0x3F);
        }
        if (cp == 0xFEFF || (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE)
            return false;
        i += n + 1;
    }
    return true;
}

// Room for a line number or a 32-bit number in decimal, with its sign.
constexpr size_t kDigits = 11;

// n in decimal at out, two digits per division; returns the end.
char *writeDecimal(char *out, uint32_t n)
{
    static constexpr auto kPairs = [] {
        std::array<char, 200> pairs{};
        for (size_t i = 0; i < 100; ++i) {
            pairs[2 * i] = static_cast<char>('0' + i / 10);
            pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
        }
        return pairs;
    }();
    size_t width = 1;
    for (uint64_t bound = 10; n >= bound; bound *= 10)
        ++width;
    char *p = out + width;
    for (; n >= 100; n /= 100) {
        p -= 2;
        std::memcpy(p, &kPairs[2 * (n % 100)], 2);
    }
    if (n >= 10)
        std::memcpy(p - 2, &kPairs[2 * n], 2);
    else
        p[-1] = static_cast<char>('0' + n);
    return out + width;
}

void deliver(int level, const char *line)
{
    // The callback may have been cleared by a nested call; test again before calling.
    if (const KXF_LogCallback callback = g_callback)
        callback(level, line);
}

class Composer {
public:
    Composer() = default;
    Composer(const Composer &) = delete;
    Composer &operator=(const Composer &) = delete;

    void bytes(const char *data, size_t size)
    {
        if (!spilled_ && size <= kStackLine - used_) {
            std::memcpy(stack_ + used_, data, size);
            used_ += size;
            return;
        }
        if (!spilled_) {
            spilled_ = true;
            heap_.assign(stack_, used_);
        }
        heap_.append(data, size);
    }
    void ascii(const char *text) { bytes(text, std::strlen(text)); }

    // As QString::fromXxx(text).toStdString() would give it.
    void text(const char *data, size_t size, Piece::Kind kind)
    {
        if (!data)
            return;
        if (size == Piece::npos)
            size = std::strlen(data);
        const bool direct = isAscii(data, size) ||
                            ((kind == Piece::Kind::Utf8 || (kind == Piece::Kind::Local8Bit && kLocal8BitIsUtf8)) &&
                             passesThroughQt(data, size));
        if (direct) {
            bytes(data, size);
            return;
        }
        const int length = static_cast<int>(size);
        const QByteArray converted =
            (kind == Piece::Kind::Local8Bit ? QString::fromLocal8Bit(data, length) : QString::fromUtf8(data, length))
                .toUtf8();
        bytes(converted.constData(), static_cast<size_t>(converted.size()));
    }

    // Every number traced is a 32-bit one, signed or not.
    void number(int64_t n)
    {
        char digits[kDigits];
        char *p = digits;
        if (n < 0)
            *p++ = '-';
        p = writeDecimal(p, static_cast<uint32_t>(n < 0 ? -n : n));
        bytes(digits, static_cast<size_t>(p - digits));
    }

    void piece(const Piece &p)
    {
        switch (p.kind) {
        case Piece::Kind::Number:
            number(p.number);
            break;
        default:
            text(p.text, p.size, p.kind);
        }
    }

    void deliver(int level)
    {
        if (spilled_) {
            trace::deliver(level, heap_.c_str());
        } else {
            stack_[used_] = '\0';
            trace::deliver(level, stack_);
        }
    }

private:
    char stack_[kStackLine + 1];
    size_t used_ = 0;
    bool spilled_ = false;
    std::string heap_;
};

void openLine(Composer &c, const Origin &origin, int line)
{
    c.bytes(origin.head, origin.openingSize);
    c.number(line);
    c.bytes("]", 1);
}

// The printf subset the adaptor's formats use; anything else goes to Qt.
bool simpleFormat(const char *format)
{
    for (const char *p = format; *p; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p != 's' && *p != 'd' && *p != 'i' && *p != 'u' && *p != '%')
            return false;
    }
    return true;
}

} // namespace

void emitPieces(const Origin &origin, int line, std::initializer_list<Piece> message, int level)
{
    Composer c;
    openLine(c, origin, line);
    for (const Piece &p : message)
        c.piece(p);
    c.deliver(level);
}

// Behind the head, an ASCII message is copied as it is; anything else, or a line past the stack
// buffer, takes the general way.
void emitText(const Origin &origin, int line, const char *message)
{
    char text[kStackLine + 1];
    if (line >= 0 && origin.headSize + kHeadBlock + kDigits + 1 < kStackLine) {
        const bool ownLine = line == origin.line;
        const size_t copied = ownLine ? origin.headSize : origin.openingSize;
        for (size_t i = 0; i < copied; i += kHeadBlock)
            std::memcpy(text + i, origin.head + i, kHeadBlock);
        char *p = text + copied;
        if (!ownLine) {
            p = writeDecimal(p, static_cast<uint32_t>(line));
            *p++ = ']';
        }
        // Stops at the end, at a byte past ASCII, or where the stack line is full.
        const signed char *m = reinterpret_cast<const signed char *>(message ? message : "");
        for (; *m > 0 && p < text + kStackLine; ++m, ++p)
            *p = static_cast<char>(*m);
        if (*m == 0) {
            *p = '\0';
            deliver(0, text);
            return;
        }
    }
    emitPieces(origin, line, {Piece(message)});
}

void emitCode(const Origin &origin, int line, const char *text, uint32_t code)
{
    Composer c;
    openLine(c, origin, line);
    // QString::arg fills every occurrence of the lowest-numbered placeholder.
    int lowest = 100;
    for (const char *p = text; *p; ++p) {
        if (p[0] == '%' && p[1] == 'L') {
            c.text(QString::fromUtf8(text).arg(code).toUtf8().constData(), Piece::npos, Piece::Kind::Utf8);
            c.deliver(0);
            return;
        }
        if (p[0] == '%' && p[1] >= '0' && p[1] <= '9') {
            const int n = p[2] >= '0' && p[2] <= '9' ? (p[1] - '0') * 10 + (p[2] - '0') : p[1] - '0';
            if (n < lowest)
                lowest = n;
        }
    }
    const char *from = text;
    for (const char *p = text; *p; ++p) {
        if (p[0] != '%' || p[1] < '0' || p[1] > '9')
            continue;
        const bool twoDigits = p[2] >= '0' && p[2] <= '9';
        const int n = twoDigits ? (p[1] - '0') * 10 + (p[2] - '0') : p[1] - '0';
        if (n != lowest)
            continue;
        c.text(from, static_cast<size_t>(p - from), Piece::Kind::Utf8);
        c.number(code);
        from = p + (twoDigits ? 3 : 2);
        p = from - 1;
    }
    c.text(from, Piece::npos, Piece::Kind::Utf8);
    c.deliver(0);
}

void emitFormat(const Origin &origin, int line, const char *format, ...)
{
    Composer c;
    openLine(c, origin, line);
    va_list args;
    va_start(args, format);
    if (!simpleFormat(format)) {
        c.text(QString::vasprintf(format, args).toUtf8().constData(), Piece::npos, Piece::Kind::Utf8);
    } else {
        const char *from = format;
        for (const char *p = format; *p; ++p) {
            if (*p != '%')
                continue;
            c.bytes(from, static_cast<size_t>(p - from));
            switch (*++p) {
            case 's':
                c.text(va_arg(args, const char *), Piece::npos, Piece::Kind::Utf8);
                break;
            case 'u':
                c.number(va_arg(args, unsigned));
                break;
            case '%':
                c.bytes("%", 1);
                break;
            default:
                c.number(va_arg(args, int));
            }
            from = p + 1;
        }
        c.ascii(from);
    }
    va_end(args);
    c.deliver(0);
}

void emitQString(const Origin &origin, int line, const QString &message, int level)
{
    Composer c;
    openLine(c, origin, line);
    const QByteArray text = message.toUtf8();
    c.bytes(text.constData(), static_cast<size_t>(text.size()));
    c.deliver(level);
}

} // namespace ukey::trace
