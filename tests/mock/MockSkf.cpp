// A scriptable vendor library. Built several times with MOCK_NO_EPS, MOCK_NO_SETSYMMKEY and
// MOCK_NO_PRVKEYDECRYPT to leave out names. Every entry records itself first, then answers a
// forced result if one is scripted, then simulates the key.
#include <algorithm>
#include <cstddef>
#include <type_traits>

#include "mock/MockControl.h"

using namespace mock;

// Declares the entry with C linkage and checks its prototype against the adaptor's pointer type.
#define MOCK_FN(name, ...)                                                                                             \
    extern "C" uint32_t KXF_CALL name(__VA_ARGS__);                                                                    \
    static_assert(std::is_same_v<decltype(&name), PFN_##name>, "prototype of " #name);                                 \
    extern "C" uint32_t KXF_CALL name(__VA_ARGS__)

// Records the call, then answers a scripted result if there is one.
#define ENTER(recording)                                                                                               \
    do {                                                                                                               \
        recording;                                                                                                     \
        if (const auto forced_ = g_state.takeForced(__func__))                                                         \
            return *forced_;                                                                                           \
    } while (0)

// Declares var for the object behind handle h, or answers kInvalidHandle.
#define LOOKUP(var, find, h)                                                                                           \
    auto *const var = find(h);                                                                                         \
    REQUIRE(var, kInvalidHandle)

#define REQUIRE(condition, code)                                                                                       \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            return code;                                                                                               \
    } while (0)

namespace {

State g_state;

template <class T>
uint64_t word(const T &v)
{
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<uintptr_t>(v);
    else if constexpr (std::is_integral_v<T>)
        return static_cast<uint64_t>(static_cast<std::make_unsigned_t<T>>(v));
    else
        return 0;
}

template <class... A>
Call &record(const char *fn, const A &...args)
{
    g_state.log.push_back(Call{fn, {word(args)...}, {}, {}});
    return g_state.log.back();
}

void fill(void *p, size_t n, uint8_t seed)
{
    auto *b = static_cast<uint8_t *>(p);
    for (size_t i = 0; i < n; ++i)
        b[i] = patternByte(seed, i);
}

std::string nameList(const std::vector<std::string> &names)
{
    std::string list;
    for (const auto &n : names)
        list.append(n).push_back('\0');
    list.push_back('\0');
    return list;
}

// The two-call convention: a null buffer asks for the length; a short one gets kBufferTooSmall.
uint32_t deliver(const std::string &bytes, void *out, uint32_t *pulLen, const RawList *raw = nullptr)
{
    REQUIRE(pulLen, kInvalidParam);
    if (raw && raw->active) {
        if (!out) {
            *pulLen = raw->queryLength;
            return kOk;
        }
        const uint32_t capacity = *pulLen;
        std::memcpy(out, raw->bytes.data(), std::min<size_t>(capacity, raw->bytes.size()));
        *pulLen = raw->lieBeyondCapacity ? raw->fillLength : std::min(raw->fillLength, capacity);
        return kOk;
    }
    const auto need = static_cast<uint32_t>(bytes.size());
    if (!out) {
        *pulLen = need;
        return kOk;
    }
    if (*pulLen < need) {
        *pulLen = need;
        return kBufferTooSmall;
    }
    std::memcpy(out, bytes.data(), need);
    *pulLen = need;
    return kOk;
}

std::string patternText(size_t n, uint8_t seed)
{
    std::string s(n, '\0');
    fill(s.data(), n, seed);
    return s;
}

std::string xored(const void *p, uint32_t n)
{
    std::string s(static_cast<const char *>(p), p ? n : 0);
    for (auto &c : s)
        c = static_cast<char>(c ^ kXor);
    return s;
}

uint32_t checkPin(Pin &pin, const char *text, uint32_t *retry)
{
    uint32_t result = kOk;
    if (pin.remaining == 0)
        result = kPinLocked;
    else if (!text || pin.text != text)
        result = (--pin.remaining, kPinIncorrect);
    else
        pin.remaining = pin.maxRetry;
    if (retry)
        *retry = pin.remaining;
    return result;
}

void *newKey()
{
    return g_state.open(Kind::Key, {});
}

bool isKey(const void *h)
{
    return g_state.find(h, Kind::Key) != nullptr;
}

Device *deviceOf(const void *h)
{
    const Handle *handle = g_state.find(h, Kind::Device);
    return handle ? g_state.device(handle->device) : nullptr;
}

Application *appOf(const void *h)
{
    const Handle *handle = g_state.find(h, Kind::Application);
    return handle ? g_state.application(*handle) : nullptr;
}

Container *containerOf(const void *h)
{
    const Handle *handle = g_state.find(h, Kind::Container);
    return handle ? g_state.container(*handle) : nullptr;
}

// The bytes of an ECCCIPHERBLOB as its CipherLen field gives them.
size_t cipherBlobSize(const uint8_t *blob)
{
    if (!blob)
        return 0;
    uint32_t cipherLen = 0;
    std::memcpy(&cipherLen, blob + offsetof(ECCCIPHERBLOB, CipherLen), sizeof cipherLen);
    return offsetof(ECCCIPHERBLOB, Cipher) + std::min<uint32_t>(cipherLen, 1024);
}

// SKF_ECCDecrypt, SKFEX_ECCDecrypt and SKF_PrvKeyDecrypt: the cipher bytes, XORed.
uint32_t eccDecrypt(const void *hContainer, const uint8_t *blob, uint8_t *plain, uint32_t *plainLen)
{
    REQUIRE(containerOf(hContainer), kInvalidHandle);
    REQUIRE(blob, kInvalidParam);
    const size_t start = offsetof(ECCCIPHERBLOB, Cipher);
    return deliver(xored(blob + start, static_cast<uint32_t>(cipherBlobSize(blob) - start)), plain, plainLen);
}

} // namespace

