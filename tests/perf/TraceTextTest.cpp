// Lines composed without Qt are byte for byte what Qt's formatting made of the same message, for
// names from the host or the key in any encoding, valid or not, and past the stack buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <QString>

#include "trace/TraceSite.h"

namespace ukey {
namespace {

std::vector<std::string> g_lines;

void KXF_CALL capture(int32_t, const char *text)
{
    g_lines.emplace_back(text);
}

// The composition as Qt did it.
std::string qtLine(const char *function, int line, const QString &message)
{
    return QStringLiteral("[%1]%2")
        .arg(QStringLiteral("%1:%2").arg(QString::fromLatin1(function)).arg(line))
        .arg(message)
        .toStdString();
}

struct Name {
    const char *what;
    std::string bytes;
};

const std::vector<Name> &names()
{
    static const std::vector<Name> list = {
        {"ascii", "MockDev1"},
        {"chinese", "\xE8\xAE\xBE\xE5\xA4\x87\xE4\xB8\x80"},
        {"four-byte", "key\xF0\x9F\x94\x91"},
        {"latin-1 byte", "caf\xE9"},
        {"latin-1 byte inside a word", "Schl\xFCssel-1"},
        {"cut sequence", "ab\xE8\xAE"},
        {"overlong", "\xC0\xAF/"},
        {"surrogate", "\xED\xA0\x80z"},
        {"byte-order mark", "\xEF\xBB\xBFname"},
        {"noncharacters", "\xEF\xBF\xBF\xEF\xB7\x90\xF4\x8F\xBF\xBF"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80"},
        {"continuation alone", "\x80\xBF"},
        {"longer than the stack line", std::string(700, 'a') + std::string(300, '\xE4') + "\xE4\xB8\x80"},
        {"long and valid",
         [] {
             std::string s;
             for (int i = 0; i < 500; ++i)
                 s += "\xE4\xB8\x80";
             return s;
         }()},
    };
    return list;
}

TEST(TraceText, EveryMessageFormReadsAsQtMadeIt)
{
    trace::g_callback = capture;
    for (const Name &n : names()) {
        SCOPED_TRACE(n.what);
        const char *s = n.bytes.c_str();
        g_lines.clear();
        trace::emitLine("C::F", 12, {"DevName: ", trace::Piece::local8Bit(s)});
        trace::emitLine("C::F", 13, {"list", trace::Piece::local8Bit(s, n.bytes.size() / 2)});
        UKEY_EMIT_LINEF("C::F", 14, "fileName:%s,size:%d,%u%%", s, -7, 4000000000u);
        UKEY_SITE("C::F")(s, 15);
        trace::emitLineCode("C::F", 16, s, 167772165u);
        const std::vector<std::string> expected = {
            qtLine("C::F", 12, "DevName: " + QString::fromLocal8Bit(s)),
            qtLine("C::F", 13, "list" + QString::fromLocal8Bit(s, static_cast<int>(n.bytes.size() / 2))),
            qtLine("C::F", 14, QString::asprintf("fileName:%s,size:%d,%u%%", s, -7, 4000000000u)),
            qtLine("C::F", 15, QString(s)),
            qtLine("C::F", 16, QString(s)),
        };
        EXPECT_EQ(g_lines, expected);
    }
    trace::g_callback = nullptr;
}

TEST(TraceText, PlaceholdersAndFormatsReadAsQtFilledThem)
{
    trace::g_callback = capture;
    const char *codes[] = {"error! ulRet: %1", "%1 and %1",      "%2 before %1",
                           "%10 %3",           "no placeholder", "%L1 localized"};
    const char *formats[] = {"%s|%d", "%5d<", "%x", "%-3s|%d", "100%% %s %d"};
    for (const char *text : codes) {
        g_lines.clear();
        trace::emitLineCode("C::F", 7, text, 4294967295u);
        ASSERT_EQ(g_lines.size(), 1u);
        EXPECT_EQ(g_lines[0], qtLine("C::F", 7, QString(text).arg(4294967295u))) << text;
    }
    for (const char *format : formats) {
        g_lines.clear();
        UKEY_EMIT_LINEF("C::F", 8, format, "ab", 42);
        ASSERT_EQ(g_lines.size(), 1u);
        EXPECT_EQ(g_lines[0], qtLine("C::F", 8, QString::asprintf(format, "ab", 42))) << format;
    }
    g_lines.clear();
    const char *const volatile none = nullptr;
    const char *const nameFormat = formats[0];
    UKEY_EMIT_LINEF("C::F", 9, nameFormat, none, 1);
    EXPECT_EQ(g_lines, std::vector<std::string>{qtLine("C::F", 9, QString::asprintf(nameFormat, none, 1))});
    trace::g_callback = nullptr;
}

} // namespace
} // namespace ukey
