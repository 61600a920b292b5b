// The PKCS#11 entry points: argument checks, locking, and dispatch to slots, objects and mechanisms.
#include <openssl/rand.h>

#include <cstring>

#include "Mechanisms.h"
#include "Objects.h"

using namespace ukeyp11;

namespace {

// A slot by id, its lock taken.
CK_RV holdSlot(CK_SLOT_ID id, std::shared_ptr<Slot> &slot, std::unique_lock<std::mutex> &guard)
{
    {
        Module &m = module();
        std::lock_guard<std::mutex> lock(m.lock);
        if (!m.initialized)
            return CKR_CRYPTOKI_NOT_INITIALIZED;
        if (id >= m.slots.size())
            return CKR_SLOT_ID_INVALID;
        slot = m.slots[id];
    }
    guard = std::unique_lock<std::mutex>(slot->lock);
    return CKR_OK;
}

// The list two-call convention: a null buffer asks for the count, a short one is refused.
template <typename T>
CK_RV putList(const std::vector<T> &items, T *out, CK_ULONG *count)
{
    if (!count)
        return CKR_ARGUMENTS_BAD;
    const CK_ULONG capacity = *count;
    *count = items.size();
    if (!out)
        return CKR_OK;
    if (capacity < items.size())
        return CKR_BUFFER_TOO_SMALL;
    std::copy(items.begin(), items.end(), out);
    return CKR_OK;
}

CK_RV closeHeld(Held &h, CK_SESSION_HANDLE handle)
{
    h.session->closed = true;
    if (--h.slot->sessions == 0)
        h.slot->disconnect(); // the last session ends the login
    h.guard.unlock();
    std::lock_guard<std::mutex> lock(module().lock);
    module().sessions.erase(handle);
    return CKR_OK;
}

CK_RV init(CK_SESSION_HANDLE s, OpKind kind, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE key)
{
    Held h;
    const CK_RV rv = hold(s, h);
    return rv ? rv : operationInit(h, kind, mechanism, key);
}

CK_RV update(CK_SESSION_HANDLE s, OpKind kind, CK_BYTE_PTR data, CK_ULONG len)
{
    Held h;
    const CK_RV rv = hold(s, h);
    return rv ? rv : operationUpdate(h, kind, data, len);
}

CK_RV final(CK_SESSION_HANDLE s, OpKind kind, CK_BYTE_PTR out, CK_ULONG_PTR outLen)
{
    Held h;
    const CK_RV rv = hold(s, h);
    return rv ? rv : operationFinal(h, kind, out, outLen);
}

// Single-part calls: the input replaces any earlier one, so a length query can be repeated.
CK_RV single(CK_SESSION_HANDLE s, OpKind kind, CK_BYTE_PTR data, CK_ULONG len, CK_BYTE_PTR out, CK_ULONG_PTR outLen)
{
    Held h;
    if (const CK_RV rv = hold(s, h))
        return rv;
    Operation &op = h.session->ops[kind];
    if (!op.active)
        return CKR_OPERATION_NOT_INITIALIZED;
    if (!data && len)
        return CKR_ARGUMENTS_BAD;
    op.data.assign(data, data + len);
    return operationFinal(h, kind, out, outLen);
}

// A length without a value would be read from address zero.
bool readable(const CK_ATTRIBUTE *tmpl, CK_ULONG count)
{
    if (!tmpl)
        return count == 0;
    for (CK_ULONG i = 0; i < count; ++i)
        if (!tmpl[i].pValue && tmpl[i].ulValueLen)
            return false;
    return true;
}

// A bad session handle is reported before what the call itself lacks.
CK_RV withSession(CK_SESSION_HANDLE s, CK_RV otherwise = CKR_OK)
{
    Held h;
    const CK_RV rv = hold(s, h);
    return rv ? rv : otherwise;
}

} // namespace