// Entries that share one body.
#define KEY_INIT(name)                                                                                                 \
    MOCK_FN(name, SKF_HANDLE hKey, BLOCKCIPHERPARAM param)                                                             \
    {                                                                                                                  \
        ENTER(record(__func__, hKey, param).bytes(&param, sizeof param));                                              \
        return isKey(hKey) ? kOk : kInvalidHandle;                                                                     \
    }
#define KEY_DATA_OUT(name, output)                                                                                     \
    MOCK_FN(name, SKF_HANDLE hKey, const uint8_t *data, uint32_t len, uint8_t *out, uint32_t *outLen)                  \
    {                                                                                                                  \
        ENTER(record(__func__, hKey, data, len, out, outLen).bytes(data, len));                                        \
        return isKey(hKey) ? deliver(output, out, outLen) : kInvalidHandle;                                            \
    }
#define KEY_DATA(name)                                                                                                 \
    MOCK_FN(name, SKF_HANDLE hKey, const uint8_t *data, uint32_t len)                                                  \
    {                                                                                                                  \
        ENTER(record(__func__, hKey, data, len).bytes(data, len));                                                     \
        return isKey(hKey) ? kOk : kInvalidHandle;                                                                     \
    }
#define KEY_OUT(name, output)                                                                                          \
    MOCK_FN(name, SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen)                                                     \
    {                                                                                                                  \
        ENTER(record(__func__, hKey, out, outLen));                                                                    \
        return isKey(hKey) ? deliver(output, out, outLen) : kInvalidHandle;                                            \
    }
#define ECC_DECRYPT(name)                                                                                              \
    MOCK_FN(name, HCONTAINER hContainer, int32_t keySpec, const uint8_t *cipher, uint8_t *plain, uint32_t *plainLen)   \
    {                                                                                                                  \
        ENTER(record(__func__, hContainer, keySpec, cipher, plain, plainLen).bytes(cipher, cipherBlobSize(cipher)));   \
        return eccDecrypt(hContainer, cipher, plain, plainLen);                                                        \
    }

extern "C" State *mock_state()
{
    return &g_state;
}

#ifndef MOCK_NO_EPS
MOCK_FN(EPS_Decrypt, void)
{
    ENTER(record(__func__));
    return kOk;
}
MOCK_FN(EPS_Encrypt, void)
{
    ENTER(record(__func__));
    return kOk;
}
MOCK_FN(EPS_Mac, void)
{
    ENTER(record(__func__));
    return kOk;
}
MOCK_FN(EPS_ImportSymmKey, uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5)
{
    ENTER(record(__func__, a1, a2, a3, a4, a5));
    return kOk;
}
MOCK_FN(EPS_WriteESealData, HAPPLICATION hApp, uintptr_t a1, uintptr_t a2, uintptr_t a3)
{
    ENTER(record(__func__, hApp, a1, a2, a3));
    return appOf(hApp) ? kOk : kInvalidHandle;
}
MOCK_FN(EPS_ReadESealData, HAPPLICATION hApp, uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5)
{
    ENTER(record(__func__, hApp, a1, a2, a3, a4, a5));
    return appOf(hApp) ? kOk : kInvalidHandle;
}
MOCK_FN(SKF_Transmit, DEVHANDLE hDev, const uint8_t *cmd, uint32_t cmdLen, uint8_t *data, uint32_t *dataLen)
{
    ENTER(record(__func__, hDev, cmd, cmdLen, data, dataLen).bytes(cmd, cmdLen));
    return deviceOf(hDev) ? deliver("", data, dataLen) : kInvalidHandle;
}
#endif

// Device

