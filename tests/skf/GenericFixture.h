// Three instances of the generic adaptor, reached through the host table: one connected with its
// application open, one connected to a key that holds no application, one disconnected again.
#pragma once

#include <string>

#include "support/HostFixture.h"

namespace ukeytest {

// The vendor handles of the first two connections.
const uint64_t kFullDev = kFirstDev, kFullApp = kFirstApp, kBareDev = handleWord(mock::Kind::Device, 2);

// A container, key, hash or MAC handle the vendor gets as given.
inline void *const kObject = reinterpret_cast<void *>(uintptr_t{0xC0DE});

template <class T>
T *as(uint8_t *p)
{
    return reinterpret_cast<T *>(p);
}

// A code no layer of the adaptor produces itself.
constexpr uint32_t kVendorCode = 0x0A0000ABu;

class GenericAdaptor : public HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        mock().addDevice("Bare", "BARESERIAL");
        ASSERT_EQ(init("ukeyskf", MOCK_SKF_PATH, traced_), SAR_OK);
        ASSERT_EQ(connect("MockDev1", &full_), SAR_OK);
        ASSERT_EQ(connect("Bare", &bare_), SAR_OK);
        ASSERT_EQ(connect("MockDev1", &gone_), SAR_OK);
        ASSERT_EQ(KXF(DisConnectDev)(gone_), SAR_OK);
        reset();
    }

    Lines messages(const char *operation) const { return messagesAt(std::string("UKeyAdaptorSKF::") + operation); }

    bool traced_ = true; // false: the host gave no callback
    // MockDev1 with APP1 open; a key without application (device open, no application); disconnected.
    uint32_t full_ = 0, bare_ = 0, gone_ = 0;
};

} // namespace ukeytest
