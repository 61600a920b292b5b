#include <cstring>

#include "library/SkfEntryPoints.h"
#include "skf/Guard.h"
#include "skf/UKeyAdaptorSKF.h"

namespace ukey {
namespace {

// The vendor takes the parameters by value: a null pointer means all zero; any length but the
// structure's own is refused rather than guessed at.
bool cipherParamAcceptable(const BLOCKCIPHERPARAM *param, uint32_t paramLen)
{
    return !param || paramLen == sizeof(BLOCKCIPHERPARAM);
}

BLOCKCIPHERPARAM cipherParamCopy(const BLOCKCIPHERPARAM *param)
{
    BLOCKCIPHERPARAM copy{};
    if (param)
        std::memcpy(&copy, param, sizeof copy);
    return copy;
}

} // namespace

uint32_t UKeyAdaptorSKF::ImportSessionKey(HCONTAINER hContainer, uint32_t algId, const uint8_t *wrapped,
                                          uint32_t wrappedLen, SKF_HANDLE *phKey)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::ImportSessionKey"), skf().SKF_ImportSessionKey, m_hDev && hContainer,
                       kEndInvalidHandle, hContainer, algId, wrapped, wrappedLen, phKey);
}

uint32_t UKeyAdaptorSKF::EncryptInit(SKF_HANDLE hKey, const BLOCKCIPHERPARAM *param, uint32_t paramLen)
{
    // A handle failure is not traced here, unlike DecryptInit.
    return Operation(UKEY_SITE("UKeyAdaptorSKF::EncryptInit"))
        .needs(skf().SKF_EncryptInit)
        .handles(m_hDev && hKey, nullptr)
        .params(cipherParamAcceptable(param, paramLen))
        .call([&] { return skf().SKF_EncryptInit(hKey, cipherParamCopy(param)); });
}

uint32_t UKeyAdaptorSKF::Encrypt(SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out, uint32_t *outLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::Encrypt"), skf().SKF_Encrypt, m_hDev && hKey, kEndInvalidHandle, hKey,
                       data, dataLen, out, outLen);
}

uint32_t UKeyAdaptorSKF::EncryptUpdate(SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                                       uint32_t *outLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::EncryptUpdate"), skf().SKF_EncryptUpdate, m_hDev && hKey,
                       kEndInvalidHandle, hKey, data, dataLen, out, outLen);
}

uint32_t UKeyAdaptorSKF::EncryptFinal(SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::EncryptFinal"), skf().SKF_EncryptFinal, m_hDev && hKey,
                       kEndInvalidHandle, hKey, out, outLen);
}

uint32_t UKeyAdaptorSKF::DecryptInit(SKF_HANDLE hKey, const BLOCKCIPHERPARAM *param, uint32_t paramLen)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::DecryptInit"))
        .needs(skf().SKF_DecryptInit)
        .handles(m_hDev && hKey)
        .params(cipherParamAcceptable(param, paramLen))
        .call([&] { return skf().SKF_DecryptInit(hKey, cipherParamCopy(param)); });
}

uint32_t UKeyAdaptorSKF::Decrypt(SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out, uint32_t *outLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::Decrypt"), skf().SKF_Decrypt, m_hDev && hKey, kEndInvalidHandle, hKey,
                       data, dataLen, out, outLen);
}

uint32_t UKeyAdaptorSKF::DecryptUpdate(SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                                       uint32_t *outLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::DecryptUpdate"), skf().SKF_DecryptUpdate, m_hDev && hKey,
                       kEndInvalidHandle, hKey, data, dataLen, out, outLen);
}

uint32_t UKeyAdaptorSKF::DecryptFinal(SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::DecryptFinal"), skf().SKF_DecryptFinal, m_hDev && hKey,
                       kEndInvalidHandle, hKey, out, outLen);
}

// Only the variants give this a meaning.
uint32_t UKeyAdaptorSKF::ImportSessionKeyWithKeyEx(HCONTAINER, uintptr_t, const uint8_t *, uint32_t, uint32_t *phKey,
                                                   uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::ImportSessionKeyWithKeyEx");
    site("start");
    site("end");
    if (phKey)
        *phKey = 0;
    return SAR_NOTSUPPORTYETERR;
}

} // namespace ukey