MOCK_FN(SKF_WaitForDevEvent, char *name, uint32_t *nameLen, uint32_t *event)
{
    ENTER(record(__func__, name, nameLen, event));
    return kNotSupported;
}
MOCK_FN(SKF_EnumDev, int32_t present, char *list, uint32_t *pulSize)
{
    ENTER(record(__func__, present, list, pulSize));
    std::vector<std::string> names;
    for (const auto &d : g_state.devices)
        if (d.present || !present)
            names.push_back(d.name);
    return deliver(nameList(names), list, pulSize, &g_state.enumDev);
}
MOCK_FN(SKF_ConnectDev, const char *name, DEVHANDLE *phDev)
{
    ENTER(record(__func__, name, phDev).str(name));
    Device *d = name ? g_state.device(name) : nullptr;
    REQUIRE(d && d->present, kDeviceRemoved);
    REQUIRE(phDev, kInvalidParam);
    *phDev = g_state.open(Kind::Device, {Kind::Device, d->name, {}, {}});
    return kOk;
}
MOCK_FN(SKF_DisConnectDev, DEVHANDLE hDev)
{
    ENTER(record(__func__, hDev));
    REQUIRE(deviceOf(hDev), kInvalidHandle);
    g_state.handles.erase(reinterpret_cast<uintptr_t>(hDev));
    return kOk;
}
MOCK_FN(SKF_GetDevState, const char *name, uint32_t *state)
{
    ENTER(record(__func__, name, state).str(name));
    return kOk;
}
MOCK_FN(SKF_SetLabel, DEVHANDLE hDev, const char *label)
{
    ENTER(record(__func__, hDev, label).str(label));
    LOOKUP(d, deviceOf, hDev);
    setField(d->info.Label, label ? label : "");
    return kOk;
}
MOCK_FN(SKF_GetDevInfo, DEVHANDLE hDev, DEVINFO *info)
{
    ENTER(record(__func__, hDev, info));
    LOOKUP(d, deviceOf, hDev);
    if (d->getDevInfoResult != kOk)
        return d->getDevInfoResult;
    REQUIRE(info, kInvalidParam);
    *info = d->info;
    return kOk;
}
MOCK_FN(SKF_LockDev, DEVHANDLE hDev, uint32_t timeout)
{
    ENTER(record(__func__, hDev, timeout));
    return deviceOf(hDev) ? kOk : kInvalidHandle;
}
MOCK_FN(SKF_UnlockDev, DEVHANDLE hDev)
{
    ENTER(record(__func__, hDev));
    return deviceOf(hDev) ? kOk : kInvalidHandle;
}
MOCK_FN(SKF_ChangeDevAuthKey, DEVHANDLE hDev, const uint8_t *key, uint32_t len)
{
    ENTER(record(__func__, hDev, key, len).bytes(key, len));
    return deviceOf(hDev) ? kOk : kInvalidHandle;
}
MOCK_FN(SKF_DevAuth, DEVHANDLE hDev, const uint8_t *data, uint32_t len)
{
    ENTER(record(__func__, hDev, data, len).bytes(data, len));
    return deviceOf(hDev) ? kOk : kInvalidHandle;
}
MOCK_FN(SKF_GenRandom, DEVHANDLE hDev, uint8_t *out, uint32_t len)
{
    ENTER(record(__func__, hDev, out, len));
    REQUIRE(deviceOf(hDev), kInvalidHandle);
    REQUIRE(out, kInvalidParam);
    fill(out, len, kSeedRandom);
    return kOk;
}

// PIN