extern "C" {

CK_RV C_Initialize(CK_VOID_PTR initArgs)
{
    if (initArgs) {
        const auto *a = static_cast<CK_C_INITIALIZE_ARGS *>(initArgs);
        const int given = !!a->CreateMutex + !!a->DestroyMutex + !!a->LockMutex + !!a->UnlockMutex;
        if (a->pReserved || (given != 0 && given != 4))
            return CKR_ARGUMENTS_BAD;
        if (given == 4 && !(a->flags & CKF_OS_LOCKING_OK))
            return CKR_CANT_LOCK;
    }
    Module &m = module();
    std::lock_guard<std::mutex> lock(m.lock);
    if (m.initialized)
        return CKR_CRYPTOKI_ALREADY_INITIALIZED;
    const std::vector<KeyEntry> entries = loadConfig();
    int opened = 0;
    for (const KeyEntry &entry : entries) {
        std::shared_ptr<Adaptor> a(Adaptor::open(entry, opened++ > 0));
        if (!a)
            continue;
        for (const std::string &device : a->devices())
            m.slots.push_back(std::make_shared<Slot>(a, device));
    }
    m.initialized = true;
    return CKR_OK;
}

CK_RV C_Finalize(CK_VOID_PTR reserved)
{
    if (reserved)
        return CKR_ARGUMENTS_BAD;
    Module &m = module();
    std::lock_guard<std::mutex> lock(m.lock);
    if (!m.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    for (auto &entry : m.sessions)
        entry.second->closed = true;
    m.sessions.clear();
    for (auto &slot : m.slots) {
        std::lock_guard<std::mutex> slotLock(slot->lock);
        slot->disconnect();
    }
    m.slots.clear(); // the adaptor copies go with their last slot
    m.initialized = false;
    return CKR_OK;
}

CK_RV C_GetInfo(CK_INFO_PTR info)
{
    {
        std::lock_guard<std::mutex> lock(module().lock);
        if (!module().initialized)
            return CKR_CRYPTOKI_NOT_INITIALIZED;
    }
    if (!info)
        return CKR_ARGUMENTS_BAD;
    std::memset(info, 0, sizeof *info);
    info->cryptokiVersion = {2, 40};
    pad(info->manufacturerID, sizeof info->manufacturerID, "UKeyAdaptor");
    pad(info->libraryDescription, sizeof info->libraryDescription, "UKeyAdaptor PKCS#11 module");
    info->libraryVersion = {1, 0};
    return CKR_OK;
}

CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list);

CK_RV C_GetSlotList(CK_BBOOL, CK_SLOT_ID_PTR list, CK_ULONG_PTR count)
{
    Module &m = module();
    std::lock_guard<std::mutex> lock(m.lock);
    if (!m.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    std::vector<CK_SLOT_ID> ids(m.slots.size());
    for (size_t i = 0; i < ids.size(); ++i)
        ids[i] = i;
    return putList(ids, list, count);
}

CK_RV C_GetSlotInfo(CK_SLOT_ID id, CK_SLOT_INFO_PTR info)
{
    std::shared_ptr<Slot> slot;
    std::unique_lock<std::mutex> guard;
    if (const CK_RV rv = holdSlot(id, slot, guard))
        return rv;
    return info ? slot->slotInfo(info) : CKR_ARGUMENTS_BAD;
}

CK_RV C_GetTokenInfo(CK_SLOT_ID id, CK_TOKEN_INFO_PTR info)
{
    std::shared_ptr<Slot> slot;
    std::unique_lock<std::mutex> guard;
    if (const CK_RV rv = holdSlot(id, slot, guard))
        return rv;
    return info ? slot->tokenInfo(info) : CKR_ARGUMENTS_BAD;
}

CK_RV C_WaitForSlotEvent(CK_FLAGS, CK_SLOT_ID_PTR, CK_VOID_PTR)
{
    return CKR_FUNCTION_NOT_SUPPORTED;
}

CK_RV C_GetMechanismList(CK_SLOT_ID id, CK_MECHANISM_TYPE_PTR list, CK_ULONG_PTR count)
{
    std::shared_ptr<Slot> slot;
    std::unique_lock<std::mutex> guard;
    if (const CK_RV rv = holdSlot(id, slot, guard))
        return rv;
    return putList(mechanisms(*slot), list, count);
}

CK_RV C_GetMechanismInfo(CK_SLOT_ID id, CK_MECHANISM_TYPE type, CK_MECHANISM_INFO_PTR info)
{
    std::shared_ptr<Slot> slot;
    std::unique_lock<std::mutex> guard;
    if (const CK_RV rv = holdSlot(id, slot, guard))
        return rv;
    return info ? mechanismInfo(*slot, type, info) : CKR_ARGUMENTS_BAD;
}

CK_RV C_InitToken(CK_SLOT_ID, CK_UTF8CHAR_PTR, CK_ULONG, CK_UTF8CHAR_PTR)
{
    return CKR_FUNCTION_NOT_SUPPORTED;
}
CK_RV C_InitPIN(CK_SESSION_HANDLE, CK_UTF8CHAR_PTR, CK_ULONG)
{
    return CKR_FUNCTION_NOT_SUPPORTED;
}

CK_RV C_SetPIN(CK_SESSION_HANDLE s, CK_UTF8CHAR_PTR oldPin, CK_ULONG oldLen, CK_UTF8CHAR_PTR newPin, CK_ULONG newLen)
{
    Held h;
    if (const CK_RV rv = hold(s, h))
        return rv;
    if (!oldPin || !newPin)
        return CKR_ARGUMENTS_BAD;
    if (!(h.session->flags & CKF_RW_SESSION))
        return CKR_SESSION_READ_ONLY;
    return h.slot->setPin(std::string(reinterpret_cast<char *>(oldPin), oldLen),
                          std::string(reinterpret_cast<char *>(newPin), newLen));
}

CK_RV C_OpenSession(CK_SLOT_ID id, CK_FLAGS flags, CK_VOID_PTR, CK_NOTIFY, CK_SESSION_HANDLE_PTR handle)
{
    if (!handle)
        return CKR_ARGUMENTS_BAD;
    if (!(flags & CKF_SERIAL_SESSION))
        return CKR_SESSION_PARALLEL_NOT_SUPPORTED;
    auto session = std::make_shared<Session>();
    session->slot = id;
    session->flags = flags;
    {
        std::shared_ptr<Slot> slot;
        std::unique_lock<std::mutex> guard;
        if (const CK_RV rv = holdSlot(id, slot, guard))
            return rv;
        if (const CK_RV rv = slot->connect())
            return rv;
        ++slot->sessions;
    }
    Module &m = module();
    std::lock_guard<std::mutex> lock(m.lock);
    *handle = m.nextSession++;
    m.sessions[*handle] = session;
    return CKR_OK;
}

CK_RV C_CloseSession(CK_SESSION_HANDLE s)
{
    Held h;
    const CK_RV rv = hold(s, h);
    return rv ? rv : closeHeld(h, s);
}

CK_RV C_CloseAllSessions(CK_SLOT_ID id)
{
    std::vector<CK_SESSION_HANDLE> handles;
    {
        Module &m = module();
        std::lock_guard<std::mutex> lock(m.lock);
        if (!m.initialized)
            return CKR_CRYPTOKI_NOT_INITIALIZED;
        if (id >= m.slots.size())
            return CKR_SLOT_ID_INVALID;
        for (const auto &entry : m.sessions)
            if (entry.second->slot == id)
                handles.push_back(entry.first);
    }
    for (const CK_SESSION_HANDLE s : handles)
        C_CloseSession(s);
    return CKR_OK;
}

CK_RV C_GetSessionInfo(CK_SESSION_HANDLE s, CK_SESSION_INFO_PTR info)
{
    Held h;
    if (const CK_RV rv = hold(s, h))
        return rv;
    if (!info)
        return CKR_ARGUMENTS_BAD;
    const bool rw = h.session->flags & CKF_RW_SESSION;
    info->slotID = h.session->slot;
    info->flags = h.session->flags;
    info->ulDeviceError = 0;
    info->state = h.slot->user == CKU_SO     ? CKS_RW_SO_FUNCTIONS
                  : h.slot->user == CKU_USER ? (rw ? CKS_RW_USER_FUNCTIONS : CKS_RO_USER_FUNCTIONS)
                                             : (rw ? CKS_RW_PUBLIC_SESSION : CKS_RO_PUBLIC_SESSION);
    return CKR_OK;
}

CK_RV C_GetOperationState(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return CKR_FUNCTION_NOT_SUPPORTED;
}
CK_RV C_SetOperationState(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_OBJECT_HANDLE, CK_OBJECT_HANDLE)
{
    return CKR_FUNCTION_NOT_SUPPORTED;
}

CK_RV C_Login(CK_SESSION_HANDLE s, CK_USER_TYPE type, CK_UTF8CHAR_PTR pin, CK_ULONG len)
{
    Held h;
    if (const CK_RV rv = hold(s, h))
        return rv;
    if (!pin)
        return CKR_ARGUMENTS_BAD; // no protected authentication path
    return h.slot->login(type, std::string(reinterpret_cast<char *>(pin), len));
}

CK_RV C_Logout(CK_SESSION_HANDLE s)
{
    Held h;
    const CK_RV rv = hold(s, h);
    return rv ? rv : h.slot->logout();
}

CK_RV C_CreateObject(CK_SESSION_HANDLE s, CK_ATTRIBUTE_PTR tmpl, CK_ULONG count, CK_OBJECT_HANDLE_PTR object)
{
    Held h;
    if (const CK_RV rv = hold(s, h))
        return rv;
    if (!readable(tmpl, count) || !object)
        return CKR_ARGUMENTS_BAD;
    if (!(h.session->flags & CKF_RW_SESSION))
        return CKR_SESSION_READ_ONLY;
    return createObject(*h.slot, tmpl, count, object);
}

CK_RV C_CopyObject(CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG, CK_OBJECT_HANDLE_PTR)
{
    return CKR_FUNCTION_NOT_SUPPORTED;
}

CK_RV C_DestroyObject(CK_SESSION_HANDLE s, CK_OBJECT_HANDLE object)
{
    Held h;
    if (const CK_RV rv = hold(s, h))
        return rv;
    if (!(h.session->flags & CKF_RW_SESSION))
        return CKR_SESSION_READ_ONLY;
    return destroyObject(*h.slot, object);
}

CK_RV C_GetObjectSize(CK_SESSION_HANDLE s, CK_OBJECT_HANDLE, CK_ULONG_PTR)
{
    return withSession(s, CKR_FUNCTION_NOT_SUPPORTED);
}

CK_RV C_GetAttributeValue(CK_SESSION_HANDLE s, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR tmpl, CK_ULONG count)
{
    Held h;
    if (const CK_RV rv = hold(s, h))
        return rv;
    if (!tmpl && count)
        return CKR_ARGUMENTS_BAD;
    const Object *o = findObject(*h.slot, object);
    return o ? getAttributes(*h.slot, *o, tmpl, count) : CKR_OBJECT_HANDLE_INVALID;
}

CK_RV C_SetAttributeValue(CK_SESSION_HANDLE s, CK_OBJECT_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG)
{
    return withSession(s, CKR_ACTION_PROHIBITED);
}

CK_RV C_FindObjectsInit(CK_SESSION_HANDLE s, CK_ATTRIBUTE_PTR tmpl, CK_ULONG count)
{
    Held h;
    if (const CK_RV rv = hold(s, h))
        return rv;
    if (!readable(tmpl, count))
        return CKR_ARGUMENTS_BAD;
    if (h.session->finding)
        return CKR_OPERATION_ACTIVE;
    if (const CK_RV rv = loadObjects(*h.slot))
        return rv;
    h.session->found.clear();
    h.session->foundAt = 0;
    for (const auto &entry : h.slot->objects)
        if (visible(*h.slot, entry.second) && matches(*h.slot, entry.second, tmpl, count))
            h.session->found.push_back(entry.first);
    h.session->finding = true;
    return CKR_OK;
}

CK_RV C_FindObjects(CK_SESSION_HANDLE s, CK_OBJECT_HANDLE_PTR out, CK_ULONG max, CK_ULONG_PTR count)
{
    Held h;
    if (const CK_RV rv = hold(s, h))
        return rv;
    if (!out || !count)
        return CKR_ARGUMENTS_BAD;
    if (!h.session->finding)
        return CKR_OPERATION_NOT_INITIALIZED;
    Session &session = *h.session;
    *count = 0;
    while (*count < max && session.foundAt < session.found.size())
        out[(*count)++] = session.found[session.foundAt++];
    return CKR_OK;
}

CK_RV C_FindObjectsFinal(CK_SESSION_HANDLE s)
{
    Held h;
    if (const CK_RV rv = hold(s, h))
        return rv;
    if (!h.session->finding)
        return CKR_OPERATION_NOT_INITIALIZED;
    h.session->finding = false;
    h.session->found.clear();
    return CKR_OK;
}

CK_RV C_EncryptInit(CK_SESSION_HANDLE s, CK_MECHANISM_PTR, CK_OBJECT_HANDLE)
{
    return withSession(s, CKR_MECHANISM_INVALID);
}
CK_RV C_Encrypt(CK_SESSION_HANDLE s, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return withSession(s, CKR_OPERATION_NOT_INITIALIZED);
}
CK_RV C_EncryptUpdate(CK_SESSION_HANDLE s, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return withSession(s, CKR_OPERATION_NOT_INITIALIZED);
}
CK_RV C_EncryptFinal(CK_SESSION_HANDLE s, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return withSession(s, CKR_OPERATION_NOT_INITIALIZED);
}

CK_RV C_DecryptInit(CK_SESSION_HANDLE s, CK_MECHANISM_PTR m, CK_OBJECT_HANDLE key)
{
    return init(s, kDecrypt, m, key);
}
CK_RV C_Decrypt(CK_SESSION_HANDLE s, CK_BYTE_PTR in, CK_ULONG inLen, CK_BYTE_PTR out, CK_ULONG_PTR outLen)
{
    return single(s, kDecrypt, in, inLen, out, outLen);
}
CK_RV C_DecryptUpdate(CK_SESSION_HANDLE s, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return withSession(s, CKR_FUNCTION_NOT_SUPPORTED); // RSA decrypts in one part
}
CK_RV C_DecryptFinal(CK_SESSION_HANDLE s, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return withSession(s, CKR_FUNCTION_NOT_SUPPORTED);
}

CK_RV C_DigestInit(CK_SESSION_HANDLE s, CK_MECHANISM_PTR m)
{
    return init(s, kDigest, m, 0);
}
CK_RV C_Digest(CK_SESSION_HANDLE s, CK_BYTE_PTR in, CK_ULONG inLen, CK_BYTE_PTR out, CK_ULONG_PTR outLen)
{
    return single(s, kDigest, in, inLen, out, outLen);
}
CK_RV C_DigestUpdate(CK_SESSION_HANDLE s, CK_BYTE_PTR in, CK_ULONG len)
{
    return update(s, kDigest, in, len);
}
CK_RV C_DigestKey(CK_SESSION_HANDLE s, CK_OBJECT_HANDLE)
{
    return withSession(s, CKR_FUNCTION_NOT_SUPPORTED);
}
CK_RV C_DigestFinal(CK_SESSION_HANDLE s, CK_BYTE_PTR out, CK_ULONG_PTR outLen)
{
    return final(s, kDigest, out, outLen);
}

CK_RV C_SignInit(CK_SESSION_HANDLE s, CK_MECHANISM_PTR m, CK_OBJECT_HANDLE key)
{
    return init(s, kSign, m, key);
}
CK_RV C_Sign(CK_SESSION_HANDLE s, CK_BYTE_PTR in, CK_ULONG inLen, CK_BYTE_PTR out, CK_ULONG_PTR outLen)
{
    return single(s, kSign, in, inLen, out, outLen);
}
CK_RV C_SignUpdate(CK_SESSION_HANDLE s, CK_BYTE_PTR in, CK_ULONG len)
{
    return update(s, kSign, in, len);
}
CK_RV C_SignFinal(CK_SESSION_HANDLE s, CK_BYTE_PTR out, CK_ULONG_PTR outLen)
{
    return final(s, kSign, out, outLen);
}
CK_RV C_SignRecoverInit(CK_SESSION_HANDLE s, CK_MECHANISM_PTR, CK_OBJECT_HANDLE)
{
    return withSession(s, CKR_MECHANISM_INVALID);
}
CK_RV C_SignRecover(CK_SESSION_HANDLE s, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return withSession(s, CKR_OPERATION_NOT_INITIALIZED);
}

CK_RV C_VerifyInit(CK_SESSION_HANDLE s, CK_MECHANISM_PTR m, CK_OBJECT_HANDLE key)
{
    return init(s, kVerify, m, key);
}
CK_RV C_Verify(CK_SESSION_HANDLE s, CK_BYTE_PTR in, CK_ULONG inLen, CK_BYTE_PTR sig, CK_ULONG sigLen)
{
    Held h;
    if (const CK_RV rv = hold(s, h))
        return rv;
    Operation &op = h.session->ops[kVerify];
    if (!op.active)
        return CKR_OPERATION_NOT_INITIALIZED;
    if (!in && inLen)
        return CKR_ARGUMENTS_BAD;
    op.data.assign(in, in + inLen);
    return operationVerify(h, sig, sigLen);
}
CK_RV C_VerifyUpdate(CK_SESSION_HANDLE s, CK_BYTE_PTR in, CK_ULONG len)
{
    return update(s, kVerify, in, len);
}
CK_RV C_VerifyFinal(CK_SESSION_HANDLE s, CK_BYTE_PTR sig, CK_ULONG sigLen)
{
    Held h;
    const CK_RV rv = hold(s, h);
    return rv ? rv : operationVerify(h, sig, sigLen);
}
CK_RV C_VerifyRecoverInit(CK_SESSION_HANDLE s, CK_MECHANISM_PTR, CK_OBJECT_HANDLE)
{
    return withSession(s, CKR_MECHANISM_INVALID);
}
CK_RV C_VerifyRecover(CK_SESSION_HANDLE s, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return withSession(s, CKR_OPERATION_NOT_INITIALIZED);
}

CK_RV C_DigestEncryptUpdate(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return CKR_FUNCTION_NOT_SUPPORTED;
}
CK_RV C_DecryptDigestUpdate(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return CKR_FUNCTION_NOT_SUPPORTED;
}
CK_RV C_SignEncryptUpdate(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return CKR_FUNCTION_NOT_SUPPORTED;
}
CK_RV C_DecryptVerifyUpdate(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return CKR_FUNCTION_NOT_SUPPORTED;
}

CK_RV C_GenerateKey(CK_SESSION_HANDLE s, CK_MECHANISM_PTR, CK_ATTRIBUTE_PTR, CK_ULONG, CK_OBJECT_HANDLE_PTR)
{
    return withSession(s, CKR_MECHANISM_INVALID);
}

CK_RV C_GenerateKeyPair(CK_SESSION_HANDLE s, CK_MECHANISM_PTR m, CK_ATTRIBUTE_PTR pubTmpl, CK_ULONG pubCount,
                        CK_ATTRIBUTE_PTR privTmpl, CK_ULONG privCount, CK_OBJECT_HANDLE_PTR pub,
                        CK_OBJECT_HANDLE_PTR priv)
{
    Held h;
    if (const CK_RV rv = hold(s, h))
        return rv;
    if (!readable(pubTmpl, pubCount) || !readable(privTmpl, privCount))
        return CKR_ARGUMENTS_BAD;
    return generateKeyPair(h, m, pubTmpl, pubCount, privTmpl, privCount, pub, priv);
}

CK_RV C_WrapKey(CK_SESSION_HANDLE s, CK_MECHANISM_PTR, CK_OBJECT_HANDLE, CK_OBJECT_HANDLE, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return withSession(s, CKR_MECHANISM_INVALID);
}
CK_RV C_UnwrapKey(CK_SESSION_HANDLE s, CK_MECHANISM_PTR, CK_OBJECT_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_ATTRIBUTE_PTR,
                  CK_ULONG, CK_OBJECT_HANDLE_PTR)
{
    return withSession(s, CKR_MECHANISM_INVALID);
}
CK_RV C_DeriveKey(CK_SESSION_HANDLE s, CK_MECHANISM_PTR, CK_OBJECT_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG,
                  CK_OBJECT_HANDLE_PTR)
{
    return withSession(s, CKR_MECHANISM_INVALID);
}

CK_RV C_SeedRandom(CK_SESSION_HANDLE s, CK_BYTE_PTR, CK_ULONG)
{
    return withSession(s, CKR_RANDOM_SEED_NOT_SUPPORTED);
}

// The table has no random-number entry: the host's generator serves.
CK_RV C_GenerateRandom(CK_SESSION_HANDLE s, CK_BYTE_PTR out, CK_ULONG len)
{
    if (const CK_RV rv = withSession(s))
        return rv;
    if (!out && len)
        return CKR_ARGUMENTS_BAD;
    for (CK_ULONG done = 0; done < len;) {
        const int n = static_cast<int>(std::min<CK_ULONG>(len - done, 1u << 20));
        if (RAND_bytes(out + done, n) != 1)
            return CKR_FUNCTION_FAILED;
        done += static_cast<CK_ULONG>(n);
    }
    return CKR_OK;
}

CK_RV C_GetFunctionStatus(CK_SESSION_HANDLE)
{
    return CKR_FUNCTION_NOT_PARALLEL;
}
CK_RV C_CancelFunction(CK_SESSION_HANDLE)
{
    return CKR_FUNCTION_NOT_PARALLEL;
}

CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list)
{
    static CK_FUNCTION_LIST functions = {
        {2, 40},
#define UKEYP11_ENTRY(name) name,
#include "EntryList.inc"
#undef UKEYP11_ENTRY
    };
    if (!list)
        return CKR_ARGUMENTS_BAD;
    *list = &functions;
    return CKR_OK;
}

} // extern "C"
