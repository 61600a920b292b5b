// A second KXF_Init_SDK reloads the vendor library, which numbers its handles afresh. An instance
// made under the earlier load must answer as a disconnected instance does, and pass none of its
// old vendor handles (SKF or PKCS#11 session) to the new library.
#include <dlfcn.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "pkcs11/SoftHsmForwarder.h"
#include "support/HostFixture.h"
#include "support/SoftHsm.h"

namespace {

using Fixture = ukeytest::HostFixture;

struct Probe {
    const char *entry;
    std::function<uint32_t(void **, uint32_t)> call;
};

// DisConnectDev last: before it, both instances still hold whatever they hold.
const std::vector<Probe> &probes()
{
    static const std::vector<Probe> list = {
        {"IsConnectDev",
         [](void **t, uint32_t h) { return reinterpret_cast<PFN_KXF_IsConnectDev>(t[KXF_IDX_IsConnectDev])(h); }},
        {"VerifyPIN",
         [](void **t, uint32_t h) {
             uint32_t retry = 0;
             return reinterpret_cast<PFN_KXF_VerifyPIN>(t[KXF_IDX_VerifyPIN])(h, SKF_USER_TYPE, "123456", &retry);
         }},
        {"GetDevInfo",
         [](void **t, uint32_t h) {
             DEVINFO info{};
             uint32_t len = sizeof info;
             return reinterpret_cast<PFN_KXF_GetDevInfo>(t[KXF_IDX_GetDevInfo])(h, &info, &len);
         }},
        {"EnumFiles",
         [](void **t, uint32_t h) {
             char names[256] = {};
             uint32_t len = sizeof names;
             return reinterpret_cast<PFN_KXF_EnumFiles>(t[KXF_IDX_EnumFiles])(h, names, &len);
         }},
        {"DisConnectDev",
         [](void **t, uint32_t h) { return reinterpret_cast<PFN_KXF_DisConnectDev>(t[KXF_IDX_DisConnectDev])(h); }},
    };
    return list;
}

struct Case {
    const char *name;
    const char *type;
    const char *library;
    bool pkcs11;
};

const Case kCases[] = {
    {"skf", "ukeyskf", MOCK_SKF_PATH, false},
    {"gdca", "skf_gdca", MOCK_SKF_PATH, false},
    {"pkcs11", "skf_szca_ft3003", SZCA_VENDOR_PATH, true},
};

void PrintTo(const Case &row, std::ostream *os)
{
    *os << row.name;
}

class Reload : public Fixture, public ::testing::WithParamInterface<Case> {
protected:
    struct Answer {
        uint32_t result;
        std::vector<std::string> traces, vendorCalls, p11Calls;
    };

    Answer answer(const Probe &probe, uint32_t h)
    {
        const Case &c = GetParam();
        log_.clear();
        mock(c.library).clearLog();
        if (p11_)
            p11_->calls.clear();
        Answer a{probe.call(table_, h), traces(), {}, p11_ ? p11_->calls : std::vector<std::string>{}};
        for (const auto &call : mock(c.library).log) {
            std::string text = call.fn;
            for (uint64_t arg : call.args)
                text += " " + std::to_string(arg);
            a.vendorCalls.push_back(text);
        }
        return a;
    }

    void TearDown() override
    {
        if (p11Library_)
            dlclose(p11Library_);
        Fixture::TearDown();
    }

    P11Fwd *p11_ = nullptr;
    void *p11Library_ = nullptr;
};

TEST_P(Reload, InstancesOfAnEarlierLoadAnswerAsDisconnectedOnes)
{
    const Case &c = GetParam();
    if (c.pkcs11) {
        p11Library_ = dlopen(c.library, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(p11Library_, nullptr) << dlerror();
        p11_ = reinterpret_cast<PFN_p11fwd>(dlsym(p11Library_, "p11fwd"))();
        ASSERT_EQ(softhsm::token().error, "");
    }
    // A key the token answers to, under both loads.
    const auto keyOfTheToken = [&] {
        if (c.pkcs11)
            mock::setField(mock(c.library).dev().info.SerialNumber, softhsm::token().serial);
    };
    keyOfTheToken();
    uint32_t old = 0, fresh = 0, disconnected = 0;
    ASSERT_EQ(init(c.type, c.library), 0u);
    ASSERT_EQ(connect("MockDev1", &old), 0u);

    ASSERT_EQ(init(c.type, c.library), 0u);
    mock(c.library).reset(); // the reloaded vendor numbers its handles from the start again
    keyOfTheToken();
    ASSERT_EQ(connect("MockDev1", &fresh), 0u);
    ASSERT_EQ(connect("MockDev1", &disconnected), 0u);
    ASSERT_EQ(KXF(DisConnectDev)(disconnected), 0u);

    for (const Probe &probe : probes()) {
        SCOPED_TRACE(probe.entry);
        const Answer stale = answer(probe, old);
        const Answer reference = answer(probe, disconnected);
        EXPECT_EQ(stale.result, reference.result);
        EXPECT_EQ(stale.traces, reference.traces);
        EXPECT_EQ(stale.vendorCalls, reference.vendorCalls);
        EXPECT_EQ(stale.p11Calls, reference.p11Calls);
    }
    // The device connected under the new load kept its connection.
    EXPECT_EQ(KXF(IsConnectDev)(fresh), 0u);
    EXPECT_EQ(mock(c.library).count("SKF_DisConnectDev"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Types, Reload, ::testing::ValuesIn(kCases),
                         [](const auto &row) { return std::string(row.param.name); });

} // namespace