MOCK_FN(SKF_ChangePIN, HAPPLICATION hApp, uint32_t type, const char *oldPin, const char *newPin, uint32_t *retry)
{
    ENTER(record(__func__, hApp, type, oldPin, newPin, retry).str(oldPin).str(newPin));
    LOOKUP(a, appOf, hApp);
    Pin *pin = a->pin(type);
    REQUIRE(pin, kUserTypeInvalid);
    const uint32_t result = checkPin(*pin, oldPin, retry);
    if (result == kOk)
        pin->text = newPin ? newPin : "";
    return result;
}
MOCK_FN(SKF_GetPINInfo, HAPPLICATION hApp, uint32_t type, uint32_t *maxRetry, uint32_t *remaining, int32_t *isDefault)
{
    ENTER(record(__func__, hApp, type, maxRetry, remaining, isDefault));
    LOOKUP(a, appOf, hApp);
    const Pin *pin = a->pin(type);
    REQUIRE(pin, kUserTypeInvalid);
    if (maxRetry)
        *maxRetry = pin->maxRetry;
    if (remaining)
        *remaining = pin->remaining;
    if (isDefault)
        *isDefault = pin->isDefault ? 1 : 0;
    return kOk;
}
MOCK_FN(SKF_VerifyPIN, HAPPLICATION hApp, uint32_t type, const char *pin, uint32_t *retry)
{
    ENTER(record(__func__, hApp, type, pin, retry).str(pin));
    LOOKUP(a, appOf, hApp);
    Pin *p = a->pin(type);
    return p ? checkPin(*p, pin, retry) : kUserTypeInvalid;
}
MOCK_FN(SKF_UnblockPIN, HAPPLICATION hApp, const char *adminPin, const char *newUserPin, uint32_t *retry)
{
    ENTER(record(__func__, hApp, adminPin, newUserPin, retry).str(adminPin).str(newUserPin));
    LOOKUP(a, appOf, hApp);
    const uint32_t result = checkPin(a->admin, adminPin, retry);
    if (result == kOk) {
        a->user.text = newUserPin ? newUserPin : "";
        a->user.remaining = a->user.maxRetry;
    }
    return result;
}
MOCK_FN(SKF_GenRemoteUnblockRequest, HAPPLICATION hApp, uint8_t *random, uint32_t len)
{
    ENTER(record(__func__, hApp, random, len));
    return appOf(hApp) ? kOk : kInvalidHandle;
}
MOCK_FN(SKF_RemoteUnblockPIN, HAPPLICATION hApp, const uint8_t *cipher, uint32_t len)
{
    ENTER(record(__func__, hApp, cipher, len).bytes(cipher, len));
    return appOf(hApp) ? kOk : kInvalidHandle;
}
MOCK_FN(SKF_ClearSecureState, HAPPLICATION hApp)
{
    ENTER(record(__func__, hApp));
    return appOf(hApp) ? kOk : kInvalidHandle;
}

// Files

MOCK_FN(SKF_CreateFile, HAPPLICATION hApp, const char *name, uint32_t size, uint32_t readRights, uint32_t writeRights)
{
    ENTER(record(__func__, hApp, name, size, readRights, writeRights).str(name));
    LOOKUP(a, appOf, hApp);
    REQUIRE(name && *name, kInvalidParam);
    if (a->file(name))
        return kFileExists;
    a->files.push_back(File{name, Bytes(size), readRights, writeRights});
    return kOk;
}
MOCK_FN(SKF_DeleteFile, HAPPLICATION hApp, const char *name)
{
    ENTER(record(__func__, hApp, name).str(name));
    LOOKUP(a, appOf, hApp);
    const File *f = name ? a->file(name) : nullptr;
    REQUIRE(f, kFileNotExist);
    a->files.erase(a->files.begin() + (f - a->files.data()));
    return kOk;
}
MOCK_FN(SKF_EnumFiles, HAPPLICATION hApp, char *list, uint32_t *pulSize)
{
    ENTER(record(__func__, hApp, list, pulSize));
    LOOKUP(a, appOf, hApp);
    std::vector<std::string> names;
    for (const auto &f : a->files)
        names.push_back(f.name);
    return deliver(nameList(names), list, pulSize, &g_state.enumFiles);
}
MOCK_FN(SKF_GetFileInfo, HAPPLICATION hApp, const char *name, FILEATTRIBUTE *info)
{
    ENTER(record(__func__, hApp, name, info).str(name));
    LOOKUP(a, appOf, hApp);
    const File *f = name ? a->file(name) : nullptr;
    REQUIRE(f, kFileNotExist);
    REQUIRE(info, kInvalidParam);
    *info = FILEATTRIBUTE{};
    setField(info->FileName, f->name);
    info->FileSize = static_cast<uint32_t>(f->data.size());
    info->ReadRights = f->readRights;
    info->WriteRights = f->writeRights;
    return kOk;
}
MOCK_FN(SKF_ReadFile, HAPPLICATION hApp, const char *name, uint32_t offset, uint32_t size, uint8_t *out,
        uint32_t *outLen)
{
    ENTER(record(__func__, hApp, name, offset, size, out, outLen).str(name));
    LOOKUP(a, appOf, hApp);
    const File *f = name ? a->file(name) : nullptr;
    REQUIRE(f, kFileNotExist);
    const size_t start = std::min<size_t>(offset, f->data.size());
    const size_t n = std::min<size_t>(size, f->data.size() - start);
    return deliver(std::string(f->data.begin() + start, f->data.begin() + start + n), out, outLen);
}
MOCK_FN(SKF_WriteFile, HAPPLICATION hApp, const char *name, uint32_t offset, const uint8_t *data, uint32_t size)
{
    ENTER(record(__func__, hApp, name, offset, data, size).str(name).bytes(data, size));
    LOOKUP(a, appOf, hApp);
    File *f = name ? a->file(name) : nullptr;
    REQUIRE(f, kFileNotExist);
    REQUIRE(data || !size, kInvalidParam);
    if (f->data.size() < size_t{offset} + size)
        f->data.resize(size_t{offset} + size);
    std::copy(data, data + size, f->data.begin() + offset);
    return kOk;
}

