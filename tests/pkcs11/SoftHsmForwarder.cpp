// The PKCS#11 half of the test vendor library: the C_* functions the adaptor calls, forwarded
// to SoftHSM2, plus switches that let a test make the token misbehave.
#include "SoftHsmForwarder.h"

#include "support/SoftHsm.h"

namespace {

P11Fwd g;
CK_FUNCTION_LIST *g_hsm = nullptr;
// A reversed search's results still to hand out, last first.
std::vector<CK_OBJECT_HANDLE> g_found;

} // namespace

#define FORWARD(name, ...)                                                                                             \
    (g.calls.push_back(#name),                                                                                         \
     (g_hsm || (g_hsm = softhsm::load())) ? (g.last = g_hsm->name(__VA_ARGS__)) : CKR_GENERAL_ERROR)
// A function that only forwards: PASS(name, (parameters), (arguments)).
#define EXPAND(...) __VA_ARGS__
#define PASS(name, params, args)                                                                                       \
    CK_RV name(EXPAND params)                                                                                          \
    {                                                                                                                  \
        return FORWARD(name, EXPAND args);                                                                             \
    }

extern "C" {

P11Fwd *p11fwd()
{
    return &g;
}

PASS(C_Initialize, (void *args), (args))
PASS(C_Finalize, (void *reserved), (reserved))
PASS(C_GetTokenInfo, (CK_SLOT_ID slot, CK_TOKEN_INFO *info), (slot, info))
PASS(C_Login, (CK_SESSION_HANDLE session, CK_USER_TYPE user, CK_UTF8CHAR *pin, CK_ULONG pinLen),
     (session, user, pin, pinLen))
PASS(C_FindObjectsFinal, (CK_SESSION_HANDLE session), (session))
PASS(C_DecryptInit, (CK_SESSION_HANDLE session, CK_MECHANISM *mechanism, CK_OBJECT_HANDLE key),
     (session, mechanism, key))
PASS(C_Decrypt, (CK_SESSION_HANDLE session, CK_BYTE *in, CK_ULONG inLen, CK_BYTE *out, CK_ULONG *outLen),
     (session, in, inLen, out, outLen))

CK_RV C_GetSlotList(CK_BBOOL present, CK_SLOT_ID *slots, CK_ULONG *count)
{
    const CK_RV rv = FORWARD(C_GetSlotList, present, slots, count);
    *count = g.absurdLengths && !slots ? ~CK_ULONG{0} : *count;
    return rv;
}
CK_RV C_OpenSession(CK_SLOT_ID slot, CK_FLAGS flags, void *app, CK_NOTIFY notify, CK_SESSION_HANDLE *session)
{
    const CK_RV rv = FORWARD(C_OpenSession, slot, flags, app, notify, session);
    g.openSessions += rv == CKR_OK;
    return rv;
}
CK_RV C_CloseSession(CK_SESSION_HANDLE session)
{
    const CK_RV rv = FORWARD(C_CloseSession, session);
    g.openSessions -= rv == CKR_OK;
    return rv;
}
CK_RV C_GetAttributeValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE *tmpl, CK_ULONG count)
{
    const CK_RV rv = FORWARD(C_GetAttributeValue, session, object, tmpl, count);
    for (CK_ULONG i = 0; g.absurdLengths && rv == CKR_OK && i < count; ++i)
        if (tmpl[i].type == CKA_VALUE && !tmpl[i].pValue)
            tmpl[i].ulValueLen = 1UL << 31;
    return rv;
}
CK_RV C_FindObjectsInit(CK_SESSION_HANDLE session, CK_ATTRIBUTE *tmpl, CK_ULONG count)
{
    const CK_RV rv = FORWARD(C_FindObjectsInit, session, tmpl, count);
    g_found.clear();
    CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
    CK_ULONG found = 0;
    while (g.reverseFind && rv == CKR_OK && g_hsm->C_FindObjects(session, &object, 1, &found) == CKR_OK && found == 1)
        g_found.push_back(object);
    return rv;
}
CK_RV C_FindObjects(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE *objects, CK_ULONG max, CK_ULONG *count)
{
    static CK_OBJECT_HANDLE first = CK_INVALID_HANDLE;
    if (!g.reverseFind) {
        const CK_RV rv = FORWARD(C_FindObjects, session, objects, max, count);
        first = *count ? objects[0] : first;
        if (g.endlessFind && *count == 0 && max)
            objects[(*count)++] = first;
        return rv;
    }
    for (*count = 0; *count < max && !g_found.empty(); g_found.pop_back())
        objects[(*count)++] = g_found.back();
    return g.last = CKR_OK;
}

} // extern "C"
