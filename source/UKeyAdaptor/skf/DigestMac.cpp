#include <cstring>

#include "library/SkfEntryPoints.h"
#include "skf/Guard.h"
#include "skf/UKeyAdaptorSKF.h"

namespace ukey {

// Every operation here needs a connected key; hash, MAC and key handles are the vendor's to judge.

uint32_t UKeyAdaptorSKF::DigestInit(uint32_t algId, const ECCPUBLICKEYBLOB *pub, uint32_t pubLen, const uint8_t *id,
                                    uint32_t idLen, SKF_HANDLE *phHash)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::DigestInit"))
        .needs(skf().SKF_DigestInit)
        .handles(m_hDev != nullptr)
        .params(!pub || pubLen == sizeof(ECCPUBLICKEYBLOB))
        .call([&] {
            // The vendor sees a copy; without a public key it sees none, the standard's "no signer".
            ECCPUBLICKEYBLOB working{};
            if (pub)
                std::memcpy(&working, pub, sizeof working);
            return skf().SKF_DigestInit(m_hDev, algId, pub ? &working : nullptr, id, idLen, phHash);
        });
}

uint32_t UKeyAdaptorSKF::Digest(SKF_HANDLE hHash, const uint8_t *data, uint32_t dataLen, uint8_t *digest,
                                uint32_t *digestLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::Digest"), skf().SKF_Digest, m_hDev != nullptr, kEndInvalidHandle,
                       hHash, data, dataLen, digest, digestLen);
}

uint32_t UKeyAdaptorSKF::DigestUpdate(SKF_HANDLE hHash, const uint8_t *data, uint32_t dataLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::DigestUpdate"), skf().SKF_DigestUpdate, m_hDev != nullptr,
                       kEndInvalidHandle, hHash, data, dataLen);
}

uint32_t UKeyAdaptorSKF::DigestFinal(SKF_HANDLE hHash, uint8_t *digest, uint32_t *digestLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::DigestFinal"), skf().SKF_DigestFinal, m_hDev != nullptr,
                       kEndInvalidHandle, hHash, digest, digestLen);
}

uint32_t UKeyAdaptorSKF::MacInit(SKF_HANDLE hKey, BLOCKCIPHERPARAM *param, uint32_t /*paramLen*/, SKF_HANDLE *phMac)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::MacInit"), skf().SKF_MacInit, m_hDev != nullptr, kEndInvalidHandle,
                       hKey, param, phMac);
}

uint32_t UKeyAdaptorSKF::Mac(SKF_HANDLE hMac, const uint8_t *data, uint32_t dataLen, uint8_t *mac, uint32_t *macLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::Mac"), skf().SKF_Mac, m_hDev != nullptr, kEndInvalidHandle, hMac,
                       data, dataLen, mac, macLen);
}

uint32_t UKeyAdaptorSKF::MacUpdate(SKF_HANDLE hMac, const uint8_t *data, uint32_t dataLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::MacUpdate"), skf().SKF_MacUpdate, m_hDev != nullptr,
                       kEndInvalidHandle, hMac, data, dataLen);
}

uint32_t UKeyAdaptorSKF::MacFinal(SKF_HANDLE hMac, uint8_t *mac, uint32_t *macLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::MacFinal"), skf().SKF_MacFinal, m_hDev != nullptr, kEndInvalidHandle,
                       hMac, mac, macLen);
}

uint32_t UKeyAdaptorSKF::CloseHandle(SKF_HANDLE hHandle)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::CloseHandle"), skf().SKF_CloseHandle, m_hDev != nullptr,
                       kEndInvalidHandle, hHandle);
}

} // namespace ukey