// Applications

MOCK_FN(SKF_CreateApplication, DEVHANDLE hDev, const char *name, const char *adminPin, uint32_t adminRetry,
        const char *userPin, uint32_t userRetry, uint32_t createFileRights, HAPPLICATION *phApp)
{
    ENTER(record(__func__, hDev, name, adminPin, adminRetry, userPin, userRetry, createFileRights, phApp)
              .str(name)
              .str(adminPin)
              .str(userPin));
    LOOKUP(d, deviceOf, hDev);
    REQUIRE(name && *name && phApp, kInvalidParam);
    if (d->app(name))
        return kAppExists;
    Application a = State::makeApp(name, adminPin ? adminPin : "", userPin ? userPin : "");
    a.admin.maxRetry = a.admin.remaining = adminRetry;
    a.user.maxRetry = a.user.remaining = userRetry;
    a.createFileRights = createFileRights;
    d->apps.push_back(a);
    *phApp = g_state.open(Kind::Application, {Kind::Application, d->name, name, {}});
    return kOk;
}
MOCK_FN(SKF_EnumApplication, DEVHANDLE hDev, char *list, uint32_t *pulSize)
{
    ENTER(record(__func__, hDev, list, pulSize));
    LOOKUP(d, deviceOf, hDev);
    std::vector<std::string> names;
    for (const auto &a : d->apps)
        names.push_back(a.name);
    return deliver(nameList(names), list, pulSize, &g_state.enumApplication);
}
MOCK_FN(SKF_DeleteApplication, DEVHANDLE hDev, const char *name)
{
    ENTER(record(__func__, hDev, name).str(name));
    LOOKUP(d, deviceOf, hDev);
    const Application *a = name ? d->app(name) : nullptr;
    REQUIRE(a, kAppNotExists);
    d->apps.erase(d->apps.begin() + (a - d->apps.data()));
    return kOk;
}
MOCK_FN(SKF_OpenApplication, DEVHANDLE hDev, const char *name, HAPPLICATION *phApp)
{
    ENTER(record(__func__, hDev, name, phApp).str(name));
    LOOKUP(d, deviceOf, hDev);
    REQUIRE(name && d->app(name), kAppNotExists);
    REQUIRE(phApp, kInvalidParam);
    *phApp = g_state.open(Kind::Application, {Kind::Application, d->name, name, {}});
    return kOk;
}
MOCK_FN(SKF_CloseApplication, HAPPLICATION hApp)
{
    ENTER(record(__func__, hApp));
    REQUIRE(g_state.find(hApp, Kind::Application), kInvalidHandle);
    g_state.handles.erase(reinterpret_cast<uintptr_t>(hApp));
    return kOk;
}

// Containers and certificates

MOCK_FN(SKF_CreateContainer, HAPPLICATION hApp, const char *name, HCONTAINER *phContainer)
{
    ENTER(record(__func__, hApp, name, phContainer).str(name));
    const Handle *h = g_state.find(hApp, Kind::Application);
    Application *a = h ? g_state.application(*h) : nullptr;
    REQUIRE(a, kInvalidHandle);
    REQUIRE(name && *name && phContainer, kInvalidParam);
    if (a->container(name))
        return kFail;
    a->containers.push_back(Container{name, 0, {}, {}});
    *phContainer = g_state.open(Kind::Container, {Kind::Container, h->device, h->app, name});
    return kOk;
}
MOCK_FN(SKF_DeleteContainer, HAPPLICATION hApp, const char *name)
{
    ENTER(record(__func__, hApp, name).str(name));
    LOOKUP(a, appOf, hApp);
    const Container *c = name ? a->container(name) : nullptr;
    REQUIRE(c, kObjErr);
    a->containers.erase(a->containers.begin() + (c - a->containers.data()));
    return kOk;
}
MOCK_FN(SKF_EnumContainer, HAPPLICATION hApp, char *list, uint32_t *pulSize)
{
    ENTER(record(__func__, hApp, list, pulSize));
    LOOKUP(a, appOf, hApp);
    std::vector<std::string> names;
    for (const auto &c : a->containers)
        names.push_back(c.name);
    return deliver(nameList(names), list, pulSize, &g_state.enumContainer);
}
MOCK_FN(SKF_OpenContainer, HAPPLICATION hApp, const char *name, HCONTAINER *phContainer)
{
    ENTER(record(__func__, hApp, name, phContainer).str(name));
    const Handle *h = g_state.find(hApp, Kind::Application);
    Application *a = h ? g_state.application(*h) : nullptr;
    REQUIRE(a, kInvalidHandle);
    REQUIRE(name && a->container(name), kObjErr);
    REQUIRE(phContainer, kInvalidParam);
    *phContainer = g_state.open(Kind::Container, {Kind::Container, h->device, h->app, name});
    return kOk;
}
MOCK_FN(SKF_CloseContainer, HCONTAINER hContainer)
{
    ENTER(record(__func__, hContainer));
    REQUIRE(g_state.find(hContainer, Kind::Container), kInvalidHandle);
    g_state.handles.erase(reinterpret_cast<uintptr_t>(hContainer));
    return kOk;
}
MOCK_FN(SKF_GetContainerType, HCONTAINER hContainer, uint32_t *type)
{
    ENTER(record(__func__, hContainer, type));
    LOOKUP(c, containerOf, hContainer);
    REQUIRE(type, kInvalidParam);
    *type = c->type;
    return kOk;
}
MOCK_FN(SKF_ImportCertificate, HCONTAINER hContainer, int32_t sign, const uint8_t *cert, uint32_t len)
{
    ENTER(record(__func__, hContainer, sign, cert, len).bytes(cert, len));
    LOOKUP(c, containerOf, hContainer);
    REQUIRE(cert, kInvalidParam);
    (sign ? c->signCert : c->exchangeCert).assign(cert, cert + len);
    return kOk;
}
MOCK_FN(SKF_ExportCertificate, HCONTAINER hContainer, int32_t sign, uint8_t *cert, uint32_t *len)
{
    ENTER(record(__func__, hContainer, sign, cert, len));
    LOOKUP(c, containerOf, hContainer);
    const Bytes &stored = sign ? c->signCert : c->exchangeCert;
    if (stored.empty())
        return kCertNotFound;
    return deliver(std::string(stored.begin(), stored.end()), cert, len);
}

