// "skf_szca_ft3003": SKF for everything, PKCS#11 from the same library for the token session,
// the RSA unwrapping of session keys and the seal records kept as data objects.
#include <QString>
#include <string>

#include "library/NDMLibrary.h"
#include "library/Pkcs11Token.h"
#include "library/SkfEntryPoints.h"
#include "variants/Catalogue.h"
#include "variants/SealRecords.h"
#include "variants/SessionKeys.h"
#include "variants/Stamping.h"

namespace ukey {

using pkcs11::kUnset;
using pkcs11::resultCode;

constexpr uint32_t kRsaContainer = 1;

inline constexpr VariantId kSzcaRsaId{"UKeyAdaptorSKF_SZCA_RSA", "skf_szca_ft3003", "szca_ft3003", SerialOp::Generic};

class UKeyAdaptorSKF_SZCA_RSA final : public Variant<kSzcaRsaId, Stamped, SealRecordReads, PseudoKeyDecryptInit> {
public:
    static uint32_t LoadSKFP11Dll(const char *, const char *libraryPath)
    {
        UKEY_SITE("UKeyAdaptorSKF_SZCA_RSA::LoadSKFP11Dll")("start");
        clearPkcs11();
        if (loadSkfLibrary(libraryPath, LoadRetry::None) != 1)
            return 0;
        resolvePkcs11(currentVendorLibrary());
        if (p11().C_Initialize)
            p11().C_Initialize(nullptr);
        return 1;
    }

    static uint32_t UnloadSKFP11Dll(const char *)
    {
        if (p11().C_Finalize)
            p11().C_Finalize(nullptr);
        clearPkcs11();
        const auto site = UKEY_SITE("UKeyAdaptorSKF_SZCA_RSA::UnloadSKFP11Dll");
        site("start");
        unloadSkfLibrary();
        site("end");
        return SAR_OK;
    }

    static constexpr LoadLibraryOp load = &LoadSKFP11Dll;
    static constexpr UnloadLibraryOp unload = &UnloadSKFP11Dll;

    uint32_t ConnectDev(const char *devName) override
    {
        const auto site = UKEY_SITE("UKeyAdaptorSKF_SZCA_RSA::ConnectDev");
        const Pkcs11EntryPoints &ck = p11();
        Operation op(site);
        if (const Refusal refused = op.needs(ck.C_GetSlotList, ck.C_GetTokenInfo, ck.C_OpenSession).refusal())
            return *refused;
        uint32_t result = UKeyAdaptorSKF::ConnectDev(devName);
        if (result == SAR_OK) {
            stamp();
            const CK_RV rv = pkcs11::openSessionBySerial(ck, devInfo.get().SerialNumber, slotId, hSession);
            result = hSession == kUnset ? SAR_FAIL : resultCode(rv);
        }
        site("End");
        return result;
    }

    uint32_t DisConnectDev() override
    {
        const auto site = UKEY_SITE("UKeyAdaptorSKF_SZCA_RSA::DisConnectDev");
        site("start");
        // A session whose library is gone is forgotten; the SKF side still closes.
        if (hSession != kUnset) {
            if (const auto closeSession = p11().C_CloseSession)
                closeSession(hSession);
            hSession = kUnset;
        }
        const uint32_t result = UKeyAdaptorSKF::DisConnectDev();
        site("end");
        return result;
    }

    uint32_t VerifyPIN(uint32_t pinType, const char *pin, uint32_t *retry) override
    {
        const auto site = UKEY_SITE("UKeyAdaptorSKF_SZCA_RSA::VerifyPIN");
        site("start");
        userPin = pin ? pin : "";
        const uint32_t result = UKeyAdaptorSKF::VerifyPIN(pinType, pin, retry);
        site("end");
        return result;
    }

    uint32_t ImportSessionKeyWithKeyEx(HCONTAINER hContainer, uintptr_t, const uint8_t *wrapped, uint32_t wrappedLen,
                                       uint32_t *phKey, uint8_t *plain, uint32_t *plainLen) override
    {
        const auto site = UKEY_SITE("UKeyAdaptorSKF_SZCA_RSA::ImportSessionKeyWithKeyEx");
        const Pkcs11EntryPoints &ck = p11();
        Operation op(site);
        if (const Refusal refused =
                op.needs(skf().SKF_GetContainerType, ck.C_Login, ck.C_FindObjectsInit, ck.C_FindObjects,
                         ck.C_GetAttributeValue, ck.C_FindObjectsFinal, ck.C_DecryptInit, ck.C_Decrypt)
                    .refusal())
            return *refused;

        uint32_t type = 0;
        skf().SKF_GetContainerType(hContainer, &type);
        uint32_t result = 1;
        if (type == kRsaContainer) {
            if (!pkcs11::loginUser(ck, hSession, userPin))
                return SAR_PIN_INCORRECT;
            const pkcs11::KeySearch search = pkcs11::findDecryptionKey(ck, hSession);
            if (!search.started)
                return resultCode(search.rv);
            result = resultCode(search.key == CK_INVALID_HANDLE ? search.rv
                                                                : pkcs11::decryptInto(ck, hSession, search.key, wrapped,
                                                                                      wrappedLen, plain, plainLen));
        }
        if (phKey)
            *phKey = KXF_PSEUDO_KEY_HANDLE;
        site("end");
        return result;
    }

    // Seal records come from the token's data objects; a call with a list buffer starts afresh.
    uint32_t EnumFiles(char *fileList, uint32_t *pulSize) override
    {
        const auto site = shapeSite<kSzcaRsaId, opname::EnumFiles>(__LINE__);
        const Pkcs11EntryPoints &ck = p11();
        Operation op(site);
        if (const Refusal refused = sealListingRefusal(op.needs(ck.C_Login, ck.C_FindObjectsInit, ck.C_FindObjects,
                                                                ck.C_GetAttributeValue, ck.C_FindObjectsFinal),
                                                       m_hApp))
            return *refused;
        return sealRecordEnumFiles(
            site, m_hApp, seal, {"szca_rsa", SealReset::WhenListGiven},
            [this, &ck](SealRecords &records) {
                pkcs11::loginUser(ck, hSession, userPin); // refusal shows in the listing itself
                return resultCode(pkcs11::readDataObjects(ck, hSession, records));
            },
            fileList, pulSize);
    }

protected:
    void forgetVendorHandles() override
    {
        slotId = kUnset;
        hSession = kUnset;
        UKeyAdaptorSKF::forgetVendorHandles();
    }

private:
    CK_SLOT_ID slotId = kUnset;
    CK_SESSION_HANDLE hSession = kUnset;
    std::string userPin;
};

const AdaptorTypeOps variants::kSzcaRsa = typeOps<UKeyAdaptorSKF_SZCA_RSA>();

} // namespace ukey
