#include "library/SkfEntryPoints.h"
#include "skf/Guard.h"
#include "skf/UKeyAdaptorSKF.h"

namespace ukey {

// The words are the vendor extension's; the adaptor neither reads nor sizes what they point to.

uint32_t UKeyAdaptorSKF::EPS_ImportSymmKey(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5)
{
    // Tests the device although the vendor call takes no handle.
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::EPS_ImportSymmKey"), skf().EPS_ImportSymmKey, m_hDev != nullptr,
                       kEndInvalidHandle, a1, a2, a3, a4, a5);
}

uint32_t UKeyAdaptorSKF::EPS_WriteESealData(uintptr_t a1, uintptr_t a2, uintptr_t a3)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::EPS_WriteESealData"), skf().EPS_WriteESealData, m_hApp != nullptr,
                       kEndInvalidHandle, m_hApp, a1, a2, a3);
}

uint32_t UKeyAdaptorSKF::EPS_ReadESealData(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::EPS_ReadESealData"), skf().EPS_ReadESealData, m_hApp != nullptr,
                       kEndInvalidHandle, m_hApp, a1, a2, a3, a4, a5);
}

} // namespace ukey
