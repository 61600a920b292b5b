// The software token's model, its handle registry and the helpers shared by the entry points.
#pragma once

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kxf_result_codes.h"
#include "skf.h"

#if defined(_WIN32)
#define SKFSOFT_API extern "C" __declspec(dllexport)
#else
#define SKFSOFT_API extern "C" __attribute__((visibility("default")))
#endif

namespace softtoken {

using Bytes = std::vector<uint8_t>;

// Wipes every block before the heap gets it back, whether freed by destruction, growth or
// assignment, so that no copy of what it held is left behind.
template <class T>
struct Cleansing {
    using value_type = T;
    Cleansing() = default;
    template <class U>
    Cleansing(const Cleansing<U> &) noexcept
    {
    }
    T *allocate(size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T *p, size_t n) noexcept
    {
        OPENSSL_cleanse(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }
    bool operator==(const Cleansing &) const noexcept { return true; }
    bool operator!=(const Cleansing &) const noexcept { return false; }
};
// Keys, PIN-derived keys and decoded private keys.
using SecretBytes = std::vector<uint8_t, Cleansing<uint8_t>>;

// The project's one table of result codes, as constants of this namespace.
#define SKFSOFT_RESULT_CODE(name, value, meaning) [[maybe_unused]] constexpr uint32_t name = value;
KXF_RESULT_CODES(SKFSOFT_RESULT_CODE)
#undef SKFSOFT_RESULT_CODE

constexpr uint32_t SGD_SM1_ECB = 0x101;
constexpr uint32_t SGD_SM4_ECB = 0x401;
constexpr uint32_t SGD_SM4_CBC = 0x402;
constexpr uint32_t SGD_SM4_MAC = 0x410;
constexpr uint32_t SGD_RSA = 0x10000;
constexpr uint32_t SGD_SM2_1 = 0x20100;
constexpr uint32_t SGD_SM2_3 = 0x20400;
constexpr uint32_t SGD_SM3 = 1;
constexpr uint32_t SGD_SHA1 = 2;
constexpr uint32_t SGD_SHA256 = 4;

// Access rights in the GM/T 0016 encoding.
constexpr uint32_t kNever = 0x00, kAdmin = 0x01, kUser = 0x10, kAnyone = 0xFF;

constexpr uint32_t kTotalSpace = 1u << 20;
constexpr size_t kMaxName = 32;
// What a container's own record costs in space, so that containers are limited by room.
constexpr uint32_t kContainerRecord = 128;

// A PIN is never kept: a salted PBKDF2 verifier, and the application's token key sealed under a
// key derived from the PIN with the same salt.
struct Pin {
    Bytes salt, verifier, wrap;
    uint32_t iterations = 0;
    uint32_t maxRetry = 10;
    uint32_t remain = 10;
    bool isDefault = true;
};

struct File {
    Bytes data; // always the file's full size
    uint32_t readRights = kAnyone;
    uint32_t writeRights = kAnyone;
};

struct PkeyFree {
    void operator()(EVP_PKEY *k) const { EVP_PKEY_free(k); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

// A private key sealed under its application's token key, with its public half in the clear so
// that the type and the public key need no PIN. The decoded key stays with it once used.
struct KeyPair {
    uint32_t type = 0; // 0 none, 1 RSA, 2 SM2
    uint32_t derLen = 0;
    Bytes publicDer, sealed;
    std::shared_ptr<EVP_PKEY> decoded;
    bool empty() const { return type == 0; }
};

struct Container {
    uint64_t uid = 0; // random, kept in the store: handles stay valid across reloads
    KeyPair signKey, exchKey;
    Bytes signCert, exchCert;
    uint32_t type() const { return signKey.empty() ? exchKey.type : signKey.type; }
};

struct Application {
    uint64_t uid = 0;
    uint32_t order = 0;
    std::string name;
    Pin admin, user;
    uint32_t createFileRights = kUser | kAdmin;
    std::map<std::string, File> files;
    std::map<std::string, Container> containers;
};

struct Device {
    std::string name, serial, label, manufacturer, issuer;
    uint32_t devAuthAlg = SGD_SM4_ECB;
    SecretBytes authKey, sealKey;
    std::vector<Application> apps; // in creation order
};

// Every handle names one of these; the value handed out is the registry key, never a pointer.
struct Object {
    virtual ~Object() = default;
};
struct DevObject : Object {
    std::string device;
    Bytes challenge;
    bool authenticated = false;
};
struct AppObject : Object {
    std::string device;
    uint64_t app = 0;
    bool user = false, admin = false;
    SecretBytes tokenKey; // unsealed by a verified PIN
};
struct ContainerObject : Object {
    const void *session = nullptr; // the application handle it was opened through
    uint64_t container = 0;
    std::string name;
};

struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX *c) const { EVP_CIPHER_CTX_free(c); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX *c) const { EVP_MD_CTX_free(c); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

struct KeyObject : Object {
    uint32_t alg = 0;
    SecretBytes key;
    CipherCtx ctx; // made by the first EncryptInit/DecryptInit, reused by the next ones
    bool active = false, encrypting = false, padded = false;
    size_t buffered = 0; // input bytes the context holds back
};
struct HashObject : Object {
    MdCtx ctx;
    bool done = false;
};
struct MacObject : Object {
    SecretBytes key, chain;
    Bytes pending;
    bool padded = false, done = false;
};

// The one lock; every exported function holds it for its whole run.
std::mutex &lock();

// Holds the store's folder lock (another process may share the folder) and brings the state up
// to date with the store; result() is not SAR_OK when the store cannot be read.
class StoreSession {
public:
    StoreSession();
    ~StoreSession();
    StoreSession(const StoreSession &) = delete;
    StoreSession &operator=(const StoreSession &) = delete;
    uint32_t result() const { return result_; }

private:
    int fd_ = -1;
    uint32_t result_ = SAR_OK;
};

// Runs an entry that reads or changes the token state; nothing escapes it as an exception.
template <class F>
uint32_t run(F &&body) noexcept
{
    try {
        std::lock_guard<std::mutex> guard(lock());
        StoreSession store;
        return store.result() == SAR_OK ? body() : store.result();
    } catch (...) {
        return SAR_FAIL;
    }
}

// Runs an entry on session objects only (keys, digests, MACs): the store is not touched.
template <class F>
uint32_t runLocal(F &&body) noexcept
{
    try {
        std::lock_guard<std::mutex> guard(lock());
        return body();
    } catch (...) {
        return SAR_FAIL;
    }
}

uintptr_t addObject(std::unique_ptr<Object> object);
Object *findObject(const void *handle);
void removeObject(const void *handle);
bool anyStateObject(); // a device, application or container handle is open

template <class T>
T *find(const void *handle)
{
    return dynamic_cast<T *>(findObject(handle));
}

// The token state, loaded (from SKFSOFT_DIR when set) by StoreSession.
std::vector<Device> &devices();
Device *findDevice(const std::string &name);
Application *findApp(const std::string &device, uint64_t uid);
Application *findApp(Device &device, const std::string &name);
// What a handle names, or null for a stale or foreign handle.
Application *appOf(const void *hApp, AppObject **session = nullptr);
Container *containerOf(const void *hContainer, AppObject **session = nullptr);
// A new application with a fresh token key sealed under both PINs; uid 0 when randomness failed.
Application newApplication(const Device &device, std::string name, const char *adminPin, uint32_t adminRetry,
                           const char *userPin, uint32_t userRetry, uint32_t createRights);
uint64_t randomUid();
uint32_t usedSpace(const Device &device);

// Each change writes only what it touched, durably, and returns SAR_OK or SAR_WRITEFILEERR
// (after which the state is re-read from the store).
uint32_t saveDevice(const Device &device);
uint32_t saveApp(const Device &device, const Application &app);
uint32_t saveFile(const Device &device, const Application &app, const std::string &name);
uint32_t saveContainer(const Device &device, const Application &app, const std::string &name);
uint32_t createApp(const Device &device, const Application &app);
uint32_t deleteApp(const Device &device, const std::string &name);

// PINs and sealing.
bool makePin(const char *value, uint32_t retries, const SecretBytes &tokenKey, Pin &pin);
// Checks value against the verifier; on a match, tokenKey (when given) receives the unsealed key.
bool pinMatches(const Pin &pin, const char *value, SecretBytes *tokenKey);
bool seal(const SecretBytes &key, const uint8_t *plain, size_t len, Bytes &out);
bool unseal(const SecretBytes &key, const Bytes &in, SecretBytes &plain);
bool sealKeyPair(const SecretBytes &tokenKey, EVP_PKEY *key, KeyPair &out);
// The decoded private key, unsealed with the session's token key on first use; null without one.
EVP_PKEY *privateKey(KeyPair &pair, const AppObject &session);
Pkey publicKeyOf(const KeyPair &pair);

// Output conventions shared by all entries.
template <class A>
uint32_t putBytes(const std::vector<uint8_t, A> &data, uint8_t *out, uint32_t *outLen)
{
    if (!outLen)
        return SAR_INVALIDPARAMERR;
    const uint32_t needed = static_cast<uint32_t>(data.size());
    if (out && *outLen < needed) {
        *outLen = needed;
        return SAR_BUFFER_TOO_SMALL;
    }
    if (out && needed)
        std::memcpy(out, data.data(), needed);
    *outLen = needed;
    return SAR_OK;
}
uint32_t putNameList(const std::vector<std::string> &names, char *out, uint32_t *outLen);
bool validName(const char *name);
bool pinInRange(const char *pin);
SKF_HANDLE addKey(uint32_t alg, SecretBytes key);
bool allowed(uint32_t rights, const AppObject &session);

// Cryptography on OpenSSL 3.
bool randomBytes(uint8_t *out, size_t len);
const EVP_CIPHER *sm4(uint32_t alg);
bool sm4Ecb(const SecretBytes &key, const uint8_t *in, size_t len, uint8_t *out, bool encrypt);
Pkey generateKey(bool rsa, uint32_t bits);
Pkey loadPrivateKey(const SecretBytes &der);
SecretBytes privateKeyDer(EVP_PKEY *key);
Bytes publicKeyDer(EVP_PKEY *key);
bool eccPublicBlob(EVP_PKEY *key, ECCPUBLICKEYBLOB &blob);
bool rsaPublicBlob(EVP_PKEY *key, RSAPUBLICKEYBLOB &blob);
Pkey eccPublicKey(const ECCPUBLICKEYBLOB &blob);
// The same, from a small cache of keys already checked: verification rebuilds nothing.
EVP_PKEY *cachedEccPublicKey(const ECCPUBLICKEYBLOB &blob);
Pkey sm2PrivateKey(const uint8_t priv[32], const ECCPUBLICKEYBLOB &pub);
Pkey rsaPublicKey(const RSAPUBLICKEYBLOB &blob);
bool sm2Sign(EVP_PKEY *key, const uint8_t *digest, size_t len, ECCSIGNATUREBLOB &sig);
bool sm2Verify(EVP_PKEY *key, const uint8_t *digest, size_t len, const ECCSIGNATUREBLOB &sig);
// SM2 encryption in the ECCCIPHERBLOB form; blobLen bounds what decryption may read.
bool sm2Encrypt(EVP_PKEY *key, const uint8_t *plain, size_t len, Bytes &blob);
bool sm2Decrypt(EVP_PKEY *key, const uint8_t *blob, size_t blobLen, SecretBytes &plain);
bool pkeyCrypt(EVP_PKEY *key, bool encrypt, const uint8_t *in, size_t len, SecretBytes &out);
bool rsaSign(EVP_PKEY *key, const uint8_t *data, size_t len, Bytes &sig);
bool rsaVerify(EVP_PKEY *key, const uint8_t *data, size_t len, const uint8_t *sig, size_t sigLen);
bool sm3Z(const ECCPUBLICKEYBLOB &pub, const uint8_t *id, size_t idLen, uint8_t z[32]);

} // namespace softtoken

// Checks an exported function against the table's type.
#define SKFSOFT_CHECK(name) static_assert(std::is_same_v<decltype(&name), PFN_##name>, #name)