// Asymmetric keys

MOCK_FN(SKF_GenRSAKeyPair, HCONTAINER hContainer, uint32_t bits, RSAPUBLICKEYBLOB *blob)
{
    ENTER(record(__func__, hContainer, bits, blob));
    LOOKUP(c, containerOf, hContainer);
    REQUIRE(blob, kInvalidParam);
    fill(blob, sizeof *blob, kSeedRsaPublic);
    blob->AlgID = 0x00010000;
    blob->BitLen = bits;
    c->type = 1;
    return kOk;
}
MOCK_FN(SKF_ImportRSAKeyPair, HCONTAINER hContainer, uint32_t symAlgId, const uint8_t *wrapped, uint32_t wrappedLen,
        const uint8_t *encrypted, uint32_t encryptedLen)
{
    ENTER(record(__func__, hContainer, symAlgId, wrapped, wrappedLen, encrypted, encryptedLen)
              .bytes(wrapped, wrappedLen)
              .bytes(encrypted, encryptedLen));
    LOOKUP(c, containerOf, hContainer);
    c->type = 1;
    return kOk;
}
MOCK_FN(SKF_RSASignData, HCONTAINER hContainer, const uint8_t *data, uint32_t len, uint8_t *sig, uint32_t *sigLen)
{
    ENTER(record(__func__, hContainer, data, len, sig, sigLen).bytes(data, len));
    REQUIRE(containerOf(hContainer), kInvalidHandle);
    return deliver(patternText(kRsaSignatureLength, kSeedRsaSignature), sig, sigLen);
}
MOCK_FN(SKF_RSAVerify, DEVHANDLE hDev, const RSAPUBLICKEYBLOB *blob, const uint8_t *data, uint32_t len,
        const uint8_t *sig, uint32_t sigLen)
{
    ENTER(record(__func__, hDev, blob, data, len, sig, sigLen)
              .bytes(blob, blob ? sizeof *blob : 0)
              .bytes(data, len)
              .bytes(sig, sigLen));
    return deviceOf(hDev) ? kOk : kInvalidHandle;
}
MOCK_FN(SKF_RSAExportSessionKey, HCONTAINER hContainer, uint32_t algId, RSAPUBLICKEYBLOB *pub, uint8_t *data,
        uint32_t *dataLen, SKF_HANDLE *phKey)
{
    ENTER(record(__func__, hContainer, algId, pub, data, dataLen, phKey).bytes(pub, pub ? sizeof *pub : 0));
    return containerOf(hContainer) ? kOk : kInvalidHandle;
}
MOCK_FN(SKF_GenECCKeyPair, HCONTAINER hContainer, uint32_t algId, ECCPUBLICKEYBLOB *blob)
{
    ENTER(record(__func__, hContainer, algId, blob));
    LOOKUP(c, containerOf, hContainer);
    REQUIRE(blob, kInvalidParam);
    fill(blob, sizeof *blob, kSeedEccPublic);
    blob->BitLen = 256;
    c->type = 2;
    return kOk;
}
MOCK_FN(SKF_ImportECCKeyPair, HCONTAINER hContainer, const ENVELOPEDKEYBLOB *blob)
{
    ENTER(record(__func__, hContainer, blob).bytes(blob, blob ? sizeof *blob : 0));
    LOOKUP(c, containerOf, hContainer);
    c->type = 2;
    return kOk;
}
MOCK_FN(SKF_ECCSignData, HCONTAINER hContainer, const uint8_t *data, uint32_t len, ECCSIGNATUREBLOB *sig)
{
    ENTER(record(__func__, hContainer, data, len, sig).bytes(data, len));
    REQUIRE(containerOf(hContainer), kInvalidHandle);
    REQUIRE(sig, kInvalidParam);
    fill(sig, sizeof *sig, kSeedEccSignature);
    return kOk;
}
MOCK_FN(SKF_ECCVerify, DEVHANDLE hDev, const ECCPUBLICKEYBLOB *pub, const uint8_t *data, uint32_t len,
        const ECCSIGNATUREBLOB *sig)
{
    ENTER(record(__func__, hDev, pub, data, len, sig)
              .bytes(pub, pub ? sizeof *pub : 0)
              .bytes(data, len)
              .bytes(sig, sig ? sizeof *sig : 0));
    return deviceOf(hDev) ? kOk : kInvalidHandle;
}
MOCK_FN(SKF_GenerateAgreementDataWithECC, HCONTAINER hContainer, uint32_t algId, ECCPUBLICKEYBLOB *tempPub,
        const uint8_t *id, uint32_t idLen, SKF_HANDLE *phAgreement)
{
    ENTER(record(__func__, hContainer, algId, tempPub, id, idLen, phAgreement).bytes(id, idLen));
    return containerOf(hContainer) ? kOk : kInvalidHandle;
}
MOCK_FN(SKF_GenerateAgreementDataAndKeyWithECC, HCONTAINER hContainer, uint32_t algId, ECCPUBLICKEYBLOB *sponsorPub,
        ECCPUBLICKEYBLOB *sponsorTempPub, ECCPUBLICKEYBLOB *tempPub, const uint8_t *id, uint32_t idLen,
        const uint8_t *sponsorId, uint32_t sponsorIdLen, SKF_HANDLE *phKey)
{
    ENTER(record(__func__, hContainer, algId, sponsorPub, sponsorTempPub, tempPub, id, idLen, sponsorId, sponsorIdLen,
                 phKey));
    return containerOf(hContainer) ? kOk : kInvalidHandle;
}
MOCK_FN(SKF_GenerateKeyWithECC, SKF_HANDLE hAgreement, ECCPUBLICKEYBLOB *pub, ECCPUBLICKEYBLOB *tempPub,
        const uint8_t *id, uint32_t idLen, SKF_HANDLE *phKey)
{
    ENTER(record(__func__, hAgreement, pub, tempPub, id, idLen, phKey));
    return isKey(hAgreement) ? kOk : kInvalidHandle;
}
MOCK_FN(SKF_ECCExportSessionKey, HCONTAINER hContainer, uint32_t algId, const ECCPUBLICKEYBLOB *pub,
        ECCCIPHERBLOB *cipher, SKF_HANDLE *phKey)
{
    ENTER(record(__func__, hContainer, algId, pub, cipher, phKey).bytes(pub, pub ? sizeof *pub : 0));
    REQUIRE(containerOf(hContainer), kInvalidHandle);
    REQUIRE(cipher && phKey, kInvalidParam);
    fill(cipher, sizeof *cipher, kSeedCipherBlob);
    cipher->CipherLen = kCipherLength;
    *phKey = newKey();
    return kOk;
}
MOCK_FN(SKF_ExportPublicKey, HCONTAINER hContainer, int32_t sign, uint8_t *blob, uint32_t *len)
{
    ENTER(record(__func__, hContainer, sign, blob, len));
    LOOKUP(c, containerOf, hContainer);
    if (c->type == 1)
        return deliver(patternText(sizeof(RSAPUBLICKEYBLOB), kSeedRsaPublic), blob, len);
    if (c->type == 2)
        return deliver(patternText(sizeof(ECCPUBLICKEYBLOB), kSeedEccPublic), blob, len);
    return kKeyNotFound;
}

