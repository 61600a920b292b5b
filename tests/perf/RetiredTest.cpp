// A disconnected instance gives up its own copy of the device information but answers from the
// same bytes: label, serial number and space as cached at its connect, each device its own.
#include <string>

#include "support/HostFixture.h"

namespace {

struct Cached {
    std::string label, serial;
    uint32_t total;
};

void PrintTo(const Cached &c, std::ostream *os)
{
    *os << c.label << "/" << c.serial << "/" << c.total;
}
bool operator==(const Cached &a, const Cached &b)
{
    return a.label == b.label && a.serial == b.serial && a.total == b.total;
}

class Retired : public ukeytest::HostFixture, public ::testing::WithParamInterface<const char *> {
protected:
    Cached cached(uint32_t h)
    {
        char label[64] = {}, serial[64] = {};
        uint32_t labelLen = sizeof label, serialLen = sizeof serial, total = 0;
        KXF(GetLabelName)(h, label, &labelLen);
        KXF(GetSerialNumber)(h, serial, &serialLen);
        KXF(GetTotalSpace)(h, &total);
        return {label, serial, total};
    }
};

TEST_P(Retired, DisconnectedInstancesAnswerFromWhatTheyCached)
{
    mock().addDevice("MockDev2", "SECONDSERIAL").apps.push_back(mock::State::makeApp("APP1", "111111", "123456"));
    mock().devices.back().info.TotalSpace = 4096;
    ASSERT_EQ(init(GetParam()), 0u);
    uint32_t first = 0, second = 0, again = 0;
    ASSERT_EQ(connect("MockDev1", &first), 0u);
    ASSERT_EQ(connect("MockDev2", &second), 0u);
    ASSERT_EQ(connect("MockDev1", &again), 0u);
    const Cached connected[] = {cached(first), cached(second), cached(again)};
    ASSERT_EQ(connected[1].serial, "SECONDSERIAL");
    for (uint32_t h : {first, second, again})
        ASSERT_EQ(KXF(DisConnectDev)(h), 0u);
    // The key changes after the disconnect; the instances do not ask it again.
    mock().dev().info.TotalSpace = 1;
    EXPECT_EQ(cached(first), connected[0]);
    EXPECT_EQ(cached(second), connected[1]);
    EXPECT_EQ(cached(again), connected[2]);
    uint32_t total = 0;
    EXPECT_EQ(KXF(GetTotalSpace)(first, &total), SAR_FAIL);
}

INSTANTIATE_TEST_SUITE_P(Types, Retired, ::testing::Values("ukeyskf", "skf_gdca", "skf_szca_ft3000gm"));

} // namespace
