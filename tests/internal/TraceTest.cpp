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
    UKEY_TRACE("UKeyAdaptorSKF::Probe", "start");
    UKEY_TRACE_CODE("UKeyAdaptorSKF::Probe", "error! ulRet: %1", SAR_INVALIDHANDLEERR);
    UKEY_TRACE_CODE("UKeyAdaptorSKF::Probe", "error! ulRet: %1", 0xFFFFFFFFu);
    UKEY_TRACEF("UKeyAdaptorSKF::Probe", "fileName:%s,size:%d", "a", 16);
    UKEY_TRACE_LEVEL("UKeyAdaptorSKF::Probe", 3, " pstEccCipherBlob = AAAA");
    KXF_TRACE_ENTRY("KXF_Probe", "end");
    const auto site = UKEY_SITE("UKeyAdaptorSKF::Probe");
    site("end.KX_NOTEXPORTERR");

    const std::vector<std::pair<int, std::string>> expected = {
        {0, at(line) + "start"},
        {0, at(line + 1) + "error! ulRet: 167772165"},
        {0, at(line + 2) + "error! ulRet: 4294967295"},
        {0, at(line + 3) + "fileName:a,size:16"},
        {3, at(line + 4) + " pstEccCipherBlob = AAAA"},
        {0, "[TraceTest.cpp:KXF_Probe:" + std::to_string(line + 5) + "]end"},
        {0, at(line + 7) + "end.KX_NOTEXPORTERR"},
    };
    EXPECT_EQ(g_lines, expected);
}

TEST_F(Trace, NothingIsFormattedWithoutACallback)
{
    trace::g_callback = nullptr;
    int formatted = 0;
    UKEY_TRACE("UKeyAdaptorSKF::Probe", (++formatted, "start"));
    UKEY_TRACEF("UKeyAdaptorSKF::Probe", "%d", ++formatted);
    UKEY_TRACE_CODE("UKeyAdaptorSKF::Probe", "error! ulRet: %1", ++formatted);
    KXF_TRACE_ENTRY("KXF_Probe", (++formatted, "start"));
    EXPECT_EQ(formatted, 0);
    EXPECT_TRUE(g_lines.empty());
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
