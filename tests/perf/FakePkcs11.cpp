// The PKCS#11 half of a vendor library for the reload tests: one token whose serial is the mock
// device's, session numbers that start again at every C_Initialize, and a log of the calls that
// name a session.
#include <p11-kit/pkcs11.h>

#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

using SessionCalls = std::vector<std::pair<std::string, CK_SESSION_HANDLE>>;

namespace {
SessionCalls g_calls;
CK_SESSION_HANDLE g_nextSession = 1;
} // namespace

#define FAKE_FN(name, ...)                                                                                             \
    extern "C" CK_RV name(__VA_ARGS__);                                                                                \
    static_assert(std::is_same_v<decltype(&name), CK_##name>, #name);                                                  \
    extern "C" CK_RV name(__VA_ARGS__)

extern "C" SessionCalls *fake_p11_calls()
{
    return &g_calls;
}

FAKE_FN(C_Initialize, CK_VOID_PTR)
{
    g_nextSession = 1;
    return CKR_OK;
}
FAKE_FN(C_Finalize, CK_VOID_PTR)
{
    return CKR_OK;
}
FAKE_FN(C_GetSlotList, CK_BBOOL, CK_SLOT_ID_PTR slots, CK_ULONG_PTR count)
{
    if (slots && *count)
        slots[0] = 7;
    *count = 1;
    return CKR_OK;
}
FAKE_FN(C_GetTokenInfo, CK_SLOT_ID, CK_TOKEN_INFO_PTR info)
{
    std::memcpy(info->serialNumber, "MOCKSERIAL0001\0\0", sizeof info->serialNumber);
    return CKR_OK;
}
FAKE_FN(C_OpenSession, CK_SLOT_ID, CK_FLAGS, CK_VOID_PTR, CK_NOTIFY, CK_SESSION_HANDLE_PTR session)
{
    *session = g_nextSession++;
    return CKR_OK;
}
FAKE_FN(C_CloseSession, CK_SESSION_HANDLE session)
{
    g_calls.emplace_back("C_CloseSession", session);
    return CKR_OK;
}
FAKE_FN(C_Login, CK_SESSION_HANDLE session, CK_USER_TYPE, CK_UTF8CHAR_PTR, CK_ULONG)
{
    g_calls.emplace_back("C_Login", session);
    return CKR_OK;
}
FAKE_FN(C_FindObjectsInit, CK_SESSION_HANDLE session, CK_ATTRIBUTE_PTR, CK_ULONG)
{
    g_calls.emplace_back("C_FindObjectsInit", session);
    return CKR_OK;
}
FAKE_FN(C_FindObjects, CK_SESSION_HANDLE, CK_OBJECT_HANDLE_PTR, CK_ULONG, CK_ULONG_PTR count)
{
    *count = 0;
    return CKR_OK;
}
FAKE_FN(C_FindObjectsFinal, CK_SESSION_HANDLE)
{
    return CKR_OK;
}
FAKE_FN(C_GetAttributeValue, CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG)
{
    return CKR_OK;
}
