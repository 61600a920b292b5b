#pragma once

#include <p11-kit/pkcs11.h>

namespace ukey {

class NDMLibrary;

// The PKCS#11 functions taken from the vendor library, in resolution order.
#define UKEY_P11_ENTRY_POINTS(X)                                                                                       \
    X(C_Initialize)                                                                                                    \
    X(C_GetSlotList)                                                                                                   \
    X(C_OpenSession)                                                                                                   \
    X(C_CloseSession)                                                                                                  \
    X(C_Finalize)                                                                                                      \
    X(C_CreateObject)                                                                                                  \
    X(C_GetAttributeValue)                                                                                             \
    X(C_DestroyObject)                                                                                                 \
    X(C_FindObjectsInit)                                                                                               \
    X(C_FindObjectsFinal)                                                                                              \
    X(C_Login)                                                                                                         \
    X(C_Logout)                                                                                                        \
    X(C_SetPIN)                                                                                                        \
    X(C_InitPIN)                                                                                                       \
    X(C_GetTokenInfo)                                                                                                  \
    X(C_FindObjects)                                                                                                   \
    X(C_DecryptInit)                                                                                                   \
    X(C_Decrypt)

struct Pkcs11EntryPoints {
#define UKEY_P11_FIELD(name) CK_##name name = nullptr;
    UKEY_P11_ENTRY_POINTS(UKEY_P11_FIELD)
#undef UKEY_P11_FIELD
};

// The process-wide table. It is empty unless the library it was resolved from is still the
// current vendor library, so a library replaced by another type's load is never called.
const Pkcs11EntryPoints &p11();

// Fills the table from library (every name looked up, missing ones stay null).
void resolvePkcs11(NDMLibrary *library);
// Empties the table and forgets its library.
void clearPkcs11();

} // namespace ukey
