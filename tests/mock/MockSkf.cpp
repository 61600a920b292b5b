// A scriptable vendor library exporting the adaptor's own list of vendor entry points, each with
// the adaptor's pointer type. Every entry records itself first, then answers a forced result if
// one is scripted, then runs its simulation; an entry without one answers kSAR_OK. Variants leave
// names out (tests/CMakeLists.txt).
#include <algorithm>
#include <cstddef>
#include <iterator>
#include <mutex>
#include <tuple>
#include <type_traits>

#include "library/SkfEntryPoints.h"
#include "mock/MockControl.h"

using namespace mock;

// Answers code unless the condition holds.
#define REQUIRE(condition, code)                                                                                       \
    if (!(condition))                                                                                                  \
    return code

// The adaptor's list and the one name it does not resolve.
#define MOCK_ENTRY_POINTS(X) UKEY_SKF_ENTRY_POINTS(X) X(SKF_PrvKeyDecrypt, false)

namespace {

State g_state;
// One entry at a time, so that hosts on several threads can share the simulated world.
std::recursive_mutex g_entryLock;

// The log keeps every const char * argument as text.
template <class T>
void noteText(Call &call, const T &v)
{
    if constexpr (std::is_same_v<T, const char *>)
        call.strings.emplace_back(v ? v : "");
}

// Keeps a copy of a buffer the entry was given in its log record.
void note(const void *p, size_t n)
{
    const auto *b = static_cast<const uint8_t *>(p);
    g_state.log.back().data.emplace_back(b ? Bytes(b, b + n) : Bytes{});
}

void fill(void *p, size_t n, uint8_t seed)
{
    for (size_t i = 0; i < n; ++i)
        static_cast<uint8_t *>(p)[i] = patternByte(seed, i);
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
    std::transform(s.begin(), s.end(), s.begin(), [](char c) { return static_cast<char>(c ^ kXor); });
    return s;
}

template <class T>
std::string nameList(const std::vector<T> &items)
{
    std::string list;
    for (const auto &item : items)
        list.append(item.name).push_back('\0');
    return list + '\0';
}

// The two-call convention: a null buffer asks for the length; a short one gets kSAR_BUFFER_TOO_SMALL.
// A scripted list is written up to the stated capacity, with the lengths the script gives.
uint32_t deliver(const std::string &bytes, void *out, uint32_t *pulLen, const RawList *raw = nullptr)
{
    REQUIRE(pulLen, kSAR_INVALIDPARAMERR);
    const uint32_t room = *pulLen;
    if (raw && raw->active) {
        if (out)
            std::memcpy(out, raw->bytes.data(), std::min<size_t>(room, raw->bytes.size()));
        *pulLen = !out ? raw->queryLength : raw->lieBeyondCapacity ? raw->fillLength : std::min(raw->fillLength, room);
        return kSAR_OK;
    }
    *pulLen = static_cast<uint32_t>(bytes.size());
    REQUIRE(!out || room >= bytes.size(), kSAR_BUFFER_TOO_SMALL);
    if (out)
        std::memcpy(out, bytes.data(), bytes.size());
    return kSAR_OK;
}

uint32_t checkPin(Pin &pin, const char *text, uint32_t *retry)
{
    const uint32_t result = !pin.remaining ? kSAR_PIN_LOCKED : !text || pin.text != text ? kSAR_PIN_INCORRECT : kSAR_OK;
    pin.remaining = result == kSAR_OK ? pin.maxRetry : result == kSAR_PIN_INCORRECT ? pin.remaining - 1 : 0;
    if (retry)
        *retry = pin.remaining;
    return result;
}

uint32_t close(const void *h, Kind kind)
{
    return g_state.find(h, kind) && g_state.handles.erase(word(h)) ? kSAR_OK : kSAR_INVALIDHANDLEERR;
}

Device *device(const Handle *h)
{
    return h ? named(g_state.devices, h->device) : nullptr;
}

Application *application(const Handle *h)
{
    Device *d = device(h);
    return d ? named(d->apps, h->app) : nullptr;
}

Container *containerOf(const void *h)
{
    const Handle *handle = g_state.find(h, Kind::Container);
    Application *a = application(handle);
    return a ? named(a->containers, handle->container) : nullptr;
}

const auto copyTo = [](auto *out, const auto &value) { return out ? (*out = value, kSAR_OK) : kSAR_INVALIDPARAMERR; };
const auto filled = [](void *out, size_t n, uint8_t seed) {
    return out ? (fill(out, n, seed), kSAR_OK) : kSAR_INVALIDPARAMERR;
};
// A new handle for h in out.
const auto opened = [](Handle h, void **out) { return out ? (*out = g_state.open(h), kSAR_OK) : kSAR_INVALIDPARAMERR; };
const auto newKey = [](SKF_HANDLE *phKey) { return opened({Kind::Key, {}, {}, {}}, phKey); };
const auto keyOf = [](const void *h) { return g_state.find(h, Kind::Key); };
const auto deviceOf = [](const void *h) { return device(g_state.find(h, Kind::Device)); };
const auto appOf = [](const void *h) { return application(g_state.find(h, Kind::Application)); };

// A simulation over the object behind the first argument and the other arguments; an entry whose
// first argument finds nothing answers kSAR_INVALIDHANDLEERR.
template <class Lookup, class F>
auto on(Lookup lookup, F f)
{
    return [=](void *h, auto... args) {
        auto *object = lookup(h);
        return object ? f(*object, args...) : kSAR_INVALIDHANDLEERR;
    };
}

// Removes the item of that name from a list, or answers missing.
template <class T>
uint32_t erase(std::vector<T> &items, const char *name, uint32_t missing)
{
    const T *item = name ? named(items, name) : nullptr;
    REQUIRE(item, missing);
    items.erase(items.begin() + (item - items.data()));
    return kSAR_OK;
}

#define MOCK_NAME(name, required) constexpr char k##name[] = #name;
MOCK_ENTRY_POINTS(MOCK_NAME)
#undef MOCK_NAME

// The simulation of one entry, a lambda over the entry's arguments; none for most entries.
template <const char *Name>
const auto simulation = nullptr;
#define SIM(name)                                                                                                      \
    template <>                                                                                                        \
    const auto simulation<k##name>
// What an entry copies into its log record before any forced result.
template <const char *Name>
const auto kept = nullptr;
#define KEEP(name)                                                                                                     \
    template <>                                                                                                        \
    const auto kept<k##name>
template <auto &F>
constexpr bool defined = !std::is_null_pointer_v<std::remove_cv_t<std::remove_reference_t<decltype(F)>>>;

template <const char *Name, class Pfn>
struct Entry;
template <const char *Name, class... A>
struct Entry<Name, uint32_t(KXF_CALL *)(A...)> {
    static uint32_t KXF_CALL call(A... args)
    {
        const std::lock_guard<std::recursive_mutex> lock(g_entryLock);
        Call &logged = g_state.log.emplace_back(Call{Name, {word(args)...}, {}, {}});
        (noteText(logged, args), ...);
        if constexpr (defined<kept<Name>>)
            kept<Name>(args...);
        if (const auto forced = g_state.takeForced(Name))
            return *forced;
        if constexpr (defined<simulation<Name>>)
            return simulation<Name>(args...);
        else
            return kSAR_OK;
    }
};

// Shared simulations.
const auto keepParam = [](auto, const BLOCKCIPHERPARAM &param) { note(&param, sizeof param); };
const auto keepData = [](auto, const uint8_t *data, uint32_t len, auto...) { note(data, len); };
const auto keyDataOut = [](auto output) {
    return on(keyOf, [output](Handle &, const uint8_t *data, uint32_t len, uint8_t *out, uint32_t *outLen) {
        return deliver(output(data, len), out, outLen);
    });
};
const auto keyOut = [](auto output) {
    return on(keyOf, [output](Handle &, uint8_t *out, uint32_t *outLen) { return deliver(output(), out, outLen); });
};
const auto nothing = [](auto...) { return std::string(); };
const auto digest = [](auto...) { return patternText(32, 0x60); };
const auto mac = [](auto...) { return patternText(16, 0x70); };
// SKF_ECCDecrypt, SKFEX_ECCDecrypt and SKF_PrvKeyDecrypt: the cipher bytes as CipherLen gives them, XORed.
const auto eccDecrypt = on(containerOf, [](Container &, int32_t, const uint8_t *blob, uint8_t *plain,
                                           uint32_t *plainLen) {
    REQUIRE(blob, kSAR_INVALIDPARAMERR);
    uint32_t cipherLen = 0;
    std::memcpy(&cipherLen, blob + offsetof(ECCCIPHERBLOB, CipherLen), sizeof cipherLen);
    return deliver(xored(blob + offsetof(ECCCIPHERBLOB, Cipher), std::min<uint32_t>(cipherLen, 1024)), plain, plainLen);
});

// Device

SIM(SKF_EnumDev) = [](int32_t present, char *list, uint32_t *pulSize) {
    std::vector<Device> shown;
    std::copy_if(g_state.devices.begin(), g_state.devices.end(), std::back_inserter(shown),
                 [present](const Device &d) { return d.present || !present; });
    return deliver(nameList(shown), list, pulSize);
};
SIM(SKF_ConnectDev) = [](const char *name, DEVHANDLE *phDev) {
    Device *d = name ? named(g_state.devices, name) : nullptr;
    REQUIRE(d && d->present, kSAR_DEVICE_REMOVED);
    return opened({Kind::Device, d->name, {}, {}}, phDev);
};
SIM(SKF_DisConnectDev) = [](DEVHANDLE hDev) { return close(hDev, Kind::Device); };
SIM(SKF_GetDevInfo) = on(deviceOf, [](Device &d, DEVINFO *info) {
    return d.getDevInfoResult ? d.getDevInfoResult : copyTo(info, d.info);
});
SIM(SKF_GenRandom) = on(deviceOf, [](Device &, uint8_t *out, uint32_t len) { return filled(out, len, kSeedRandom); });

// PIN

SIM(SKF_ChangePIN) = on(appOf,
                        [](Application &a, uint32_t type, const char *oldPin, const char *newPin, uint32_t *retry) {
                            Pin *pin = a.pin(type);
                            REQUIRE(pin, kSAR_INVALIDPARAMERR);
                            const uint32_t result = checkPin(*pin, oldPin, retry);
                            if (result == kSAR_OK)
                                pin->text = newPin ? newPin : "";
                            return result;
                        });
SIM(SKF_GetPINInfo) = on(appOf, [](Application &a, uint32_t type, uint32_t *maxRetry, uint32_t *remaining,
                                   int32_t *isDefault) {
    const Pin *pin = a.pin(type);
    REQUIRE(pin && maxRetry && remaining && isDefault, kSAR_INVALIDPARAMERR);
    std::tie(*maxRetry, *remaining, *isDefault) = std::tuple(pin->maxRetry, pin->remaining, 0);
    return kSAR_OK;
});
SIM(SKF_VerifyPIN) = on(appOf, [](Application &a, uint32_t type, const char *pin, uint32_t *retry) {
    return a.pin(type) ? checkPin(*a.pin(type), pin, retry) : kSAR_INVALIDPARAMERR;
});
SIM(SKF_UnblockPIN) = on(appOf, [](Application &a, const char *adminPin, const char *newUserPin, uint32_t *retry) {
    const uint32_t result = checkPin(a.admin, adminPin, retry);
    if (result == kSAR_OK)
        a.user = Pin{newUserPin ? newUserPin : "", a.user.maxRetry, a.user.maxRetry};
    return result;
});

// Files

SIM(SKF_CreateFile) = on(appOf, [](Application &a, const char *name, uint32_t size, uint32_t, uint32_t) {
    REQUIRE(name && *name && !named(a.files, name), kSAR_FAIL);
    a.files.push_back(File{name, Bytes(size)});
    return kSAR_OK;
});
SIM(SKF_DeleteFile) = on(appOf,
                         [](Application &a, const char *name) { return erase(a.files, name, kSAR_FILE_NOT_EXIST); });
SIM(SKF_EnumFiles) = on(appOf, [](Application &a, char *list, uint32_t *pulSize) {
    return deliver(nameList(a.files), list, pulSize, &g_state.enumFiles);
});
SIM(SKF_GetFileInfo) = on(appOf, [](Application &a, const char *name, FILEATTRIBUTE *info) {
    const File *f = name ? named(a.files, name) : nullptr;
    REQUIRE(f, kSAR_FILE_NOT_EXIST);
    REQUIRE(info, kSAR_INVALIDPARAMERR);
    *info = FILEATTRIBUTE{};
    setField(info->FileName, f->name);
    info->FileSize = static_cast<uint32_t>(f->data.size());
    return kSAR_OK;
});
SIM(SKF_ReadFile) = on(appOf, [](Application &a, const char *name, uint32_t offset, uint32_t size, uint8_t *out,
                                 uint32_t *outLen) {
    const File *f = name ? named(a.files, name) : nullptr;
    REQUIRE(f, kSAR_FILE_NOT_EXIST);
    const size_t start = std::min<size_t>(offset, f->data.size());
    const size_t n = std::min<size_t>(size, f->data.size() - start);
    return deliver(std::string(f->data.begin() + start, f->data.begin() + start + n), out, outLen);
});
SIM(SKF_WriteFile) = on(appOf,
                        [](Application &a, const char *name, uint32_t offset, const uint8_t *data, uint32_t size) {
                            File *f = name ? named(a.files, name) : nullptr;
                            REQUIRE(f, kSAR_FILE_NOT_EXIST);
                            REQUIRE(data || !size, kSAR_INVALIDPARAMERR);
                            f->data.resize(std::max(f->data.size(), size_t{offset} + size));
                            std::copy(data, data + size, f->data.begin() + offset);
                            return kSAR_OK;
                        });

// Applications

SIM(SKF_CreateApplication) = on(deviceOf, [](Device &d, const char *name, const char *adminPin, uint32_t adminRetry,
                                             const char *userPin, uint32_t userRetry, uint32_t, HAPPLICATION *phApp) {
    REQUIRE(name && *name && !named(d.apps, name), kSAR_FAIL);
    Application a = State::makeApp(name, adminPin ? adminPin : "", userPin ? userPin : "");
    a.admin.maxRetry = a.admin.remaining = adminRetry;
    a.user.maxRetry = a.user.remaining = userRetry;
    d.apps.push_back(a);
    return opened({Kind::Application, d.name, name, {}}, phApp);
});
SIM(SKF_EnumApplication) = on(deviceOf, [](Device &d, char *list, uint32_t *pulSize) {
    return deliver(nameList(d.apps), list, pulSize, &g_state.enumApplication);
});
SIM(SKF_DeleteApplication) = on(deviceOf, [](Device &d, const char *name) {
    return erase(d.apps, name, kSAR_APPLICATION_NOT_EXISTS);
});
SIM(SKF_OpenApplication) = on(deviceOf, [](Device &d, const char *name, HAPPLICATION *phApp) {
    REQUIRE(name && named(d.apps, name), kSAR_APPLICATION_NOT_EXISTS);
    return opened({Kind::Application, d.name, name, {}}, phApp);
});
SIM(SKF_CloseApplication) = [](HAPPLICATION hApp) { return close(hApp, Kind::Application); };

// Containers; certificates are not kept.

SIM(SKF_CreateContainer) = [](HAPPLICATION hApp, const char *name, HCONTAINER *phContainer) {
    const Handle *h = g_state.find(hApp, Kind::Application);
    Application *a = application(h);
    REQUIRE(a, kSAR_INVALIDHANDLEERR);
    REQUIRE(name && *name && !named(a->containers, name), kSAR_FAIL);
    a->containers.push_back(Container{name, 0});
    return opened({Kind::Container, h->device, h->app, name}, phContainer);
};
SIM(SKF_EnumContainer) = on(appOf, [](Application &a, char *list, uint32_t *pulSize) {
    return deliver(nameList(a.containers), list, pulSize, &g_state.enumContainer);
});
SIM(SKF_OpenContainer) = [](HAPPLICATION hApp, const char *name, HCONTAINER *phContainer) {
    const Handle *h = g_state.find(hApp, Kind::Application);
    Application *a = application(h);
    REQUIRE(a, kSAR_INVALIDHANDLEERR);
    REQUIRE(name && named(a->containers, name), kSAR_FAIL);
    return opened({Kind::Container, h->device, h->app, name}, phContainer);
};
SIM(SKF_CloseContainer) = [](HCONTAINER hContainer) { return close(hContainer, Kind::Container); };
SIM(SKF_GetContainerType) = on(containerOf, [](Container &c, uint32_t *type) { return copyTo(type, c.type); });
SIM(SKF_ExportCertificate) = on(containerOf, [](auto &...) { return kSAR_CERTNOTFOUNTERR; });

// Asymmetric keys

SIM(SKF_GenRSAKeyPair) = on(containerOf, [](Container &c, uint32_t bits, RSAPUBLICKEYBLOB *blob) {
    REQUIRE(blob, kSAR_INVALIDPARAMERR);
    fill(blob, sizeof *blob, kSeedRsaPublic);
    blob->AlgID = 0x00010000;
    blob->BitLen = c.rsaBits = bits;
    c.type = 1;
    return kSAR_OK;
});
SIM(SKF_RSASignData) = on(containerOf, [](Container &, auto, auto, uint8_t *sig, uint32_t *sigLen) {
    return deliver(patternText(256, 0x40), sig, sigLen);
});
SIM(SKF_GenECCKeyPair) = on(containerOf, [](Container &c, uint32_t, ECCPUBLICKEYBLOB *blob) {
    REQUIRE(blob, kSAR_INVALIDPARAMERR);
    fill(blob, sizeof *blob, kSeedEccPublic);
    blob->BitLen = 256;
    c.type = 2;
    return kSAR_OK;
});
SIM(SKF_ECCSignData) = on(containerOf, [](Container &, auto, auto, ECCSIGNATUREBLOB *sig) {
    return filled(sig, sizeof *sig, kSeedEccSignature);
});
SIM(SKF_ECCExportSessionKey) = on(containerOf, [](Container &, uint32_t, const ECCPUBLICKEYBLOB *,
                                                  ECCCIPHERBLOB *cipher, SKF_HANDLE *phKey) {
    REQUIRE(cipher && phKey, kSAR_INVALIDPARAMERR);
    fill(cipher, sizeof *cipher, kSeedCipherBlob);
    cipher->CipherLen = kCipherLength;
    return newKey(phKey);
});
SIM(SKF_ExportPublicKey) = on(containerOf, [](Container &c, int32_t, uint8_t *blob, uint32_t *len) {
    std::string rsa = patternText(sizeof(RSAPUBLICKEYBLOB), kSeedRsaPublic);
    if (c.rsaBits)
        std::memcpy(&rsa[offsetof(RSAPUBLICKEYBLOB, BitLen)], &c.rsaBits, sizeof c.rsaBits);
    return c.type == 1   ? deliver(rsa, blob, len)
           : c.type == 2 ? deliver(patternText(sizeof(ECCPUBLICKEYBLOB), kSeedEccPublic), blob, len)
                         : kSAR_KEYNOTFOUNTERR;
});

// Session keys, digests and MACs

SIM(SKF_ImportSessionKey) = on(containerOf, [](auto &, auto, auto, auto, SKF_HANDLE *phKey) { return newKey(phKey); });
SIM(SKF_DigestInit) = on(deviceOf, [](auto &, auto, auto, auto, auto, SKF_HANDLE *phHash) { return newKey(phHash); });
SIM(SKF_MacInit) = on(keyOf, [](auto &, auto, SKF_HANDLE *phMac) { return newKey(phMac); });
SIM(SKF_CloseHandle) = [](SKF_HANDLE h) { return close(h, Kind::Key); };
// A 128-bit block cipher key, as the standard has it.
SIM(SKF_SetSymmKey) = on(deviceOf, [](auto &, auto, auto, SKF_HANDLE *phKey) { return newKey(phKey); });
KEEP(SKF_DevAuth) = keepData;
KEEP(SKF_SetSymmKey) = [](auto, const uint8_t *key, auto...) { note(key, key ? 16 : 0); };
KEEP(SKF_DigestInit) = [](auto, auto, const ECCPUBLICKEYBLOB *pub, auto...) { note(pub, pub ? sizeof *pub : 0); };
KEEP(SKF_EncryptInit) = keepParam;
KEEP(SKF_DecryptInit) = keepParam;
// Entries that keep their input and answer it transformed.
#define DATA_ENTRY(name, output)                                                                                       \
    KEEP(name) = keepData;                                                                                             \
    SIM(name) = keyDataOut(output);
DATA_ENTRY(SKF_Encrypt, xored)
DATA_ENTRY(SKF_EncryptUpdate, xored)
DATA_ENTRY(SKF_Decrypt, xored)
DATA_ENTRY(SKF_DecryptUpdate, xored)
DATA_ENTRY(SKF_Digest, digest)
DATA_ENTRY(SKF_Mac, mac)
SIM(SKF_EncryptFinal) = keyOut(nothing);
SIM(SKF_DecryptFinal) = keyOut(nothing);
SIM(SKF_DigestFinal) = keyOut(digest);
SIM(SKF_MacFinal) = keyOut(mac);
SIM(SKF_ECCDecrypt) = eccDecrypt;
SIM(SKFEX_ECCDecrypt) = eccDecrypt;
SIM(SKF_PrvKeyDecrypt) = eccDecrypt;

// Extensions

SIM(SKF_ReadUsrDataFile) = on(appOf, [](Application &a, uint32_t area, uint32_t, uint32_t offset, uint32_t length,
                                        uint8_t *buffer) {
    const auto image = a.userData.find(area);
    REQUIRE(image != a.userData.end(), kSAR_FILE_NOT_EXIST);
    REQUIRE(buffer, kSAR_INVALIDPARAMERR);
    // Bytes past the image read as erased flash.
    std::memset(buffer, 0xFF, length);
    const Bytes &bytes = image->second;
    if (offset < bytes.size())
        std::memcpy(buffer, bytes.data() + offset, std::min<size_t>(length, bytes.size() - offset));
    return kSAR_OK;
});

} // namespace

extern "C" State *mock_state()
{
    return &g_state;
}

// Each name is exported as an indirect function resolving to its entry, so that the entry takes
// its parameters from the adaptor's pointer type.
#define MOCK_EXPORT(name, required)                                                                                    \
    extern "C" __attribute__((visibility("hidden"))) auto mock_resolve_##name()->void (*)()                            \
    {                                                                                                                  \
        return reinterpret_cast<void (*)()>(&Entry<k##name, PFN_##name>::call);                                        \
    }                                                                                                                  \
    extern "C" void name() __attribute__((ifunc("mock_resolve_" #name)));
MOCK_ENTRY_POINTS(MOCK_EXPORT)
