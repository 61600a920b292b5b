// A disconnected instance gives up its own copy of the device information but answers from the
// same bytes: label, serial number and space as cached at its connect, each device its own.
#include <string>
#include <tuple>

#include "support/HostFixture.h"

namespace {

class Retired : public ukeytest::HostFixture, public ::testing::WithParamInterface<const char *> {};

TEST_P(Retired, DisconnectedInstancesAnswerFromWhatTheyCached)
{
    mock().addDevice("MockDev2", "SECONDSERIAL").apps.push_back(mock::State::makeApp("APP1", "111111", "123456"));
    mock().devices.back().info.TotalSpace = 4096;
    ASSERT_EQ(init(GetParam()), 0u);
    const uint32_t first = connected(), second = connected("MockDev2"), again = connected();
    // Label, serial number and total space of each instance.
    const auto cached = [&] {
        std::vector<std::tuple<std::string, std::string, uint32_t>> all;
        for (uint32_t h : {first, second, again}) {
            char label[64] = {}, serial[64] = {};
            uint32_t labelLen = sizeof label, serialLen = sizeof serial, total = 0;
            KXF(GetLabelName)(h, label, &labelLen);
            KXF(GetSerialNumber)(h, serial, &serialLen);
            KXF(GetTotalSpace)(h, &total);
            all.emplace_back(label, serial, total);
        }
        return all;
    };
    const auto connected = cached();
    ASSERT_EQ(std::get<1>(connected[1]), "SECONDSERIAL");
    for (uint32_t h : {first, second, again})
        ASSERT_EQ(KXF(DisConnectDev)(h), 0u);
    // The key changes after the disconnect; the instances do not ask it again.
    mock().dev().info.TotalSpace = 1;
    EXPECT_EQ(cached(), connected);
    uint32_t total = 0;
    EXPECT_EQ(KXF(GetTotalSpace)(first, &total), SAR_FAIL);
}

INSTANTIATE_TEST_SUITE_P(Types, Retired, ::testing::Values("ukeyskf", "skf_gdca", "skf_szca_ft3000gm"));

} // namespace
