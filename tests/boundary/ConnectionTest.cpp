#include <algorithm>
#include <tuple>

#include "support/HostFixture.h"

namespace ukeytest {
namespace {

class Connection : public HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        ASSERT_EQ(init(), SAR_OK);
        reset();
    }
};

TEST_F(Connection, ConnectOpensTheFirstApplicationAndReadsTheDevice)
{
    const uint32_t handle = connected();
    EXPECT_EQ(calls(), (Lines{"SKF_ConnectDev:MockDev1", "SKF_EnumApplication", "SKF_EnumApplication",
                              "SKF_OpenApplication:APP1", "SKF_GetDevInfo"}));
    const auto &log = mock().log;
    // The device each call goes to; the size query comes first.
    EXPECT_EQ((Words{log[1].args[0], log[1].args[1], log[3].args[0], log[4].args[0]}),
              (Words{kFirstDev, 0, kFirstDev, kFirstDev}));
    EXPECT_NE(log[2].args[1], 0u);

    mock().clearLog();
    EXPECT_EQ(KXF(IsConnectDev)(handle), SAR_OK);
    ASSERT_EQ(calls(), Lines{"SKF_GetPINInfo"});
    EXPECT_EQ((Words{log[0].args[0], log[0].args[1]}), (Words{kFirstApp, SKF_ADMIN_TYPE}));
}

// Whatever list a vendor reports, the adaptor reads only the buffer it owns and opens the first
// name as listed; without one the key connects with no application and no device record.
TEST_F(Connection, ApplicationListsOfLyingVendors)
{
    // The list, the vendor calls after the listing, a line of the opening.
    const Lines opens{"SKF_OpenApplication:APP1", "SKF_GetDevInfo"};
    const std::tuple<mock::RawList, Lines, const char *> cases[] = {
        {mock::RawList::of(std::string("APP1\0", 5), 5), opens, "end"},
        {mock::RawList{true, std::string("APP1\0", 5), 5, 4096, true}, opens, "end"},
        {mock::RawList{true, std::string("APP1\0AAA\0\0", 10), 10, 4096, false}, opens, "end"},
        {mock::RawList::of(std::string("\0", 1), 1), {}, "end NULL"},
        {mock::RawList::of("", 0), {}, "end ulRet"},
    };
    for (const auto &[list, opened, closing] : cases) {
        mock().enumApplication = list;
        reset();
        const uint32_t handle = connected();
        Lines after = calls();
        after.erase(after.begin(), std::find(after.rbegin(), after.rend(), "SKF_EnumApplication").base());
        EXPECT_EQ(after, opened) << list.fillLength;
        const auto lines = messagesAt("UKeyAdaptorSKF::openApplication");
        EXPECT_NE(std::find(lines.begin(), lines.end(), closing), lines.end()) << closing;
        EXPECT_EQ(KXF(IsConnectDev)(handle), opened.empty() ? SAR_INVALIDHANDLEERR : SAR_OK);
    }
}

