#include <cstring>

#include "library/SkfEntryPoints.h"
#include "skf/Guard.h"
#include "skf/UKeyAdaptorSKF.h"

namespace ukey {
// SAR_FAIL while unconnected, the cache then keeping what it held.
uint32_t UKeyAdaptorSKF::refreshDevInfo()
{
    if (!m_hDev)
        return SAR_FAIL;
    devInfo = DEVINFO{};
    return skf().SKF_GetDevInfo(m_hDev, &devInfo);
}

uint32_t UKeyAdaptorSKF::GetKeyLabelName(char *label, uint32_t *pulLen)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::GetKeyLabelName"))
        .needs(skf().SKF_GetDevInfo)
        .params(pulLen != nullptr)
        .call([&] {
            refreshDevInfo();
            copyText(devInfo.Label, sizeof devInfo.Label, label, pulLen);
            return SAR_OK;
        });
}

uint32_t UKeyAdaptorSKF::GetKeySerialNumber(char *serial, uint32_t *pulLen)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::GetKeySerialNumber")).params(pulLen != nullptr).call([&] {
        copyText(devInfo.SerialNumber, sizeof devInfo.SerialNumber, serial, pulLen);
        return SAR_OK;
    });
}

uint32_t UKeyAdaptorSKF::GetKeyTotalSpace(uint32_t *pulTotal)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::GetKeyTotalSpace")).needs(skf().SKF_GetDevInfo).call([&] {
        const uint32_t result = refreshDevInfo();
        if (pulTotal)
            *pulTotal = devInfo.TotalSpace;
        return result;
    });
}

uint32_t UKeyAdaptorSKF::GetKeyFreeSpace(uint32_t *pulFree)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::GetKeyFreeSpace")).needs(skf().SKF_GetDevInfo).call([&] {
        const uint32_t result = refreshDevInfo();
        if (pulFree)
            *pulFree = devInfo.FreeSpace;
        return result;
    });
}

uint32_t UKeyAdaptorSKF::GetDevInfo(DEVINFO *pInfo, uint32_t *pulLen)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::GetDevInfo"))
        .handles(m_hApp != nullptr, kEndInvalidHandleBlank)
        .call([&] {
            if (pInfo)
                std::memcpy(pInfo, &devInfo, sizeof devInfo);
            if (pulLen)
                *pulLen = sizeof devInfo;
            return SAR_OK;
        });
}

uint32_t UKeyAdaptorSKF::SetLabel(const char *label)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::SetLabel");
    return Operation(site)
        .needs(skf().SKF_SetLabel)
        .handles(m_hApp != nullptr, kEndInvalidHandleBlank)
        .params(label != nullptr)
        .call([&] {
            const uint32_t result = m_hDev ? skf().SKF_SetLabel(m_hDev, label) : SAR_FAIL;
            if (result == SAR_OK) {
                site(" SetLabel is successfully");
                site(" Changed DevInfo");
                std::memset(devInfo.Label, 0, sizeof devInfo.Label);
                std::memcpy(devInfo.Label, label, fieldLength(label, sizeof devInfo.Label));
            }
            return result;
        });
}

} // namespace ukey
