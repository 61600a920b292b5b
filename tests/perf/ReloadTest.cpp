// A second KXF_Init_SDK reloads the vendor library, which numbers its handles afresh. An instance
// made under the earlier load must answer as a disconnected instance does, and pass none of its
// old vendor handles (SKF or PKCS#11 session) to the new library.
#include <dlfcn.h>

#include <string>
#include <tuple>
#include <vector>

#include "pkcs11/SoftHsmForwarder.h"
#include "support/HostFixture.h"
#include "support/SoftHsm.h"

namespace {

struct Case {
    const char *name, *type, *library;
};

const Case kCases[] = {
    {"skf", "ukeyskf", MOCK_SKF_PATH},
    {"pkcs11", "skf_szca_ft3003", SZCA_VENDOR_PATH},
};

class Reload : public ukeytest::HostFixture, public ::testing::WithParamInterface<Case> {
protected:
    // All a call shows: the host log, its result, and the vendor library's SKF and PKCS#11 calls.
    template <class Pfn>
    std::vector<std::string> answer(Pfn fn, uint32_t h)
    {
        mock::State &vendor = mock(GetParam().library);
        log_.clear();
        vendor.clearLog();
        if (p11_)
            p11_->calls.clear();
        const uint32_t rv = ukeytest::callWithScratch(fn, h, scratch_);
        std::vector<std::string> a = traces();
        a.push_back(std::to_string(rv));
        for (const auto &call : vendor.log) {
            a.push_back(call.fn);
            for (uint64_t arg : call.args)
                a.back() += " " + std::to_string(arg);
        }
        if (p11_)
            a.insert(a.end(), p11_->calls.begin(), p11_->calls.end());
        return a;
    }

    P11Fwd *p11_ = nullptr;
    alignas(8) uint8_t scratch_[4096] = {};
};

TEST_P(Reload, InstancesOfAnEarlierLoadAnswerAsDisconnectedOnes)
{
    const Case &c = GetParam();
    mock::State &m = mock(c.library);
    void *library = dlopen(c.library, RTLD_NOW | RTLD_NOLOAD);
    if (const auto p11fwd = reinterpret_cast<PFN_p11fwd>(dlsym(library, "p11fwd"))) {
        p11_ = p11fwd();
        ASSERT_EQ(softhsm::token().error, "");
    }
    dlclose(library);
    // A key the PKCS#11 side's token answers to, under both loads.
    const std::string serial = p11_ ? softhsm::token().serial : m.dev().info.SerialNumber;
    mock::setField(m.dev().info.SerialNumber, serial);
    ASSERT_EQ(init(c.type, c.library), 0u);
    const uint32_t old = connected();

    ASSERT_EQ(init(c.type, c.library), 0u);
    m.reset(); // the reloaded vendor numbers its handles from the start again
    mock::setField(m.dev().info.SerialNumber, serial);
    const uint32_t fresh = connected(), disconnected = connected();
    ASSERT_EQ(KXF(DisConnectDev)(disconnected), 0u);

    // DisConnectDev last: before it, both instances still hold whatever they hold.
    const auto same = [&](auto fn) { EXPECT_EQ(answer(fn, old), answer(fn, disconnected)); };
    std::apply([&](auto... fn) { (same(fn), ...); },
               std::tuple{KXF(IsConnectDev), KXF(VerifyPIN), KXF(GetDevInfo), KXF(EnumFiles), KXF(DisConnectDev)});
    // The device connected under the new load kept its connection.
    EXPECT_EQ(KXF(IsConnectDev)(fresh), 0u);
    EXPECT_EQ(mock(c.library).count("SKF_DisConnectDev"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Types, Reload, ::testing::ValuesIn(kCases),
                         [](const auto &row) { return std::string(row.param.name); });

} // namespace