TEST_F(Connection, FailedConnectRollsBackAndSpendsItsHandle)
{
    // clang-format off
    const std::tuple<const char *, Lines> cases[] = {
        {"SKF_ConnectDev", {"SKF_ConnectDev"}},
        {"SKF_EnumApplication", {"SKF_ConnectDev", "SKF_EnumApplication", "SKF_DisConnectDev"}},
        {"SKF_OpenApplication", {"SKF_ConnectDev", "SKF_EnumApplication", "SKF_EnumApplication", "SKF_OpenApplication", "SKF_DisConnectDev"}},
        {"SKF_GetDevInfo", {"SKF_ConnectDev", "SKF_EnumApplication", "SKF_EnumApplication", "SKF_OpenApplication", "SKF_GetDevInfo",
                            "SKF_CloseApplication", "SKF_DisConnectDev"}},
    };
    // clang-format on
    uint32_t spent = 0;
    for (const auto &[failing, calls] : cases) {
        mock().clearLog();
        mock().force(failing, 0x0A000002);
        uint32_t handle = 0xDEADBEEF;
        EXPECT_EQ(connect("MockDev1", &handle), 0x0A000002u) << failing;
        EXPECT_EQ(handle, 0xDEADBEEF) << failing;
        EXPECT_EQ(mock().calledNames(), calls) << failing;
        EXPECT_TRUE(mock().handles.empty()) << failing << " left a vendor handle open";
        if (calls.size() == 1) {
            EXPECT_EQ(messagesAt("UKeyAdaptorSKF::ConnectDev"), (Lines{"start", "error! ulRet: 167772162", "end"}));
        }
        ++spent;
        log_.clear();
        EXPECT_EQ(KXF(IsConnectDev)(spent), SAR_INVALIDHANDLEERR);
        EXPECT_EQ(traces(), (Lines{"KXF_IsConnectDev|start", "KXF_IsConnectDev|end"}));
    }
    EXPECT_EQ(connected(), spent + 1);
}

TEST_F(Connection, EnumDevListsPresentDevices)
{
    mock().addDevice("Absent", "S2").present = false;
    mock().addDevice("MockDev2", "S3");
    uint32_t size = 0;
    EXPECT_EQ(KXF(EnumDev)(nullptr, &size), SAR_OK);
    ASSERT_EQ(mock().calledNames(), Lines{"SKF_EnumDev"});
    EXPECT_EQ((Words{mock().log[0].args[0], mock().log[0].args[1]}), (Words{1, 0})) << "present only, null buffer";
    const std::string expected("MockDev1\0MockDev2\0\0", 19);
    ASSERT_EQ(size, expected.size());
    std::string list(size, 'x');
    EXPECT_EQ(KXF(EnumDev)(list.data(), &size), SAR_OK);
    EXPECT_EQ(list, expected);
}

TEST_F(Connection, SerialNumberByDeviceName)
{
    // The caller's 40-byte buffer after a copy of text and its terminator.
    const auto written = [](const std::string &text) { return text + '\0' + std::string(39 - text.size(), 'x'); };
    const std::string full(32, '7');
    // Device, serial field (copied into the 32-byte field, terminated only when shorter), GetDevInfo
    // result, then the result, length and buffer the host gets.
    const std::tuple<const char *, std::string, uint32_t, uint32_t, uint32_t, std::string> cases[] = {
        {"MockDev1", full, SAR_OK, SAR_OK, 33, written(full)},
        {"MockDev1", "MOCKSERIAL0001", 0x0A000002, SAR_OK, 1, written("")},
        {"NoSuchDev", "MOCKSERIAL0001", SAR_OK, mock::kSAR_DEVICE_REMOVED, 0xAAAA, std::string(40, 'x')},
    };
    for (const auto &[device, serialField, devInfoResult, result, expectedLength, expectedBuffer] : cases) {
        mock::setField(mock().dev().info.SerialNumber, serialField);
        mock().dev().getDevInfoResult = devInfoResult;
        uint32_t length = 0xAAAA;
        EXPECT_EQ(KXF(GetSerialNumberByDevName)(device, nullptr, &length), result) << expectedBuffer;
        EXPECT_EQ(length, expectedLength) << expectedBuffer;
        std::string buffer(40, 'x');
        EXPECT_EQ(KXF(GetSerialNumberByDevName)(device, buffer.data(), &length), result);
        EXPECT_EQ(buffer, expectedBuffer);
        EXPECT_TRUE(mock().handles.empty()) << "the temporary connection is closed";
    }
    // The disconnect's code is the result.
    mock().force("SKF_DisConnectDev", 0x0A000004);
    uint32_t length = 0;
    EXPECT_EQ(KXF(GetSerialNumberByDevName)("MockDev1", nullptr, &length), 0x0A000004u);
    // No instance was made on the way.
    EXPECT_EQ(connected(), 1u);
}

} // namespace
} // namespace ukeytest
