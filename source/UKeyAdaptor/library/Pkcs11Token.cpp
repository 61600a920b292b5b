#include "library/Pkcs11Token.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace ukey::pkcs11 {
namespace {

constexpr size_t kSerialCompared = 16;
// A token reporting more slots than this is not believed; no real one comes near.
constexpr CK_ULONG kMaxSlots = 65536;
// A search is not followed past this many objects: a token that never stops finding would
// otherwise hold the host and its memory for ever.
constexpr CK_ULONG kMaxObjects = 4096;
// A data object claiming more than this is not believed; nothing that large is a seal.
constexpr CK_ULONG kMaxValueLength = 16u * 1024u * 1024u;

} // namespace

CK_RV openSessionBySerial(const Pkcs11EntryPoints &ck, const char *skfSerial, CK_SLOT_ID &slotId,
                          CK_SESSION_HANDLE &hSession)
{
    CK_ULONG count = 0;
    if (ck.C_GetSlotList(CK_TRUE, nullptr, &count) != CKR_OK || count == 0)
        return CKR_OK;
    if (count > kMaxSlots)
        return CKR_HOST_MEMORY; // as a failed allocation
    std::vector<CK_SLOT_ID> slots;
    try {
        slots.resize(count);
    } catch (const std::bad_alloc &) {
        return CKR_HOST_MEMORY;
    }
    CK_ULONG filled = count;
    if (ck.C_GetSlotList(CK_TRUE, slots.data(), &filled) != CKR_OK)
        return CKR_OK;
    for (CK_ULONG i = 0; i < std::min(filled, count); ++i) {
        CK_TOKEN_INFO info;
        std::memset(&info, 0, sizeof info);
        ck.C_GetTokenInfo(slots[i], &info);
        static_assert(sizeof info.serialNumber == kSerialCompared, "token serial field");
        if (std::memcmp(info.serialNumber, skfSerial, kSerialCompared) == 0) {
            slotId = slots[i];
            return ck.C_OpenSession(slots[i], CKF_RW_SESSION | CKF_SERIAL_SESSION, nullptr, nullptr, &hSession);
        }
    }
    return CKR_OK;
}

bool loginUser(const Pkcs11EntryPoints &ck, CK_SESSION_HANDLE hSession, const std::string &pin)
{
    if (pin.empty())
        return false;
    std::vector<CK_UTF8CHAR> text(pin.begin(), pin.end());
    const CK_RV rv = ck.C_Login(hSession, CKU_USER, text.data(), text.size());
    return rv == CKR_OK || rv == CKR_USER_ALREADY_LOGGED_IN;
}

KeySearch findDecryptionKey(const Pkcs11EntryPoints &ck, CK_SESSION_HANDLE hSession)
{
    CK_OBJECT_CLASS keyClass = CKO_PRIVATE_KEY;
    CK_ATTRIBUTE query{CKA_CLASS, &keyClass, sizeof keyClass};
    CK_RV rv = ck.C_FindObjectsInit(hSession, &query, 1);
    if (rv != CKR_OK)
        return {false, rv, CK_INVALID_HANDLE};
    CK_OBJECT_HANDLE key = CK_INVALID_HANDLE;
    for (CK_ULONG seen = 0; seen < kMaxObjects; ++seen) {
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
            break;
        }
    }
    ck.C_FindObjectsFinal(hSession);
    return {true, rv, key};
}

CK_RV decryptInto(const Pkcs11EntryPoints &ck, CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE key, const uint8_t *wrapped,
                  uint32_t wrappedLen, uint8_t *plain, uint32_t *plainLen)
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

CK_RV readDataObjects(const Pkcs11EntryPoints &ck, CK_SESSION_HANDLE hSession, std::vector<std::string> &values)
{
    CK_OBJECT_CLASS dataClass = CKO_DATA;
    CK_BBOOL onToken = CK_TRUE;
    CK_ATTRIBUTE query[] = {{CKA_CLASS, &dataClass, sizeof dataClass}, {CKA_TOKEN, &onToken, sizeof onToken}};
    CK_RV rv = ck.C_FindObjectsInit(hSession, query, 2);
    if (rv != CKR_OK)
        return rv;
    for (CK_ULONG seen = 0; seen < kMaxObjects; ++seen) {
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
            if (length > kMaxValueLength)
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
            values.emplace_back(reinterpret_cast<const char *>(value.data()), got);
        }
    }
    ck.C_FindObjectsFinal(hSession);
    return rv;
}

} // namespace ukey::pkcs11
