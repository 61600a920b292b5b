// A scriptable vendor library. Built several times with MOCK_NO_EPS, MOCK_NO_SETSYMMKEY and
// MOCK_NO_PRVKEYDECRYPT to leave out names. Every entry records itself first, then answers a
// forced result if one is scripted, then simulates the key.
#include <algorithm>
#include <cstddef>
#include <iterator>
#include <mutex>
#include <type_traits>

#include "mock/MockControl.h"

using namespace mock;

// Declares the entry with C linkage and checks its prototype against the adaptor's pointer type.
#define MOCK_FN(name, ...)                                                                                             \
    extern "C" uint32_t KXF_CALL name(__VA_ARGS__);                                                                    \
    static_assert(std::is_same_v<decltype(&name), PFN_##name>, "prototype of " #name);                                 \
    extern "C" uint32_t KXF_CALL name(__VA_ARGS__)

// Records the call, then answers a scripted result if there is one. One call at a time, so that
// hosts on several threads can share the simulated world.
#define ENTER(recording)                                                                                               \
    const std::lock_guard<std::recursive_mutex> entryLock_(g_entryLock);                                              \
    do {                                                                                                               \
        recording;                                                                                                     \
        if (uint32_t forced_ = 0; g_state.takeForced(__func__, forced_))                                               \
            return forced_;                                                                                            \
    } while (0)

// An entry whose simulation is one expression: ENTRY(name, (parameters), (arguments)[.bytes(...)], result).
#define EXPAND(...) __VA_ARGS__
#define ENTRY(name, params, args, ...)                                                                                 \
    MOCK_FN(name, EXPAND params)                                                                                       \
    {                                                                                                                  \
        ENTER(record(__func__) args);                                                                                  \
        return __VA_ARGS__;                                                                                            \
    }

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
std::recursive_mutex g_entryLock;

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

template <class T>
void noteString(Call &, const T &)
{
}
void noteString(Call &call, const char *const &text)
{
    call.strings.emplace_back(text ? text : "");
}

// record(fn)(arguments...) logs the call with every argument as a word and every string.
struct Recorder {
    const char *fn;
    template <class... A>
    Call &operator()(const A &...args) const
    {
        Call &call = g_state.log.emplace_back(Call{fn, {word(args)...}, {}, {}});
        (noteString(call, args), ...);
        return call;
    }
};

Recorder record(const char *fn)
{
    return Recorder{fn};
}

uint32_t ok(bool found)
{
    return found ? kOk : kInvalidHandle;
}

void fill(void *p, size_t n, uint8_t seed)
{
    auto *b = static_cast<uint8_t *>(p);
    for (size_t i = 0; i < n; ++i)
        b[i] = patternByte(seed, i);
}

std::vector<Device> presentDevices()
{
    std::vector<Device> shown;
    std::copy_if(g_state.devices.begin(), g_state.devices.end(), std::back_inserter(shown),
                 [](const Device &d) { return d.present; });
    return shown;
}

template <class T>
std::string nameList(const std::vector<T> &items)
{
    std::string list;
    for (const auto &item : items)
        list.append(item.name).push_back('\0');
    return list + '\0';
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
    const uint32_t room = *pulLen;
    *pulLen = need;
    if (!out)
        return kOk;
    REQUIRE(room >= need, kBufferTooSmall);
    std::memcpy(out, bytes.data(), need);
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

// f(object) for the object behind a handle, or kInvalidHandle.
template <class T, class F>
uint32_t with(T *object, F f)
{
    return object ? f(*object) : kInvalidHandle;
}

template <class T>
uint32_t copyTo(T *out, const T &value)
{
    REQUIRE(out, kInvalidParam);
    *out = value;
    return kOk;
}

uint32_t filled(void *out, size_t n, uint8_t seed)
{
    REQUIRE(out, kInvalidParam);
    fill(out, n, seed);
    return kOk;
}

uint32_t newKey(SKF_HANDLE *phKey)
{
    REQUIRE(phKey, kInvalidParam);
    *phKey = g_state.open({Kind::Key, {}, {}, {}});
    return kOk;
}

bool isKey(const void *h)
{
    return g_state.find(h, Kind::Key) != nullptr;
}

uint32_t close(const void *h, Kind kind)
{
    REQUIRE(g_state.find(h, kind), kInvalidHandle);
    g_state.handles.erase(reinterpret_cast<uintptr_t>(h));
    return kOk;
}

Device *deviceOf(const void *h)
{
    const Handle *handle = g_state.find(h, Kind::Device);
    return handle ? named(g_state.devices, handle->device) : nullptr;
}

Application *application(const Handle *h)
{
    Device *d = h ? named(g_state.devices, h->device) : nullptr;
    return d ? named(d->apps, h->app) : nullptr;
}

Application *appOf(const void *h)
{
    return application(g_state.find(h, Kind::Application));
}

Container *containerOf(const void *h)
{
    const Handle *handle = g_state.find(h, Kind::Container);
    Application *a = application(handle);
    return a ? named(a->containers, handle->container) : nullptr;
}

// Removes the item of that name from a list, or answers missing.
template <class T>
uint32_t erase(std::vector<T> &items, const char *name, uint32_t missing)
{
    const T *item = name ? named(items, name) : nullptr;
    REQUIRE(item, missing);
    items.erase(items.begin() + (item - items.data()));
    return kOk;
}

// SKF_ECCDecrypt, SKFEX_ECCDecrypt and SKF_PrvKeyDecrypt: the cipher bytes as CipherLen gives them, XORed.
uint32_t eccDecrypt(const void *hContainer, const uint8_t *blob, uint8_t *plain, uint32_t *plainLen)
{
    REQUIRE(containerOf(hContainer), kInvalidHandle);
    REQUIRE(blob, kInvalidParam);
    uint32_t cipherLen = 0;
    std::memcpy(&cipherLen, blob + offsetof(ECCCIPHERBLOB, CipherLen), sizeof cipherLen);
    return deliver(xored(blob + offsetof(ECCCIPHERBLOB, Cipher), std::min<uint32_t>(cipherLen, 1024)), plain, plainLen);
}

// A new application or container handle under the application or device handle h.
uint32_t openUnder(const Handle &h, Kind kind, const char *name, void **out)
{
    REQUIRE(out, kInvalidParam);
    *out =
        g_state.open(kind == Kind::Container ? Handle{kind, h.device, h.app, name} : Handle{kind, h.device, name, {}});
    return kOk;
}

} // namespace

// Entries that share one body.
#define KEY_INIT(name)                                                                                                 \
    ENTRY(name, (SKF_HANDLE hKey, BLOCKCIPHERPARAM param), (hKey, param).bytes(&param, sizeof param), ok(isKey(hKey)))
#define KEY_DATA_OUT(name, output)                                                                                     \
    ENTRY(name, (SKF_HANDLE hKey, const uint8_t *data, uint32_t len, uint8_t *out, uint32_t *outLen),                  \
          (hKey, data, len, out, outLen).bytes(data, len),                                                             \
          isKey(hKey) ? deliver(output, out, outLen) : kInvalidHandle)
#define KEY_DATA(name)                                                                                                 \
    ENTRY(name, (SKF_HANDLE hKey, const uint8_t *data, uint32_t len), (hKey, data, len), ok(isKey(hKey)))
#define KEY_OUT(name, output)                                                                                          \
    ENTRY(name, (SKF_HANDLE hKey, uint8_t * out, uint32_t * outLen), (hKey, out, outLen),                              \
          isKey(hKey) ? deliver(output, out, outLen) : kInvalidHandle)
#define ECC_DECRYPT(name)                                                                                              \
    ENTRY(name, (HCONTAINER hContainer, int32_t keySpec, const uint8_t *cipher, uint8_t *plain, uint32_t *plainLen),   \
          (hContainer, keySpec, cipher, plain, plainLen), eccDecrypt(hContainer, cipher, plain, plainLen))

extern "C" State *mock_state()
{
    return &g_state;
}

#ifndef MOCK_NO_EPS
ENTRY(EPS_Decrypt, (void), (), kOk)
ENTRY(EPS_Encrypt, (void), (), kOk)
ENTRY(EPS_Mac, (void), (), kOk)
ENTRY(EPS_ImportSymmKey, (uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5), (a1, a2, a3, a4, a5),
      kOk)
ENTRY(EPS_WriteESealData, (HAPPLICATION hApp, uintptr_t a1, uintptr_t a2, uintptr_t a3), (hApp, a1, a2, a3),
      ok(appOf(hApp)))
ENTRY(EPS_ReadESealData, (HAPPLICATION hApp, uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5),
      (hApp, a1, a2, a3, a4, a5), ok(appOf(hApp)))
ENTRY(SKF_Transmit, (DEVHANDLE hDev, const uint8_t *cmd, uint32_t cmdLen, uint8_t *data, uint32_t *dataLen),
      (hDev, cmd, cmdLen, data, dataLen), ok(deviceOf(hDev)))
#endif

// Device

ENTRY(SKF_WaitForDevEvent, (char *name, uint32_t *nameLen, uint32_t *event), (name, nameLen, event), kNotSupported)
ENTRY(SKF_EnumDev, (int32_t present, char *list, uint32_t *pulSize), (present, list, pulSize),
      deliver(nameList(present ? presentDevices() : g_state.devices), list, pulSize))
MOCK_FN(SKF_ConnectDev, const char *name, DEVHANDLE *phDev)
{
    ENTER(record(__func__)(name, phDev));
    Device *d = name ? named(g_state.devices, name) : nullptr;
    REQUIRE(d && d->present, kDeviceRemoved);
    return openUnder({Kind::Device, d->name, {}, {}}, Kind::Device, "", phDev);
}
ENTRY(SKF_DisConnectDev, (DEVHANDLE hDev), (hDev), close(hDev, Kind::Device))
ENTRY(SKF_GetDevState, (const char *name, uint32_t *state), (name, state), kOk)
ENTRY(SKF_SetLabel, (DEVHANDLE hDev, const char *label), (hDev, label), ok(deviceOf(hDev)))
ENTRY(SKF_GetDevInfo, (DEVHANDLE hDev, DEVINFO *info), (hDev, info),
      with(deviceOf(hDev), [&](Device &d) { return d.getDevInfoResult ? d.getDevInfoResult : copyTo(info, d.info); }))
ENTRY(SKF_LockDev, (DEVHANDLE hDev, uint32_t timeout), (hDev, timeout), ok(deviceOf(hDev)))
ENTRY(SKF_UnlockDev, (DEVHANDLE hDev), (hDev), ok(deviceOf(hDev)))
ENTRY(SKF_ChangeDevAuthKey, (DEVHANDLE hDev, const uint8_t *key, uint32_t len), (hDev, key, len), ok(deviceOf(hDev)))
ENTRY(SKF_DevAuth, (DEVHANDLE hDev, const uint8_t *data, uint32_t len), (hDev, data, len).bytes(data, len),
      ok(deviceOf(hDev)))
ENTRY(SKF_GenRandom, (DEVHANDLE hDev, uint8_t *out, uint32_t len), (hDev, out, len),
      deviceOf(hDev) ? filled(out, len, kSeedRandom) : kInvalidHandle)

// PIN

MOCK_FN(SKF_ChangePIN, HAPPLICATION hApp, uint32_t type, const char *oldPin, const char *newPin, uint32_t *retry)
{
    ENTER(record(__func__)(hApp, type, oldPin, newPin, retry));
    LOOKUP(a, appOf, hApp);
    Pin *pin = a->pin(type);
    REQUIRE(pin, kInvalidParam);
    const uint32_t result = checkPin(*pin, oldPin, retry);
    if (result == kOk)
        pin->text = newPin ? newPin : "";
    return result;
}
MOCK_FN(SKF_GetPINInfo, HAPPLICATION hApp, uint32_t type, uint32_t *maxRetry, uint32_t *remaining, int32_t *isDefault)
{
    ENTER(record(__func__)(hApp, type, maxRetry, remaining, isDefault));
    LOOKUP(a, appOf, hApp);
    const Pin *pin = a->pin(type);
    REQUIRE(pin && maxRetry && remaining && isDefault, kInvalidParam);
    *maxRetry = pin->maxRetry;
    *remaining = pin->remaining;
    *isDefault = 0;
    return kOk;
}
ENTRY(SKF_VerifyPIN, (HAPPLICATION hApp, uint32_t type, const char *pin, uint32_t *retry), (hApp, type, pin, retry),
      with(appOf(hApp),
           [&](Application &a) { return a.pin(type) ? checkPin(*a.pin(type), pin, retry) : kInvalidParam; }))
MOCK_FN(SKF_UnblockPIN, HAPPLICATION hApp, const char *adminPin, const char *newUserPin, uint32_t *retry)
{
    ENTER(record(__func__)(hApp, adminPin, newUserPin, retry));
    LOOKUP(a, appOf, hApp);
    const uint32_t result = checkPin(a->admin, adminPin, retry);
    if (result == kOk) {
        a->user.text = newUserPin ? newUserPin : "";
        a->user.remaining = a->user.maxRetry;
    }
    return result;
}
ENTRY(SKF_GenRemoteUnblockRequest, (HAPPLICATION hApp, uint8_t *random, uint32_t len), (hApp, random, len),
      ok(appOf(hApp)))
ENTRY(SKF_RemoteUnblockPIN, (HAPPLICATION hApp, const uint8_t *cipher, uint32_t len), (hApp, cipher, len),
      ok(appOf(hApp)))
ENTRY(SKF_ClearSecureState, (HAPPLICATION hApp), (hApp), ok(appOf(hApp)))

// Files

ENTRY(SKF_CreateFile, (HAPPLICATION hApp, const char *name, uint32_t size, uint32_t readRights, uint32_t writeRights),
      (hApp, name, size, readRights, writeRights), with(appOf(hApp), [&](Application &a) {
          REQUIRE(name && *name && !named(a.files, name), kFail);
          a.files.push_back(File{name, Bytes(size)});
          return kOk;
      }))
ENTRY(SKF_DeleteFile, (HAPPLICATION hApp, const char *name), (hApp, name),
      with(appOf(hApp), [&](Application &a) { return erase(a.files, name, kFileNotExist); }))
ENTRY(SKF_EnumFiles, (HAPPLICATION hApp, char *list, uint32_t *pulSize), (hApp, list, pulSize),
      with(appOf(hApp), [&](Application &a) { return deliver(nameList(a.files), list, pulSize, &g_state.enumFiles); }))
MOCK_FN(SKF_GetFileInfo, HAPPLICATION hApp, const char *name, FILEATTRIBUTE *info)
{
    ENTER(record(__func__)(hApp, name, info));
    LOOKUP(a, appOf, hApp);
    const File *f = name ? named(a->files, name) : nullptr;
    REQUIRE(f, kFileNotExist);
    REQUIRE(info, kInvalidParam);
    *info = FILEATTRIBUTE{};
    setField(info->FileName, f->name);
    info->FileSize = static_cast<uint32_t>(f->data.size());
    return kOk;
}
MOCK_FN(SKF_ReadFile, HAPPLICATION hApp, const char *name, uint32_t offset, uint32_t size, uint8_t *out,
        uint32_t *outLen)
{
    ENTER(record(__func__)(hApp, name, offset, size, out, outLen));
    LOOKUP(a, appOf, hApp);
    const File *f = name ? named(a->files, name) : nullptr;
    REQUIRE(f, kFileNotExist);
    const size_t start = std::min<size_t>(offset, f->data.size());
    const size_t n = std::min<size_t>(size, f->data.size() - start);
    return deliver(std::string(f->data.begin() + start, f->data.begin() + start + n), out, outLen);
}
MOCK_FN(SKF_WriteFile, HAPPLICATION hApp, const char *name, uint32_t offset, const uint8_t *data, uint32_t size)
{
    ENTER(record(__func__)(hApp, name, offset, data, size));
    LOOKUP(a, appOf, hApp);
    File *f = name ? named(a->files, name) : nullptr;
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
    ENTER(record(__func__)(hDev, name, adminPin, adminRetry, userPin, userRetry, createFileRights, phApp));
    LOOKUP(d, deviceOf, hDev);
    REQUIRE(name && *name && !named(d->apps, name), kFail);
    Application a = State::makeApp(name, adminPin ? adminPin : "", userPin ? userPin : "");
    a.admin.maxRetry = a.admin.remaining = adminRetry;
    a.user.maxRetry = a.user.remaining = userRetry;
    d->apps.push_back(a);
    return openUnder({Kind::Device, d->name, {}, {}}, Kind::Application, name, phApp);
}
ENTRY(SKF_EnumApplication, (DEVHANDLE hDev, char *list, uint32_t *pulSize), (hDev, list, pulSize),
      with(deviceOf(hDev),
           [&](Device &d) { return deliver(nameList(d.apps), list, pulSize, &g_state.enumApplication); }))
ENTRY(SKF_DeleteApplication, (DEVHANDLE hDev, const char *name), (hDev, name),
      with(deviceOf(hDev), [&](Device &d) { return erase(d.apps, name, kAppNotExists); }))
MOCK_FN(SKF_OpenApplication, DEVHANDLE hDev, const char *name, HAPPLICATION *phApp)
{
    ENTER(record(__func__)(hDev, name, phApp));
    LOOKUP(d, deviceOf, hDev);
    REQUIRE(name && named(d->apps, name), kAppNotExists);
    return openUnder({Kind::Device, d->name, {}, {}}, Kind::Application, name, phApp);
}
ENTRY(SKF_CloseApplication, (HAPPLICATION hApp), (hApp), close(hApp, Kind::Application))

// Containers and certificates; certificates are not kept.

MOCK_FN(SKF_CreateContainer, HAPPLICATION hApp, const char *name, HCONTAINER *phContainer)
{
    ENTER(record(__func__)(hApp, name, phContainer));
    const Handle *h = g_state.find(hApp, Kind::Application);
    Application *a = application(h);
    REQUIRE(a, kInvalidHandle);
    REQUIRE(name && *name && !named(a->containers, name), kFail);
    a->containers.push_back(Container{name, 0});
    return openUnder(*h, Kind::Container, name, phContainer);
}
ENTRY(SKF_DeleteContainer, (HAPPLICATION hApp, const char *name), (hApp, name),
      with(appOf(hApp), [&](Application &a) { return erase(a.containers, name, kFail); }))
ENTRY(SKF_EnumContainer, (HAPPLICATION hApp, char *list, uint32_t *pulSize), (hApp, list, pulSize),
      with(appOf(hApp), [&](Application &a) { return deliver(nameList(a.containers), list, pulSize); }))
MOCK_FN(SKF_OpenContainer, HAPPLICATION hApp, const char *name, HCONTAINER *phContainer)
{
    ENTER(record(__func__)(hApp, name, phContainer));
    const Handle *h = g_state.find(hApp, Kind::Application);
    Application *a = application(h);
    REQUIRE(a, kInvalidHandle);
    REQUIRE(name && named(a->containers, name), kFail);
    return openUnder(*h, Kind::Container, name, phContainer);
}
ENTRY(SKF_CloseContainer, (HCONTAINER hContainer), (hContainer), close(hContainer, Kind::Container))
ENTRY(SKF_GetContainerType, (HCONTAINER hContainer, uint32_t *type), (hContainer, type),
      with(containerOf(hContainer), [&](Container &c) { return copyTo(type, c.type); }))
ENTRY(SKF_ImportCertificate, (HCONTAINER hContainer, int32_t sign, const uint8_t *cert, uint32_t len),
      (hContainer, sign, cert, len), ok(containerOf(hContainer)))
ENTRY(SKF_ExportCertificate, (HCONTAINER hContainer, int32_t sign, uint8_t *cert, uint32_t *len),
      (hContainer, sign, cert, len), containerOf(hContainer) ? kCertNotFound : kInvalidHandle)

// Asymmetric keys

MOCK_FN(SKF_GenRSAKeyPair, HCONTAINER hContainer, uint32_t bits, RSAPUBLICKEYBLOB *blob)
{
    ENTER(record(__func__)(hContainer, bits, blob));
    LOOKUP(c, containerOf, hContainer);
    REQUIRE(blob, kInvalidParam);
    fill(blob, sizeof *blob, kSeedRsaPublic);
    blob->AlgID = 0x00010000;
    blob->BitLen = bits;
    c->type = 1;
    return kOk;
}
ENTRY(SKF_ImportRSAKeyPair,
      (HCONTAINER hContainer, uint32_t symAlgId, const uint8_t *wrapped, uint32_t wrappedLen, const uint8_t *encrypted,
       uint32_t encryptedLen),
      (hContainer, symAlgId, wrapped, wrappedLen, encrypted, encryptedLen), ok(containerOf(hContainer)))
ENTRY(SKF_RSASignData, (HCONTAINER hContainer, const uint8_t *data, uint32_t len, uint8_t *sig, uint32_t *sigLen),
      (hContainer, data, len, sig, sigLen),
      containerOf(hContainer) ? deliver(patternText(256, 0x40), sig, sigLen) : kInvalidHandle)
ENTRY(SKF_RSAVerify,
      (DEVHANDLE hDev, const RSAPUBLICKEYBLOB *blob, const uint8_t *data, uint32_t len, const uint8_t *sig,
       uint32_t sigLen),
      (hDev, blob, data, len, sig, sigLen), ok(deviceOf(hDev)))
ENTRY(SKF_RSAExportSessionKey,
      (HCONTAINER hContainer, uint32_t algId, RSAPUBLICKEYBLOB *pub, uint8_t *data, uint32_t *dataLen,
       SKF_HANDLE *phKey),
      (hContainer, algId, pub, data, dataLen, phKey), ok(containerOf(hContainer)))
MOCK_FN(SKF_GenECCKeyPair, HCONTAINER hContainer, uint32_t algId, ECCPUBLICKEYBLOB *blob)
{
    ENTER(record(__func__)(hContainer, algId, blob));
    LOOKUP(c, containerOf, hContainer);
    REQUIRE(blob, kInvalidParam);
    fill(blob, sizeof *blob, kSeedEccPublic);
    blob->BitLen = 256;
    c->type = 2;
    return kOk;
}
ENTRY(SKF_ImportECCKeyPair, (HCONTAINER hContainer, const ENVELOPEDKEYBLOB *blob), (hContainer, blob),
      ok(containerOf(hContainer)))
ENTRY(SKF_ECCSignData, (HCONTAINER hContainer, const uint8_t *data, uint32_t len, ECCSIGNATUREBLOB *sig),
      (hContainer, data, len, sig),
      containerOf(hContainer) ? filled(sig, sizeof *sig, kSeedEccSignature) : kInvalidHandle)
ENTRY(SKF_ECCVerify,
      (DEVHANDLE hDev, const ECCPUBLICKEYBLOB *pub, const uint8_t *data, uint32_t len, const ECCSIGNATUREBLOB *sig),
      (hDev, pub, data, len, sig), ok(deviceOf(hDev)))
ENTRY(SKF_GenerateAgreementDataWithECC,
      (HCONTAINER hContainer, uint32_t algId, ECCPUBLICKEYBLOB *tempPub, const uint8_t *id, uint32_t idLen,
       SKF_HANDLE *phAgreement),
      (hContainer, algId, tempPub, id, idLen, phAgreement), ok(containerOf(hContainer)))
ENTRY(SKF_GenerateAgreementDataAndKeyWithECC,
      (HCONTAINER hContainer, uint32_t algId, ECCPUBLICKEYBLOB *sponsorPub, ECCPUBLICKEYBLOB *sponsorTempPub,
       ECCPUBLICKEYBLOB *tempPub, const uint8_t *id, uint32_t idLen, const uint8_t *sponsorId, uint32_t sponsorIdLen,
       SKF_HANDLE *phKey),
      (hContainer, algId, sponsorPub, sponsorTempPub, tempPub, id, idLen, sponsorId, sponsorIdLen, phKey),
      ok(containerOf(hContainer)))
ENTRY(SKF_GenerateKeyWithECC,
      (SKF_HANDLE hAgreement, ECCPUBLICKEYBLOB *pub, ECCPUBLICKEYBLOB *tempPub, const uint8_t *id, uint32_t idLen,
       SKF_HANDLE *phKey),
      (hAgreement, pub, tempPub, id, idLen, phKey), ok(isKey(hAgreement)))
MOCK_FN(SKF_ECCExportSessionKey, HCONTAINER hContainer, uint32_t algId, const ECCPUBLICKEYBLOB *pub,
        ECCCIPHERBLOB *cipher, SKF_HANDLE *phKey)
{
    ENTER(record(__func__)(hContainer, algId, pub, cipher, phKey));
    REQUIRE(containerOf(hContainer), kInvalidHandle);
    REQUIRE(cipher && phKey, kInvalidParam);
    fill(cipher, sizeof *cipher, kSeedCipherBlob);
    cipher->CipherLen = kCipherLength;
    return newKey(phKey);
}
ENTRY(SKF_ExportPublicKey, (HCONTAINER hContainer, int32_t sign, uint8_t *blob, uint32_t *len),
      (hContainer, sign, blob, len), with(containerOf(hContainer), [&](Container &c) {
          return c.type == 1   ? deliver(patternText(sizeof(RSAPUBLICKEYBLOB), kSeedRsaPublic), blob, len)
                 : c.type == 2 ? deliver(patternText(sizeof(ECCPUBLICKEYBLOB), kSeedEccPublic), blob, len)
                               : kKeyNotFound;
      }))

// Session keys, digests and MACs

ENTRY(SKF_ImportSessionKey,
      (HCONTAINER hContainer, uint32_t algId, const uint8_t *wrapped, uint32_t len, SKF_HANDLE *phKey),
      (hContainer, algId, wrapped, len, phKey), containerOf(hContainer) ? newKey(phKey) : kInvalidHandle)
ENTRY(SKF_DigestInit,
      (DEVHANDLE hDev, uint32_t algId, const ECCPUBLICKEYBLOB *pub, const uint8_t *id, uint32_t idLen,
       SKF_HANDLE *phHash),
      (hDev, algId, pub, id, idLen, phHash).bytes(pub, pub ? sizeof *pub : 0),
      deviceOf(hDev) ? newKey(phHash) : kInvalidHandle)
ENTRY(SKF_MacInit, (SKF_HANDLE hKey, BLOCKCIPHERPARAM *param, SKF_HANDLE *phMac), (hKey, param, phMac),
      isKey(hKey) ? newKey(phMac) : kInvalidHandle)
ENTRY(SKF_CloseHandle, (SKF_HANDLE h), (h), close(h, Kind::Key))

#ifndef MOCK_NO_SETSYMMKEY
// A 128-bit block cipher key, as the standard has it.
ENTRY(SKF_SetSymmKey, (DEVHANDLE hDev, const uint8_t *key, uint32_t algId, SKF_HANDLE *phKey),
      (hDev, key, algId, phKey).bytes(key, key ? 16 : 0), deviceOf(hDev) ? newKey(phKey) : kInvalidHandle)
#endif

// Extensions

ENTRY(SKF_ECCPrvKeyDecryptEx,
      (HCONTAINER hContainer, uint32_t keySpec, const ECCCIPHERBLOB *cipher, uint8_t *plain, uint32_t *plainLen),
      (hContainer, keySpec, cipher, plain, plainLen), ok(containerOf(hContainer)))
ENTRY(SKF_ExtECCEncrypt,
      (DEVHANDLE hDev, const ECCPUBLICKEYBLOB *pub, const uint8_t *plain, uint32_t len, ECCCIPHERBLOB *cipher),
      (hDev, pub, plain, len, cipher), ok(deviceOf(hDev)))
MOCK_FN(SKF_ReadUsrDataFile, HAPPLICATION hApp, uint32_t area, uint32_t arg3, uint32_t offset, uint32_t length,
        uint8_t *buffer)
{
    ENTER(record(__func__)(hApp, area, arg3, offset, length, buffer));
    LOOKUP(a, appOf, hApp);
    const auto image = a->userData.find(area);
    REQUIRE(image != a->userData.end(), kFileNotExist);
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
KEY_DATA_OUT(SKF_Digest, patternText(32, 0x60))
KEY_DATA_OUT(SKF_Mac, patternText(16, 0x70))
KEY_DATA(SKF_DigestUpdate)
KEY_DATA(SKF_MacUpdate)
KEY_OUT(SKF_EncryptFinal, "")
KEY_OUT(SKF_DecryptFinal, "")
KEY_OUT(SKF_DigestFinal, patternText(32, 0x60))
KEY_OUT(SKF_MacFinal, patternText(16, 0x70))
ECC_DECRYPT(SKF_ECCDecrypt)
ECC_DECRYPT(SKFEX_ECCDecrypt)
#ifndef MOCK_NO_PRVKEYDECRYPT
ECC_DECRYPT(SKF_PrvKeyDecrypt)
#endif
