#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "skf/Guard.h"
#include "trace/Trace.h"

namespace ukey {
namespace {

std::vector<std::pair<int, std::string>> g_lines;

void KXF_CALL capture(int32_t level, const char *text)
{
    g_lines.emplace_back(level, text);
}

class Trace : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_lines.clear();
        trace::g_callback = capture;
    }
    void TearDown() override { trace::g_callback = nullptr; }
};

std::string at(int line)
{
    return "[UKeyAdaptorSKF::Probe:" + std::to_string(line) + "]";
}

TEST_F(Trace, LinesAreComposedInTheHostFormat)
{
    const int line = __LINE__ + 1;
    const auto site = UKEY_SITE("UKeyAdaptorSKF::Probe");
    site("start");
    site.code("error! ulRet: %1", SAR_INVALIDHANDLEERR);
    site.code("error! ulRet: %1", 0xFFFFFFFFu);
    site.format("fileName:%s,size:%d", "a", 16);
    site.atLevel(3, QStringLiteral(" pstEccCipherBlob = AAAA"));
    UKEY_ENTRY_SITE("KXF_Probe").atSite("end");
    site.atSite("end.KX_NOTEXPORTERR");

    const std::vector<std::pair<int, std::string>> expected = {
        {0, at(line + 1) + "start"},
        {0, at(line + 2) + "error! ulRet: 167772165"},
        {0, at(line + 3) + "error! ulRet: 4294967295"},
        {0, at(line + 4) + "fileName:a,size:16"},
        {3, at(line + 5) + " pstEccCipherBlob = AAAA"},
        {0, "[TraceTest.cpp:KXF_Probe:" + std::to_string(line + 6) + "]end"},
        {0, at(line) + "end.KX_NOTEXPORTERR"},
    };
    EXPECT_EQ(g_lines, expected);
}

TEST(TraceFileName, IsTheBareNameAfterTheLastSeparator)
{
    const std::pair<const char *, const char *> cases[] = {
        {"C:\\work\\rtc\\Forwarders.cpp", "Forwarders.cpp"},
        {"/work/rtc/Forwarders.cpp", "Forwarders.cpp"},
        {"Forwarders.cpp", "Forwarders.cpp"},
        {"rtc\\", ""},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(trace::baseName(c.first), c.second) << c.first;
}

} // namespace
} // namespace ukey
