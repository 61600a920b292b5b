// Variant objects made and connected in this process as the host's connect makes them, with the
// trace lines collected and the reconnect pause recorded instead of slept.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "skf/UKeyAdaptorSKF.h"
#include "support/HostFixture.h"

namespace ukeytest {

class VariantTest : public HostFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // Loads library through the type's own load operation (releasing the previous type's), then
    // makes an object of the type, connected to "MockDev1" unless told otherwise.
    ukey::UKeyAdaptorSKF *open(const char *type, const char *library = MOCK_SKF_PATH, bool connected = true);

    static std::vector<std::pair<uint32_t, size_t>> pauses_; // milliseconds, vendor calls made before

private:
    const char *type_ = nullptr;
    std::vector<ukey::UKeyAdaptorBase *> objects_;
};

inline mock::Bytes bytesOf(const std::string &text)
{
    return mock::Bytes(text.begin(), text.end());
}

} // namespace ukeytest
