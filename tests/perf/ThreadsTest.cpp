// Eight host threads, each connecting its own device, calling a mix of entries and disconnecting,
// against the mock and against the software token. Built with -fsanitize=thread by
// scripts/ci-tsan.sh as well.
#include <atomic>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/HostFixture.h"

namespace {

constexpr int kThreads = 8;

std::atomic<uint64_t> g_lines{0};

void KXF_CALL countLine(int32_t, const char *text)
{
    if (text && *text == '[')
        g_lines.fetch_add(1, std::memory_order_relaxed);
}

struct Vendor {
    const char *name, *library;
    bool ownDevices; // one device per thread in the mock; the token has one device for all
    int iterations;
};

const Vendor kVendors[] = {
    // The mock numbers handles of each kind from base + 1 to base + 4095: 4,000 connects in all.
    {"mock", MOCK_SKF_PATH, true, 500},
    // The token derives every PIN it checks with PBKDF2, milliseconds a call.
    {"softtoken", SKFSOFT_PATH, false, 40},
};

class Threads : public ukeytest::HostFixture, public ::testing::WithParamInterface<Vendor> {};

TEST_P(Threads, ConnectCallAndDisconnectOnTheirOwnHandles)
{
    const Vendor &v = GetParam();
    ::unsetenv("SKFSOFT_DIR");
    std::vector<std::string> devices(kThreads, v.ownDevices ? "MockDev1" : "SoftToken-0");
    for (int t = 1; v.ownDevices && t < kThreads; ++t) {
        devices[t] = "MockDev" + std::to_string(t + 1);
        mock::Device &d = mock().addDevice(devices[t], ("SERIAL" + std::to_string(t)).c_str());
        d.apps.push_back(mock::State::makeApp("APP1", "111111", "123456"));
    }
    ASSERT_EQ(KXF(Init_SDK)("ukeyskf", v.library, &countLine, 0), 0u);

    std::atomic<int> failures{0};
    std::vector<std::vector<uint32_t>> handles(kThreads);
    auto host = [&](int t) {
        const char *dev = devices[t].c_str();
        for (int i = 0; i < v.iterations; ++i) {
            char text[512];
            DEVINFO info;
            uint32_t h = 0, len = sizeof text, infoLen = sizeof info, listLen = sizeof text, retry = 0;
            const bool ok = KXF(ConnectDev)(dev, &h) == 0 && KXF(GetSerialNumber)(h, text, &len) == 0 &&
                            KXF(IsConnectDev)(h) == 0 && KXF(VerifyPIN)(h, SKF_USER_TYPE, "123456", &retry) == 0 &&
                            KXF(GetDevInfo)(h, &info, &infoLen) == 0 && KXF(EnumFiles)(h, text, &listLen) == 0 &&
                            KXF(IsConnectDev)(h + kThreads * v.iterations * 2) == SAR_INVALIDHANDLEERR &&
                            KXF(DisConnectDev)(h) == 0 && KXF(IsConnectDev)(h) == SAR_INVALIDHANDLEERR;
            failures += !ok;
            if (h)
                handles[t].push_back(h);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(host, t);
    for (auto &thread : threads)
        thread.join();

    EXPECT_EQ(failures.load(), 0);
    std::set<uint32_t> distinct;
    for (const auto &own : handles)
        distinct.insert(own.begin(), own.end());
    const size_t total = kThreads * v.iterations;
    ASSERT_EQ(distinct.size(), total) << "a connect failed or a device handle was handed out twice";
    EXPECT_EQ(*distinct.rbegin(), total) << "handles are 1 to N";
    EXPECT_GT(g_lines.load(), total * 10);
    EXPECT_EQ(KXF(Uinit_SDK)(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Vendors, Threads, ::testing::ValuesIn(kVendors),
                         [](const auto &row) { return std::string(row.param.name); });

} // namespace
