#include <algorithm>
#include <cstring>

#include "support/HostFixture.h"

namespace ukeytest {
namespace {

class Connection : public HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        ASSERT_EQ(init(), SAR_OK);
        mock().clearLog();
        log_.clear();
    }

    bool traced(const std::string &line) const
    {
        const auto lines = traces();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    static uint64_t word(const void *p) { return reinterpret_cast<uintptr_t>(p); }
};

const uint64_t kFirstDevice = reinterpret_cast<uintptr_t>(mock::handleValue(mock::Kind::Device, 1));
const uint64_t kFirstApp = reinterpret_cast<uintptr_t>(mock::handleValue(mock::Kind::Application, 1));

TEST_F(Connection, HandlesAreNumberedFromOne)
{
    uint32_t first = 0, second = 0;
    EXPECT_EQ(connect("MockDev1", &first), SAR_OK);
    EXPECT_EQ(connect("MockDev1", &second), SAR_OK);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(second, 2u);
    EXPECT_EQ(KXF(IsConnectDev)(first), SAR_OK);
    EXPECT_EQ(KXF(IsConnectDev)(second), SAR_OK);
}

TEST_F(Connection, ConnectOpensTheFirstApplicationAndReadsTheDevice)
{
    uint32_t handle = 0;
    ASSERT_EQ(connect("MockDev1", &handle), SAR_OK);
    EXPECT_EQ(mock().calledNames(),
              (std::vector<std::string>{"SKF_ConnectDev", "SKF_EnumApplication", "SKF_EnumApplication",
                                        "SKF_OpenApplication", "SKF_GetDevInfo"}));
    const auto &log = mock().log;
    EXPECT_EQ(log[0].strings, std::vector<std::string>{"MockDev1"});
    EXPECT_EQ(log[1].args[0], kFirstDevice);
    EXPECT_EQ(log[1].args[1], 0u) << "size query first";
    EXPECT_NE(log[2].args[1], 0u);
    EXPECT_EQ(log[3].args[0], kFirstDevice);
    EXPECT_EQ(log[3].strings, std::vector<std::string>{"APP1"});
    EXPECT_EQ(log[4].args[0], kFirstDevice);

    mock().clearLog();
    EXPECT_EQ(KXF(IsConnectDev)(handle), SAR_OK);
    const mock::Call *probe = mock().lastCall("SKF_GetPINInfo");
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe->args[0], kFirstApp);
    EXPECT_EQ(probe->args[1], SKF_ADMIN_TYPE);
}

TEST_F(Connection, OnlyTheFirstListedApplicationIsOpened)
{
    mock().dev().apps = {mock::State::makeApp("ZZZ", "1", "2"), mock::State::makeApp("AAA", "1", "2")};
    uint32_t handle = 0;
    ASSERT_EQ(connect("MockDev1", &handle), SAR_OK);
    const auto opens = mock().calls("SKF_OpenApplication");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0]->strings, std::vector<std::string>{"ZZZ"});
}

TEST_F(Connection, KeyWithoutApplicationConnectsWithoutOne)
{
    mock().dev().apps.clear();
    uint32_t handle = 0;
    ASSERT_EQ(connect("MockDev1", &handle), SAR_OK);
    EXPECT_TRUE(traced("UKeyAdaptorSKF::openApplication|end NULL"));
    EXPECT_EQ(mock().count("SKF_OpenApplication"), 0u);
    EXPECT_EQ(mock().count("SKF_GetDevInfo"), 0u);
    EXPECT_EQ(KXF(IsConnectDev)(handle), SAR_INVALIDHANDLEERR);
}

// Whatever list a vendor reports, the adaptor reads only the buffer it owns.
TEST_F(Connection, ApplicationListsOfLyingVendors)
{
    struct Case {
        mock::RawList list;
        const char *opened; // null: nothing opened
    };
    const Case cases[] = {
        {mock::RawList::of(std::string("APP1\0", 5), 5), "APP1"},
        {mock::RawList{true, std::string("APP1\0", 5), 5, 4096, true}, "APP1"},
        {mock::RawList{true, std::string("APP1\0APP2\0\0", 11), 11, 4096, false}, "APP1"},
        {mock::RawList::of(std::string("\0", 1), 1), nullptr},
        {mock::RawList::of("", 0), nullptr},
    };
    for (const auto &c : cases) {
        mock().enumApplication = c.list;
        mock().clearLog();
        uint32_t handle = 0;
        EXPECT_EQ(connect("MockDev1", &handle), SAR_OK) << c.list.fillLength;
        const auto opens = mock().calls("SKF_OpenApplication");
        ASSERT_EQ(opens.size(), c.opened ? 1u : 0u) << c.list.fillLength;
        if (c.opened) {
            EXPECT_EQ(opens[0]->strings, std::vector<std::string>{c.opened});
        }
    }
}

