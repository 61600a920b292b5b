#include "variants/VariantSupport.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace ukey {
namespace {

void sleepFor(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace

WaitFunction g_wait = &sleepFor;

uint32_t serialIsDeviceName(const TraceSite &caller, const char *devName, char *serial, uint32_t *pulLen)
{
    const TraceSite site{caller, __LINE__};
    site("start");
    if (!devName || (serial && !pulLen)) {
        site(kEndInvalidParam);
        return SAR_INVALIDPARAMERR;
    }
    const size_t len = std::strlen(devName);
    if (pulLen)
        *pulLen = static_cast<uint32_t>(len + 1);
    if (serial)
        std::memcpy(serial, devName, len + 1);
    site("end");
    return SAR_OK;
}

} // namespace ukey
