// "skf_szca_ft3003": SKF for everything, PKCS#11 from the same library for the token session,
// the RSA unwrapping of session keys and the seal records kept as data objects.
#include <QString>
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "library/NDMLibrary.h"
#include "library/Pkcs11EntryPoints.h"
#include "library/SkfEntryPoints.h"
#include "variants/Catalogue.h"
#include "variants/SealRecords.h"
#include "variants/SessionKeys.h"
#include "variants/Stamping.h"

namespace ukey {
namespace {

constexpr CK_ULONG kUnset = 0xFFFFFFFFu;
constexpr size_t kSerialCompared = 16;
constexpr uint32_t kRsaContainer = 1;
// A data object claiming more than this is not believed; nothing that large is a seal.
constexpr CK_ULONG kMaxRecordLength = 16u * 1024u * 1024u;

uint32_t ckResult(CK_RV rv)
{
    return static_cast<uint32_t>(rv);
}

} // namespace

inline constexpr VariantId kSzcaRsaId{"UKeyAdaptorSKF_SZCA_RSA", "skf_szca_ft3003", "szca_ft3003"};

class UKeyAdaptorSKF_SZCA_RSA final : public Variant<kSzcaRsaId, Stamped, SealRecordReads, PseudoKeyDecryptInit> {
public:
    static uint32_t LoadSKFP11Dll(const char *, const char *libraryPath)
    {
        UKEY_TRACE("UKeyAdaptorSKF_SZCA_RSA::LoadSKFP11Dll", "start");
        clearPkcs11();
        const bool loaded = resolveAll(QString::fromLocal8Bit(libraryPath ? libraryPath : "")) == 1;
        setSkfLibraryLoaded(loaded);
        if (!loaded)
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
        if (skfLibraryLoaded())
            releaseSkfLibrary();
        setSkfLibraryLoaded(false);
        site("end");
        return SAR_OK;
    }

    uint32_t ConnectDev(const char *devName) override
    {
        const auto site = UKEY_SITE("UKeyAdaptorSKF_SZCA_RSA::ConnectDev");
        const Pkcs11EntryPoints &ck = p11();
        Operation op(site);
        if (op.needs(ck.C_GetSlotList, ck.C_GetTokenInfo, ck.C_OpenSession).failed())
            return op.code();
        uint32_t result = UKeyAdaptorSKF::ConnectDev(devName);
        if (result == SAR_OK) {
            stamp();
            result = openTokenSession(ck);
        }
        site("End");
        return result;
    }