TEST_F(Connection, FailedConnectRollsBackAndSpendsItsHandle)
{
    struct Case {
        const char *failing;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"SKF_ConnectDev", {"SKF_ConnectDev"}},
        {"SKF_EnumApplication", {"SKF_ConnectDev", "SKF_EnumApplication", "SKF_DisConnectDev"}},
        {"SKF_OpenApplication",
         {"SKF_ConnectDev", "SKF_EnumApplication", "SKF_EnumApplication", "SKF_OpenApplication", "SKF_DisConnectDev"}},
        {"SKF_GetDevInfo",
         {"SKF_ConnectDev", "SKF_EnumApplication", "SKF_EnumApplication", "SKF_OpenApplication", "SKF_GetDevInfo",
          "SKF_CloseApplication", "SKF_DisConnectDev"}},
    };
    uint32_t spent = 0;
    for (const auto &c : cases) {
        mock().clearLog();
        mock().force(c.failing, 0x0A000002);
        uint32_t handle = 0xDEADBEEF;
        EXPECT_EQ(connect("MockDev1", &handle), 0x0A000002u) << c.failing;
        EXPECT_EQ(handle, 0xDEADBEEF) << c.failing;
        EXPECT_EQ(mock().calledNames(), c.calls) << c.failing;
        EXPECT_TRUE(mock().handles.empty()) << c.failing << " left a vendor handle open";
        ++spent;
        log_.clear();
        EXPECT_EQ(KXF(IsConnectDev)(spent), SAR_INVALIDHANDLEERR);
        EXPECT_EQ(traces(), (std::vector<std::string>{"KXF_IsConnectDev|start", "KXF_IsConnectDev|end"}));
    }
    uint32_t handle = 0;
    EXPECT_EQ(connect("MockDev1", &handle), SAR_OK);
    EXPECT_EQ(handle, spent + 1);
}

TEST_F(Connection, ConnectFailureIsTracedInDecimal)
{
    mock().force("SKF_ConnectDev", SAR_INVALIDHANDLEERR);
    uint32_t handle = 0;
    EXPECT_EQ(connect("MockDev1", &handle), SAR_INVALIDHANDLEERR);
    EXPECT_EQ(messagesAt("UKeyAdaptorSKF::ConnectDev"),
              (std::vector<std::string>{"start", "error! ulRet: 167772165", "end"}));
}

TEST_F(Connection, DisconnectedHandleStillReachesItsInstance)
{
    uint32_t handle = 0;
    ASSERT_EQ(connect("MockDev1", &handle), SAR_OK);
    mock().clearLog();
    EXPECT_EQ(KXF(DisConnectDev)(handle), SAR_OK);
    EXPECT_EQ(mock().calledNames(), (std::vector<std::string>{"SKF_CloseApplication", "SKF_DisConnectDev"}));
    log_.clear();
    EXPECT_EQ(KXF(IsConnectDev)(handle), SAR_INVALIDHANDLEERR);
    EXPECT_EQ(traces(), (std::vector<std::string>{"KXF_IsConnectDev|start", "UKeyAdaptorSKF::IsConnectDev|start",
                                                  "UKeyAdaptorSKF::IsConnectDev|end.SAR_INVALIDHANDLEERR",
                                                  "KXF_IsConnectDev|end"}));
    EXPECT_EQ(KXF(DisConnectDev)(handle), SAR_FAIL);
}

TEST_F(Connection, EnumDevListsPresentDevices)
{
    mock().addDevice("Absent", "S2").present = false;
    mock().addDevice("MockDev2", "S3");
    uint32_t size = 0;
    EXPECT_EQ(KXF(EnumDev)(nullptr, &size), SAR_OK);
    const mock::Call *query = mock().lastCall("SKF_EnumDev");
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(query->args[0], 1u) << "present devices only";
    EXPECT_EQ(query->args[1], 0u) << "null buffer passed on";
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
    struct Case {
        const char *device;
        std::string serialField; // copied into the 32-byte field, terminated only when shorter
        uint32_t devInfoResult;
        uint32_t result;
        uint32_t length;
        std::string buffer;
    };
    const std::string full(32, '7');
    const Case cases[] = {
        {"MockDev1", "MOCKSERIAL0001", SAR_OK, SAR_OK, 15, written("MOCKSERIAL0001")},
        {"MockDev1", full, SAR_OK, SAR_OK, 33, written(full)},
        {"MockDev1", "MOCKSERIAL0001", 0x0A000002, SAR_OK, 1, written("")},
        {"NoSuchDev", "MOCKSERIAL0001", SAR_OK, mock::kDeviceRemoved, 0xAAAA, std::string(40, 'x')},
    };
    for (const auto &c : cases) {
        auto &info = mock().dev().info;
        std::memcpy(info.SerialNumber, c.serialField.c_str(), std::min<size_t>(32, c.serialField.size() + 1));
        mock().dev().getDevInfoResult = c.devInfoResult;
        uint32_t length = 0xAAAA;
        EXPECT_EQ(KXF(GetSerialNumberByDevName)(c.device, nullptr, &length), c.result) << c.buffer;
        EXPECT_EQ(length, c.length) << c.buffer;
        std::string buffer(40, 'x');
        EXPECT_EQ(KXF(GetSerialNumberByDevName)(c.device, buffer.data(), &length), c.result);
        EXPECT_EQ(buffer, c.buffer);
        EXPECT_TRUE(mock().handles.empty()) << "the temporary connection is closed";
    }
    // The disconnect's code is the result.
    mock().force("SKF_DisConnectDev", 0x0A000004);
    uint32_t length = 0;
    EXPECT_EQ(KXF(GetSerialNumberByDevName)("MockDev1", nullptr, &length), 0x0A000004u);
    // No instance was made on the way.
    uint32_t handle = 0;
    ASSERT_EQ(connect("MockDev1", &handle), SAR_OK);
    EXPECT_EQ(handle, 1u);
}

} // namespace
} // namespace ukeytest