// Session keys and ciphers

MOCK_FN(SKF_ImportSessionKey, HCONTAINER hContainer, uint32_t algId, const uint8_t *wrapped, uint32_t len,
        SKF_HANDLE *phKey)
{
    ENTER(record(__func__, hContainer, algId, wrapped, len, phKey).bytes(wrapped, len));
    REQUIRE(containerOf(hContainer), kInvalidHandle);
    REQUIRE(phKey, kInvalidParam);
    *phKey = newKey();
    return kOk;
}

// Digest and MAC

MOCK_FN(SKF_DigestInit, DEVHANDLE hDev, uint32_t algId, const ECCPUBLICKEYBLOB *pub, const uint8_t *id, uint32_t idLen,
        SKF_HANDLE *phHash)
{
    ENTER(record(__func__, hDev, algId, pub, id, idLen, phHash).bytes(pub, pub ? sizeof *pub : 0).bytes(id, idLen));
    REQUIRE(deviceOf(hDev), kInvalidHandle);
    REQUIRE(phHash, kInvalidParam);
    *phHash = newKey();
    return kOk;
}
MOCK_FN(SKF_MacInit, SKF_HANDLE hKey, BLOCKCIPHERPARAM *param, SKF_HANDLE *phMac)
{
    ENTER(record(__func__, hKey, param, phMac).bytes(param, param ? sizeof *param : 0));
    REQUIRE(isKey(hKey), kInvalidHandle);
    REQUIRE(phMac, kInvalidParam);
    *phMac = newKey();
    return kOk;
}
MOCK_FN(SKF_CloseHandle, SKF_HANDLE h)
{
    ENTER(record(__func__, h));
    REQUIRE(isKey(h), kInvalidHandle);
    g_state.handles.erase(reinterpret_cast<uintptr_t>(h));
    return kOk;
}