    uint32_t DisConnectDev() override
    {
        const auto site = UKEY_SITE("UKeyAdaptorSKF_SZCA_RSA::DisConnectDev");
        const Pkcs11EntryPoints &ck = p11();
        Operation op(site);
        if (op.needs(ck.C_CloseSession).failed())
            return op.code();
        if (hSession != kUnset) {
            ck.C_CloseSession(hSession);
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
        if (op.needs(skf().SKF_GetContainerType, ck.C_Login, ck.C_FindObjectsInit, ck.C_FindObjects,
                     ck.C_GetAttributeValue, ck.C_FindObjectsFinal, ck.C_DecryptInit, ck.C_Decrypt)
                .failed())
            return op.code();

        uint32_t type = 0;
        skf().SKF_GetContainerType(hContainer, &type);
        uint32_t result = 1;
        if (type == kRsaContainer) {
            if (!login(ck, true))
                return SAR_PIN_INCORRECT;
            CK_OBJECT_CLASS keyClass = CKO_PRIVATE_KEY;
            CK_ATTRIBUTE query{CKA_CLASS, &keyClass, sizeof keyClass};
            CK_RV rv = ck.C_FindObjectsInit(hSession, &query, 1);
            if (rv != CKR_OK)
                return ckResult(rv);
            CK_OBJECT_HANDLE key = CK_INVALID_HANDLE;
            bool found = false;
            while (!found) {
                CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
                CK_ULONG count = 0;
                rv = ck.C_FindObjects(hSession, &object, 1, &count);
                if (rv != CKR_OK || count != 1)
                    break;
                CK_BBOOL canDecrypt = CK_FALSE;
                CK_ATTRIBUTE usage{CKA_DECRYPT, &canDecrypt, sizeof canDecrypt};
                rv = ck.C_GetAttributeValue(hSession, object, &usage, 1);
                if (rv == CKR_OK && canDecrypt == CK_TRUE) {
                    key = object;
                    found = true;
                }
            }
            ck.C_FindObjectsFinal(hSession);
            if (found)
                rv = decrypt(ck, key, wrapped, wrappedLen, plain, plainLen);
            result = ckResult(rv);
        }
        if (phKey)
            *phKey = KXF_PSEUDO_KEY_HANDLE;
        site("end");
        return result;
    }

    // Seal records come from the token's data objects; a call with a list buffer starts afresh.
    uint32_t EnumFiles(char *fileList, uint32_t *pulSize) override
    {
        const ShapeSite site(kSzcaRsaId, "EnumFiles", __LINE__);
        const Pkcs11EntryPoints &ck = p11();
        Operation op(site);
        op.needs(ck.C_Login, ck.C_FindObjectsInit, ck.C_FindObjects, ck.C_GetAttributeValue, ck.C_FindObjectsFinal);
        return sealRecordEnumFiles(
            op, m_hApp, seal, {"szca_rsa", SealReset::WhenListGiven},
            [this](SealRecords &records) { return readDataObjects(records); }, fileList, pulSize);
    }

private:
    // Finds the token whose serial number is the key's and opens a session on it.
    uint32_t openTokenSession(const Pkcs11EntryPoints &ck)
    {
        CK_RV rv = CKR_OK;
        CK_ULONG count = 0;
        if (ck.C_GetSlotList(CK_TRUE, nullptr, &count) == CKR_OK && count > 0) {
            std::vector<CK_SLOT_ID> slots;
            try {
                slots.resize(count);
            } catch (const std::bad_alloc &) {
                return SAR_FAIL;
            }
            CK_ULONG filled = count;
            if (ck.C_GetSlotList(CK_TRUE, slots.data(), &filled) == CKR_OK) {
                for (CK_ULONG i = 0; i < std::min(filled, count); ++i) {
                    CK_TOKEN_INFO info;
                    std::memset(&info, 0, sizeof info);
                    ck.C_GetTokenInfo(slots[i], &info);
                    static_assert(sizeof info.serialNumber == kSerialCompared, "token serial field");
                    if (std::memcmp(info.serialNumber, devInfo.SerialNumber, kSerialCompared) == 0) {
                        slotId = slots[i];
                        rv = ck.C_OpenSession(slots[i], CKF_RW_SESSION | CKF_SERIAL_SESSION, nullptr, nullptr,
                                              &hSession);
                        break;
                    }
                }
            }
        }
        return hSession == kUnset ? SAR_FAIL : ckResult(rv);
    }

    // False when there is no PIN to log in with or the token refuses it (and refusal counts).
    bool login(const Pkcs11EntryPoints &ck, bool refusalCounts)
    {
        if (userPin.empty())
            return false;
        std::vector<CK_UTF8CHAR> pin(userPin.begin(), userPin.end());
        const CK_RV rv = ck.C_Login(hSession, CKU_USER, pin.data(), pin.size());
        return !refusalCounts || rv == CKR_OK || rv == CKR_USER_ALREADY_LOGGED_IN;
    }

    // The token writes straight into the host's buffer, bounded by the host's stated length.
    CK_RV decrypt(const Pkcs11EntryPoints &ck, CK_OBJECT_HANDLE key, const uint8_t *wrapped, uint32_t wrappedLen,
                  uint8_t *plain, uint32_t *plainLen)
    {
        CK_MECHANISM mechanism{CKM_RSA_PKCS, nullptr, 0};
        ck.C_DecryptInit(hSession, &mechanism, key);
        const CK_ULONG capacity = plainLen ? *plainLen : 0;
        CK_ULONG length = capacity;
        const CK_RV rv = ck.C_Decrypt(hSession, const_cast<CK_BYTE *>(wrapped), wrappedLen, plain, &length);
        // A token claiming to have written more than it was given is not repeated to the host.
        if (plain && rv == CKR_OK)
            length = std::min(length, capacity);
        if (plainLen)
            *plainLen = static_cast<uint32_t>(std::min<CK_ULONG>(length, std::numeric_limits<uint32_t>::max()));
        return rv;
    }

    // Appends the token's data objects to the seal records; SAR_OK or the PKCS#11 failure.
    uint32_t readDataObjects(SealRecords &records)
    {
        const Pkcs11EntryPoints &ck = p11();
        login(ck, false);
        CK_OBJECT_CLASS dataClass = CKO_DATA;
        CK_BBOOL onToken = CK_TRUE;
        CK_ATTRIBUTE query[] = {{CKA_CLASS, &dataClass, sizeof dataClass}, {CKA_TOKEN, &onToken, sizeof onToken}};
        CK_RV rv = ck.C_FindObjectsInit(hSession, query, 2);
        if (rv != CKR_OK)
            return ckResult(rv);
        rv = CKR_OK;
        for (;;) {
            CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
            CK_ULONG count = 0;
            if (ck.C_FindObjects(hSession, &object, 1, &count) != CKR_OK || count != 1)
                break;
            CK_ATTRIBUTE attributes[] = {{CKA_CLASS, nullptr, 0}, {CKA_LABEL, nullptr, 0}, {CKA_VALUE, nullptr, 0}};
            if (ck.C_GetAttributeValue(hSession, object, attributes, 3) != CKR_OK)
                break;
            const CK_ULONG length = attributes[2].ulValueLen;
            std::vector<CK_BYTE> value;
            try {
                if (length > kMaxRecordLength)
                    throw std::bad_alloc();
                value.assign(length + 1, 0);
            } catch (const std::bad_alloc &) {
                rv = CKR_HOST_MEMORY;
                break;
            }
            attributes[2].pValue = value.data();
            attributes[2].ulValueLen = value.size();
            if (ck.C_GetAttributeValue(hSession, object, attributes, 3) == CKR_OK) {
                const size_t got = std::min<CK_ULONG>(attributes[2].ulValueLen, length);
                records.emplace_back(reinterpret_cast<const char *>(value.data()), got);
            }
        }
        ck.C_FindObjectsFinal(hSession);
        return ckResult(rv);
    }

    CK_SLOT_ID slotId = kUnset;
    CK_SESSION_HANDLE hSession = kUnset;
    std::string userPin;
};

const AdaptorTypeOps variants::kSzcaRsa = typeOps<UKeyAdaptorSKF_SZCA_RSA>(
    SerialOp::Generic, &createOwnType<UKeyAdaptorSKF_SZCA_RSA>, &UKeyAdaptorSKF_SZCA_RSA::LoadSKFP11Dll,
    &UKeyAdaptorSKF_SZCA_RSA::UnloadSKFP11Dll);

} // namespace ukey
