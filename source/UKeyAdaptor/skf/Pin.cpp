#include "library/SkfEntryPoints.h"
#include "skf/Guard.h"
#include "skf/UKeyAdaptorSKF.h"

namespace ukey {

uint32_t UKeyAdaptorSKF::ChangePIN(uint32_t pinType, const char *oldPin, const char *newPin, uint32_t *retry)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::ChangePIN"), skf().SKF_ChangePIN, m_hApp != nullptr,
                       kEndInvalidHandleBlank, m_hApp, pinType, oldPin, newPin, retry);
}

uint32_t UKeyAdaptorSKF::VerifyPIN(uint32_t pinType, const char *pin, uint32_t *retry)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::VerifyPIN"), skf().SKF_VerifyPIN, m_hApp != nullptr,
                       kEndInvalidHandle, m_hApp, pinType, pin, retry);
}

uint32_t UKeyAdaptorSKF::GetPINInfo(uint32_t pinType, uint32_t *maxRetry, uint32_t *remainRetry, int32_t *isDefault)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::GetPINInfo"), skf().SKF_GetPINInfo, m_hApp != nullptr,
                       kEndInvalidHandle, m_hApp, pinType, maxRetry, remainRetry, isDefault);
}

uint32_t UKeyAdaptorSKF::UnblockPIN(const char *adminPin, const char *newUserPin, uint32_t *retry)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::UnblockPIN"), skf().SKF_UnblockPIN, m_hApp != nullptr,
                       kEndInvalidHandle, m_hApp, adminPin, newUserPin, retry);
}

} // namespace ukey
