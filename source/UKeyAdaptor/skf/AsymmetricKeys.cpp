#include <QByteArray>
#include <cstring>

#include "library/SkfEntryPoints.h"
#include "skf/Guard.h"
#include "skf/UKeyAdaptorSKF.h"

namespace ukey {
namespace {

// The vendor writes into a zero-filled working copy; the host gets the whole structure only on
// success, and its length variable is written, never read as a capacity.
template <typename Blob, typename VendorCall>
uint32_t intoWorkingCopy(void *hostBuffer, uint32_t *hostLen, VendorCall vendorCall)
{
    Blob working{};
    const uint32_t result = vendorCall(&working);
    if (result == SAR_OK) {
        if (hostBuffer)
            std::memcpy(hostBuffer, &working, sizeof working);
        if (hostLen)
            *hostLen = sizeof working;
    }
    return result;
}

} // namespace

uint32_t UKeyAdaptorSKF::GenRSAKeyPair(HCONTAINER hContainer, uint32_t bits, RSAPUBLICKEYBLOB *blob, uint32_t *blobLen)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::GenRSAKeyPair"))
        .needs(skf().SKF_GenRSAKeyPair)
        .handles(m_hApp && hContainer)
        .call([&] {
            return intoWorkingCopy<RSAPUBLICKEYBLOB>(blob, blobLen, [&](RSAPUBLICKEYBLOB *working) {
                return skf().SKF_GenRSAKeyPair(hContainer, bits, working);
            });
        });
}

uint32_t UKeyAdaptorSKF::ImportRSAKeyPair(HCONTAINER hContainer, uint32_t symAlgId, const uint8_t *wrappedKey,
                                          uint32_t wrappedKeyLen, const uint8_t *encryptedData,
                                          uint32_t encryptedDataLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::ImportRSAKeyPair"), skf().SKF_ImportRSAKeyPair, m_hApp && hContainer,
                       kEndInvalidHandle, hContainer, symAlgId, wrappedKey, wrappedKeyLen, encryptedData,
                       encryptedDataLen);
}

uint32_t UKeyAdaptorSKF::RSASignData(HCONTAINER hContainer, const uint8_t *data, uint32_t dataLen, uint8_t *signature,
                                     uint32_t *signLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::RSASignData"), skf().SKF_RSASignData, m_hApp && hContainer,
                       kEndInvalidHandle, hContainer, data, dataLen, signature, signLen);
}

uint32_t UKeyAdaptorSKF::RSAVerify(const RSAPUBLICKEYBLOB *blob, uint32_t blobLen, const uint8_t *data,
                                   uint32_t dataLen, const uint8_t *signature, uint32_t signLen)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::RSAVerify"))
        .needs(skf().SKF_RSAVerify)
        .handles(m_hDev != nullptr)
        .params(blob && blobLen == sizeof(RSAPUBLICKEYBLOB))
        .call([&] { return skf().SKF_RSAVerify(m_hDev, blob, data, dataLen, signature, signLen); });
}

uint32_t UKeyAdaptorSKF::GenECCKeyPair(HCONTAINER hContainer, uint32_t algId, ECCPUBLICKEYBLOB *blob, uint32_t *blobLen)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::GenECCKeyPair"))
        .needs(skf().SKF_GenECCKeyPair)
        .handles(m_hApp && hContainer)
        .call([&] {
            return intoWorkingCopy<ECCPUBLICKEYBLOB>(blob, blobLen, [&](ECCPUBLICKEYBLOB *working) {
                return skf().SKF_GenECCKeyPair(hContainer, algId, working);
            });
        });
}

uint32_t UKeyAdaptorSKF::ImportECCKeyPair(HCONTAINER hContainer, const ENVELOPEDKEYBLOB *blob, uint32_t blobLen)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::ImportECCKeyPair");
    Operation op(site);
    if (const Refusal refused = op.needs(skf().SKF_ImportECCKeyPair).refusal())
        return *refused;
    // Both missing handles are reported before the verdict.
    if (!m_hApp)
        site("end.m_hApp is NULL");
    if (!hContainer)
        site("end.hContainer is NULL");
    return op.handles(m_hApp && hContainer).params(blobLen == sizeof(ENVELOPEDKEYBLOB)).call([&] {
        return skf().SKF_ImportECCKeyPair(hContainer, blob);
    });
}

uint32_t UKeyAdaptorSKF::ECCSignData(HCONTAINER hContainer, const uint8_t *data, uint32_t dataLen,
                                     ECCSIGNATUREBLOB *signature, uint32_t *signLen)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::ECCSignData"))
        .needs(skf().SKF_ECCSignData)
        .handles(m_hApp && hContainer)
        .call([&] {
            return intoWorkingCopy<ECCSIGNATUREBLOB>(signature, signLen, [&](ECCSIGNATUREBLOB *working) {
                return skf().SKF_ECCSignData(hContainer, data, dataLen, working);
            });
        });
}

uint32_t UKeyAdaptorSKF::ECCVerify(const ECCPUBLICKEYBLOB *pub, uint32_t pubLen, const uint8_t *data, uint32_t dataLen,
                                   const ECCSIGNATUREBLOB *signature, uint32_t signLen)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::ECCVerify"))
        .needs(skf().SKF_ECCVerify)
        .handles(m_hDev != nullptr)
        .params(pub && pubLen == sizeof(ECCPUBLICKEYBLOB) && signature && signLen == sizeof(ECCSIGNATUREBLOB))
        .call([&] { return skf().SKF_ECCVerify(m_hDev, pub, data, dataLen, signature); });
}

uint32_t UKeyAdaptorSKF::ExportPublicKey(HCONTAINER hContainer, int32_t signFlag, uint8_t *blob, uint32_t *blobLen)
{
    // Unlike the certificate operations, the flag is normalised to the standard's TRUE.
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::ExportPublicKey"), skf().SKF_ExportPublicKey, m_hDev && hContainer,
                       kEndInvalidHandle, hContainer, signFlag != 0 ? 1 : 0, blob, blobLen);
}

uint32_t UKeyAdaptorSKF::ECCExportSessionKey(HCONTAINER hContainer, uint32_t algId, const ECCPUBLICKEYBLOB *pub,
                                             uint32_t pubLen, uint8_t *cipherBlob, uint32_t *cipherLen,
                                             SKF_HANDLE *phKey)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::ECCExportSessionKey");
    return Operation(site)
        .needs(skf().SKF_ECCExportSessionKey)
        .handles(m_hApp && hContainer)
        .params(pub && pubLen == sizeof(ECCPUBLICKEYBLOB))
        .call([&] {
            // Room for a cipher longer than the declared structure holds.
            alignas(ECCCIPHERBLOB) uint8_t buffer[SKF_ECC_CIPHER_BLOB_BUFFER_LEN] = {};
            if (trace::enabled()) {
                const QByteArray base64 = QByteArray(reinterpret_cast<const char *>(buffer), sizeof buffer).toBase64();
                site.atLevel(3, {" pstEccCipherBlob = ", base64.constData()});
            }
            const uint32_t result =
                skf().SKF_ECCExportSessionKey(hContainer, algId, pub, reinterpret_cast<ECCCIPHERBLOB *>(buffer), phKey);
            if (result == SAR_OK) {
                if (cipherLen)
                    *cipherLen = sizeof buffer;
                if (cipherBlob)
                    std::memcpy(cipherBlob, buffer, sizeof buffer);
            }
            return result;
        });
}

} // namespace ukey
