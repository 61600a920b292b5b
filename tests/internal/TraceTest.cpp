// Trace lines from sites and from the composition without Qt: byte for byte what Qt's formatting made
// of the same message, for names from the host or the key in any encoding, valid or not, and past
// the stack buffer.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include <QString>

#include "skf/Guard.h"
#include "trace/TraceSite.h"

namespace ukey {
namespace {

std::vector<std::pair<int, std::string>> g_lines;

class Trace : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_lines.clear();
        trace::g_callback = [](int32_t level, const char *text) { g_lines.emplace_back(level, text); };
    }
    void TearDown() override { trace::g_callback = nullptr; }
};

std::string at(int line, const char *function = "UKeyAdaptorSKF::Probe")
{
    return "[" + std::string(function) + ":" + std::to_string(line) + "]";
}

// The composition as Qt did it, at level 0.
std::pair<int, std::string> qtLine(int line, const QString &message)
{
    return {0, at(line, "C::F") + message.toStdString()};
}

TEST_F(Trace, LinesAreComposedInTheHostFormat)
{
    const int line = __LINE__ + 1;
    const auto site = UKEY_SITE("UKeyAdaptorSKF::Probe");
    site("start");
    site.code("error! ulRet: %1", SAR_INVALIDHANDLEERR);
    site.format("fileName:%s,size:%d", "a", 16);
    site.atLevel(3, QStringLiteral(" pstEccCipherBlob = AAAA"));
    UKEY_ENTRY_SITE("KXF_Probe").atSite("end");
    site.atSite("end.KX_NOTEXPORTERR");

    const std::vector<std::pair<int, std::string>> expected = {
        {0, at(line + 1) + "start"},
        {0, at(line + 2) + "error! ulRet: 167772165"},
        {0, at(line + 3) + "fileName:a,size:16"},
        {3, at(line + 4) + " pstEccCipherBlob = AAAA"},
        {0, "[TraceTest.cpp:KXF_Probe:" + std::to_string(line + 5) + "]end"},
        {0, at(line) + "end.KX_NOTEXPORTERR"},
    };
    EXPECT_EQ(g_lines, expected);
}

TEST(TraceFileName, IsTheBareNameAfterTheLastSeparator)
{
    const std::pair<const char *, const char *> cases[] = {
        {"C:\\work\\rtc\\Forwarders.cpp", "Forwarders.cpp"},
        {"Forwarders.cpp", "Forwarders.cpp"},
        {"rtc\\", ""},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(trace::baseName(c.first), c.second) << c.first;
}

TEST_F(Trace, EveryMessageFormReadsAsQtMadeIt)
{
    const std::pair<const char *, std::string> names[] = {
        {"ascii", "MockDev1"},
        {"chinese", "\xE8\xAE\xBE\xE5\xA4\x87\xE4\xB8\x80"},
        {"four-byte", "key\xF0\x9F\x94\x91"},
        {"cut sequence", "ab\xE8\xAE"},
        {"overlong", "\xC0\xAF/"},
        {"surrogate", "\xED\xA0\x80z"},
        {"byte-order mark", "\xEF\xBB\xBFname"},
        {"noncharacters", "\xEF\xBF\xBF\xEF\xB7\x90\xF4\x8F\xBF\xBF"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80"},
        {"continuation alone", "\x80\xBF"},
        {"longer than the stack line", std::string(700, 'a') + std::string(300, '\xE4') + "\xE4\xB8\x80"},
        {"long and valid", QString(500, QChar(0x4E00)).toStdString()},
    };
    for (const auto &[what, bytes] : names) {
        SCOPED_TRACE(what);
        const char *s = bytes.c_str();
        g_lines.clear();
        const auto site = UKEY_SITE("C::F");
        site({"DevName: ", trace::Piece::local8Bit(s)}, 12);
        site({"list", trace::Piece::local8Bit(s, bytes.size() / 2)}, 13);
        site.format({"fileName:%s,size:%d,%u%%", 14}, s, -7, 4000000000u);
        site(s, 15);
        site.code(s, 167772165u, 16);
        const std::vector<std::pair<int, std::string>> expected = {
            qtLine(12, "DevName: " + QString::fromLocal8Bit(s)),
            qtLine(13, "list" + QString::fromLocal8Bit(s, static_cast<int>(bytes.size() / 2))),
            qtLine(14, QString::asprintf("fileName:%s,size:%d,%u%%", s, -7, 4000000000u)),
            qtLine(15, QString(s)),
            qtLine(16, QString(s)),
        };
        EXPECT_EQ(g_lines, expected);
    }
}

TEST_F(Trace, PlaceholdersAndFormatsReadAsQtFilledThem)
{
    const auto site = UKEY_SITE("C::F");
    std::vector<std::pair<int, std::string>> expected;
    for (const char *text :
         {"error! ulRet: %1", "%1 and %1", "%2 before %1", "%10 %3", "no placeholder", "%L1 localized"}) {
        site.code(text, 4294967295u, 7);
        expected.push_back(qtLine(7, QString(text).arg(4294967295u)));
    }
    for (const char *format : {"%s|%d", "%5d<", "%x", "%-3s|%d", "100%% %s %d"}) {
        site.format({format, 8}, "ab", 42);
        expected.push_back(qtLine(8, QString::asprintf(format, "ab", 42)));
    }
    const char *const volatile none = nullptr;
    site.format({"%s|%d", 9}, none, 1);
    expected.push_back(qtLine(9, QString::asprintf("%s|%d", none, 1)));
    EXPECT_EQ(g_lines, expected);
}

} // namespace
} // namespace ukey
