#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library/Pkcs11EntryPoints.h"

namespace ukey::pkcs11 {

constexpr CK_ULONG kUnset = 0xFFFFFFFFu;

inline uint32_t resultCode(CK_RV rv)
{
    return static_cast<uint32_t>(rv);
}

// Opens a read-write session on the first token whose 16-byte serial number starts the key's
// SKF serial number; hSession stays kUnset when none matches.
// The result of C_OpenSession, CKR_OK when nothing matched.
CK_RV openSessionBySerial(const Pkcs11EntryPoints &ck, const char *skfSerial, CK_SLOT_ID &slotId,
                          CK_SESSION_HANDLE &hSession);

// Logs the user in; false when there is no PIN or the token refuses it.
bool loginUser(const Pkcs11EntryPoints &ck, CK_SESSION_HANDLE hSession, const std::string &pin);

struct KeySearch {
    bool started; // C_FindObjectsInit succeeded
    CK_RV rv;     // the last PKCS#11 result of the search
    CK_OBJECT_HANDLE key;
};

// The first private key allowed to decrypt, or CK_INVALID_HANDLE.
KeySearch findDecryptionKey(const Pkcs11EntryPoints &ck, CK_SESSION_HANDLE hSession);

// RSA PKCS#1 v1.5 unwrapping into the host's buffer, never past the host's stated length.
CK_RV decryptInto(const Pkcs11EntryPoints &ck, CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE key, const uint8_t *wrapped,
                  uint32_t wrappedLen, uint8_t *plain, uint32_t *plainLen);

// Appends the value of every data object on the token; CKR_OK or the failure that ended it.
CK_RV readDataObjects(const Pkcs11EntryPoints &ck, CK_SESSION_HANDLE hSession, std::vector<std::string> &values);

} // namespace ukey::pkcs11