#ifndef MOCK_NO_SETSYMMKEY
MOCK_FN(SKF_SetSymmKey, DEVHANDLE hDev, const uint8_t *key, uint32_t algId, SKF_HANDLE *phKey)
{
    // A 128-bit block cipher key, as the standard has it.
    ENTER(record(__func__, hDev, key, algId, phKey).bytes(key, key ? 16 : 0));
    REQUIRE(deviceOf(hDev), kInvalidHandle);
    REQUIRE(phKey, kInvalidParam);
    *phKey = newKey();
    return kOk;
}
#endif

// Extensions

MOCK_FN(SKF_ECCPrvKeyDecryptEx, HCONTAINER hContainer, uint32_t keySpec, const ECCCIPHERBLOB *cipher, uint8_t *plain,
        uint32_t *plainLen)
{
    ENTER(record(__func__, hContainer, keySpec, cipher, plain, plainLen));
    return containerOf(hContainer) ? kOk : kInvalidHandle;
}
MOCK_FN(SKF_ExtECCEncrypt, DEVHANDLE hDev, const ECCPUBLICKEYBLOB *pub, const uint8_t *plain, uint32_t len,
        ECCCIPHERBLOB *cipher)
{
    ENTER(record(__func__, hDev, pub, plain, len, cipher).bytes(plain, len));
    return deviceOf(hDev) ? kOk : kInvalidHandle;
}
MOCK_FN(SKF_ReadUsrDataFile, HAPPLICATION hApp, uint32_t area, uint32_t arg3, uint32_t offset, uint32_t length,
        uint8_t *buffer)
{
    ENTER(record(__func__, hApp, area, arg3, offset, length, buffer));
    LOOKUP(a, appOf, hApp);
    const auto image = a->userData.find(area);
    if (image == a->userData.end())
        return kFileNotExist;
    REQUIRE(buffer, kInvalidParam);
    // Bytes past the image read as erased flash.
    std::memset(buffer, 0xFF, length);
    const Bytes &bytes = image->second;
    if (offset < bytes.size())
        std::memcpy(buffer, bytes.data() + offset, std::min<size_t>(length, bytes.size() - offset));
    return kOk;
}

KEY_INIT(SKF_EncryptInit)
KEY_INIT(SKF_DecryptInit)
KEY_DATA_OUT(SKF_Encrypt, xored(data, len))
KEY_DATA_OUT(SKF_EncryptUpdate, xored(data, len))
KEY_DATA_OUT(SKF_Decrypt, xored(data, len))
KEY_DATA_OUT(SKF_DecryptUpdate, xored(data, len))
KEY_DATA_OUT(SKF_Digest, patternText(kDigestLength, kSeedDigest))
KEY_DATA_OUT(SKF_Mac, patternText(kMacLength, kSeedMac))
KEY_DATA(SKF_DigestUpdate)
KEY_DATA(SKF_MacUpdate)
KEY_OUT(SKF_EncryptFinal, "")
KEY_OUT(SKF_DecryptFinal, "")
KEY_OUT(SKF_DigestFinal, patternText(kDigestLength, kSeedDigest))
KEY_OUT(SKF_MacFinal, patternText(kMacLength, kSeedMac))
ECC_DECRYPT(SKF_ECCDecrypt)
ECC_DECRYPT(SKFEX_ECCDecrypt)
#ifndef MOCK_NO_PRVKEYDECRYPT
ECC_DECRYPT(SKF_PrvKeyDecrypt)
#endif
