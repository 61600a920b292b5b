// Containers, certificates and the asymmetric keys they hold.
#include <cstring>
#include <type_traits>

#include "Token.h"

using namespace softtoken;

namespace {

constexpr uint32_t kMaxCipher = 1024;

// Writes the container a handle names, and only that one.
uint32_t saveFor(HCONTAINER h)
{
    const ContainerObject *o = find<ContainerObject>(h);
    AppObject *session = nullptr;
    const Application *app = appOf(o->session, &session);
    return saveContainer(*findDevice(session->device), *app, o->name);
}

// Resolves a container handle; operations that change the container or use its private keys need the user PIN.
uint32_t open(HCONTAINER h, Container *&c, AppObject *&session, bool needsUser)
{
    c = containerOf(h, &session);
    if (!c)
        return SAR_INVALIDHANDLEERR;
    return needsUser && !session->user ? SAR_USER_NOT_LOGGED_IN : SAR_OK;
}

// Decryption prefers the exchange key; a container holding only a signing key decrypts with that one.
KeyPair &decryptionKey(Container &c, int32_t keySpec)
{
    return keySpec == 2 || c.exchKey.empty() ? c.signKey : c.exchKey;
}

// A new key pair replaces everything of the other algorithm.
bool storeSignKey(Container &c, EVP_PKEY *key, uint32_t type, const AppObject &session)
{
    KeyPair sealed;
    if (!sealKeyPair(session.tokenKey, key, sealed))
        return false;
    if (c.type() != type) {
        c.exchKey = KeyPair{};
        c.signCert.clear();
        c.exchCert.clear();
    }
    c.signKey = std::move(sealed);
    return true;
}

bool sm4EcbUnpad(const SecretBytes &key, const uint8_t *in, size_t len, SecretBytes &out)
{
    CipherCtx ctx(EVP_CIPHER_CTX_new());
    out.assign(len + 16, 0);
    int n = 0, m = 0;
    const bool ok = key.size() == 16 && ctx &&
                    EVP_DecryptInit_ex(ctx.get(), EVP_sm4_ecb(), nullptr, key.data(), nullptr) == 1 &&
                    EVP_DecryptUpdate(ctx.get(), out.data(), &n, in, static_cast<int>(len)) == 1 &&
                    EVP_DecryptFinal_ex(ctx.get(), out.data() + n, &m) == 1;
    out.resize(ok ? static_cast<size_t>(n + m) : 0);
    return ok;
}

uint32_t eccDecrypt(HCONTAINER hContainer, int32_t keySpec, const uint8_t *cipherBlob, uint8_t *plain,
                    uint32_t *plainLen)
{
    return run([&] {
        Container *c = nullptr;
        AppObject *session = nullptr;
        if (const uint32_t r = open(hContainer, c, session, true))
            return r;
        if (!cipherBlob || !plainLen)
            return SAR_INVALIDPARAMERR;
        // The blob carries its own length, as ECCCIPHERBLOB does.
        uint32_t cipherLen = 0;
        std::memcpy(&cipherLen, cipherBlob + 160, 4);
        if (cipherLen == 0 || cipherLen > kMaxCipher)
            return SAR_INVALIDPARAMERR;
        EVP_PKEY *key = privateKey(decryptionKey(*c, keySpec), *session);
        if (!key || !EVP_PKEY_is_a(key, "SM2"))
            return SAR_KEYNOTFOUNTERR;
        SecretBytes out;
        if (!sm2Decrypt(key, cipherBlob, 164 + cipherLen, out))
            return SAR_INDATAERR;
        return putBytes(out, plain, plainLen);
    });
}

} // namespace

SKFSOFT_API uint32_t KXF_CALL SKF_CreateContainer(HAPPLICATION hApp, const char *szContainerName,
                                                  HCONTAINER *phContainer)
{
    return run([&] {
        AppObject *session = nullptr;
        Application *app = appOf(hApp, &session);
        if (!app)
            return SAR_INVALIDHANDLEERR;
        if (!validName(szContainerName) || !phContainer)
            return SAR_INVALIDPARAMERR;
        if (!session->user)
            return SAR_USER_NOT_LOGGED_IN;
        if (app->containers.count(szContainerName))
            return SAR_FILE_ALREADY_EXIST;
        if (kTotalSpace - usedSpace(*findDevice(session->device)) < kContainerRecord)
            return SAR_REACH_MAX_CONTAINER_COUNT;
        Container &c = app->containers[szContainerName];
        c.uid = randomUid();
        if (const uint32_t r = saveContainer(*findDevice(session->device), *app, szContainerName))
            return r;
        auto obj = std::make_unique<ContainerObject>();
        obj->session = hApp;
        obj->container = c.uid;
        obj->name = szContainerName;
        *phContainer = reinterpret_cast<HCONTAINER>(addObject(std::move(obj)));
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_DeleteContainer(HAPPLICATION hApp, const char *szContainerName)
{
    return run([&] {
        AppObject *session = nullptr;
        Application *app = appOf(hApp, &session);
        if (!app)
            return SAR_INVALIDHANDLEERR;
        if (!szContainerName)
            return SAR_INVALIDPARAMERR;
        if (!session->user)
            return SAR_USER_NOT_LOGGED_IN;
        if (app->containers.erase(szContainerName) == 0)
            return SAR_FILE_NOT_EXIST;
        return saveContainer(*findDevice(session->device), *app, szContainerName);
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_EnumContainer(HAPPLICATION hApp, char *szContainerName, uint32_t *pulSize)
{
    return run([&] {
        Application *app = appOf(hApp);
        if (!app)
            return SAR_INVALIDHANDLEERR;
        std::vector<std::string> names;
        for (const auto &c : app->containers)
            names.push_back(c.first);
        return putNameList(names, szContainerName, pulSize);
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_OpenContainer(HAPPLICATION hApp, const char *szContainerName, HCONTAINER *phContainer)
{
    return run([&] {
        Application *app = appOf(hApp);
        if (!app)
            return SAR_INVALIDHANDLEERR;
        if (!szContainerName || !phContainer)
            return SAR_INVALIDPARAMERR;
        const auto it = app->containers.find(szContainerName);
        if (it == app->containers.end())
            return SAR_FILE_NOT_EXIST;
        auto obj = std::make_unique<ContainerObject>();
        obj->session = hApp;
        obj->container = it->second.uid;
        obj->name = szContainerName;
        *phContainer = reinterpret_cast<HCONTAINER>(addObject(std::move(obj)));
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_CloseContainer(HCONTAINER hContainer)
{
    return run([&] {
        if (!find<ContainerObject>(hContainer))
            return SAR_INVALIDHANDLEERR;
        removeObject(hContainer);
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_GetContainerType(HCONTAINER hContainer, uint32_t *pulContainerType)
{
    return run([&] {
        const Container *c = containerOf(hContainer);
        if (!c)
            return SAR_INVALIDHANDLEERR;
        if (!pulContainerType)
            return SAR_INVALIDPARAMERR;
        *pulContainerType = c->type();
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_ImportCertificate(HCONTAINER hContainer, int32_t bSignFlag, const uint8_t *pbCert,
                                                    uint32_t ulCertLen)
{
    return run([&] {
        Container *c = nullptr;
        AppObject *session = nullptr;
        if (const uint32_t r = open(hContainer, c, session, true))
            return r;
        if (!pbCert || ulCertLen == 0 || ulCertLen > 65536)
            return SAR_INVALIDPARAMERR;
        (bSignFlag ? c->signCert : c->exchCert).assign(pbCert, pbCert + ulCertLen);
        return saveFor(hContainer);
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_ExportCertificate(HCONTAINER hContainer, int32_t bSignFlag, uint8_t *pbCert,
                                                    uint32_t *pulCertLen)
{
    return run([&] {
        const Container *c = containerOf(hContainer);
        if (!c)
            return SAR_INVALIDHANDLEERR;
        const Bytes &cert = bSignFlag ? c->signCert : c->exchCert;
        return cert.empty() ? SAR_CERTNOTFOUNTERR : putBytes(cert, pbCert, pulCertLen);
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_GenRSAKeyPair(HCONTAINER hContainer, uint32_t ulBitsLen, RSAPUBLICKEYBLOB *pBlob)
{
    return run([&] {
        Container *c = nullptr;
        AppObject *session = nullptr;
        if (const uint32_t r = open(hContainer, c, session, true))
            return r;
        if (!pBlob || (ulBitsLen != 1024 && ulBitsLen != 2048))
            return SAR_INVALIDPARAMERR;
        const Pkey key = generateKey(true, ulBitsLen);
        RSAPUBLICKEYBLOB blob;
        if (!key || !rsaPublicBlob(key.get(), blob) || !storeSignKey(*c, key.get(), 1, *session))
            return SAR_FAIL;
        if (const uint32_t r = saveFor(hContainer))
            return r;
        *pBlob = blob;
        return SAR_OK;
    });
}

// The exchange key pair arrives as its DER form (PKCS#1 or PKCS#8), SM4-ECB encrypted with PKCS#5
// padding under a key wrapped (PKCS#1 v1.5) to the container's RSA signing key.
SKFSOFT_API uint32_t KXF_CALL SKF_ImportRSAKeyPair(HCONTAINER hContainer, uint32_t ulSymAlgId,
                                                   const uint8_t *pbWrappedKey, uint32_t ulWrappedKeyLen,
                                                   const uint8_t *pbEncryptedData, uint32_t ulEncryptedDataLen)
{
    return run([&] {
        Container *c = nullptr;
        AppObject *session = nullptr;
        if (const uint32_t r = open(hContainer, c, session, true))
            return r;
        if (!pbWrappedKey || !pbEncryptedData || ulSymAlgId != SGD_SM4_ECB || ulWrappedKeyLen == 0 ||
            ulEncryptedDataLen == 0 || ulEncryptedDataLen > 8192 || ulEncryptedDataLen % 16)
            return SAR_INVALIDPARAMERR;
        EVP_PKEY *signKey = privateKey(c->signKey, *session);
        if (!signKey || !EVP_PKEY_is_a(signKey, "RSA"))
            return SAR_KEYNOTFOUNTERR;
        SecretBytes symmKey, der;
        if (!pkeyCrypt(signKey, false, pbWrappedKey, ulWrappedKeyLen, symmKey) || symmKey.size() != 16 ||
            !sm4EcbUnpad(symmKey, pbEncryptedData, ulEncryptedDataLen, der))
            return SAR_INDATAERR;
        const Pkey key = loadPrivateKey(der);
        const int bits = key ? EVP_PKEY_get_bits(key.get()) : 0;
        if (!key || !EVP_PKEY_is_a(key.get(), "RSA") || (bits != 1024 && bits != 2048))
            return SAR_INDATAERR;
        if (!sealKeyPair(session->tokenKey, key.get(), c->exchKey))
            return SAR_FAIL;
        return saveFor(hContainer);
    });
}

// The data is signed as given (PKCS#1 v1.5 type 1 padding, no hashing): callers pass a DigestInfo.
SKFSOFT_API uint32_t KXF_CALL SKF_RSASignData(HCONTAINER hContainer, const uint8_t *pbData, uint32_t ulDataLen,
                                              uint8_t *pbSignature, uint32_t *pulSignLen)
{
    return run([&] {
        Container *c = nullptr;
        AppObject *session = nullptr;
        if (const uint32_t r = open(hContainer, c, session, true))
            return r;
        EVP_PKEY *key = privateKey(c->signKey, *session);
        if (!key || !EVP_PKEY_is_a(key, "RSA"))
            return SAR_KEYNOTFOUNTERR;
        const uint32_t size = static_cast<uint32_t>(EVP_PKEY_get_size(key));
        if (!pbData || !pulSignLen || ulDataLen == 0 || ulDataLen > size - 11)
            return SAR_INVALIDPARAMERR;
        if (pbSignature && *pulSignLen < size) {
            *pulSignLen = size;
            return SAR_BUFFER_TOO_SMALL;
        }
        Bytes sig;
        if (pbSignature && !rsaSign(key, pbData, ulDataLen, sig))
            return SAR_FAIL;
        return pbSignature ? putBytes(sig, pbSignature, pulSignLen) : (*pulSignLen = size, SAR_OK);
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_RSAVerify(DEVHANDLE hDev, const RSAPUBLICKEYBLOB *pRSAPubKeyBlob,
                                            const uint8_t *pbData, uint32_t ulDataLen, const uint8_t *pbSignature,
                                            uint32_t ulSignLen)
{
    return run([&] {
        if (!find<DevObject>(hDev))
            return SAR_INVALIDHANDLEERR;
        if (!pRSAPubKeyBlob || !pbData || !pbSignature)
            return SAR_INVALIDPARAMERR;
        const Pkey key = rsaPublicKey(*pRSAPubKeyBlob);
        if (!key)
            return SAR_INVALIDPARAMERR;
        return rsaVerify(key.get(), pbData, ulDataLen, pbSignature, ulSignLen) ? SAR_OK : SAR_HASHNOTEQUALERR;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_RSAExportSessionKey(HCONTAINER hContainer, uint32_t ulAlgId,
                                                      RSAPUBLICKEYBLOB *pPubKey, uint8_t *pbData, uint32_t *pulDataLen,
                                                      SKF_HANDLE *phSessionKey)
{
    return run([&] {
        if (!containerOf(hContainer))
            return SAR_INVALIDHANDLEERR;
        if (!pPubKey || !pulDataLen || !phSessionKey || !sm4(ulAlgId))
            return SAR_INVALIDPARAMERR;
        const Pkey pub = rsaPublicKey(*pPubKey);
        if (!pub)
            return SAR_INVALIDPARAMERR;
        const uint32_t size = static_cast<uint32_t>(EVP_PKEY_get_size(pub.get()));
        if (!pbData || *pulDataLen < size) {
            const uint32_t result = pbData ? SAR_BUFFER_TOO_SMALL : SAR_OK;
            *pulDataLen = size;
            return result;
        }
        SecretBytes key(16), wrapped;
        if (!randomBytes(key.data(), key.size()) || !pkeyCrypt(pub.get(), true, key.data(), key.size(), wrapped))
            return SAR_FAIL;
        const uint32_t result = putBytes(wrapped, pbData, pulDataLen);
        if (result == SAR_OK)
            *phSessionKey = addKey(ulAlgId, std::move(key));
        return result;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_GenECCKeyPair(HCONTAINER hContainer, uint32_t ulAlgId, ECCPUBLICKEYBLOB *pBlob)
{
    return run([&] {
        Container *c = nullptr;
        AppObject *session = nullptr;
        if (const uint32_t r = open(hContainer, c, session, true))
            return r;
        if (!pBlob || (ulAlgId & 0xFFFF0000u) != 0x00020000u)
            return SAR_INVALIDPARAMERR;
        const Pkey key = generateKey(false, 256);
        ECCPUBLICKEYBLOB blob;
        if (!key || !eccPublicBlob(key.get(), blob) || !storeSignKey(*c, key.get(), 2, *session))
            return SAR_FAIL;
        if (const uint32_t r = saveFor(hContainer))
            return r;
        *pBlob = blob;
        return SAR_OK;
    });
}

// The exchange key arrives encrypted under an SM4 key that is itself wrapped to the signing key.
SKFSOFT_API uint32_t KXF_CALL SKF_ImportECCKeyPair(HCONTAINER hContainer, const ENVELOPEDKEYBLOB *pEnvelopedKeyBlob)
{
    return run([&] {
        Container *c = nullptr;
        AppObject *session = nullptr;
        if (const uint32_t r = open(hContainer, c, session, true))
            return r;
        const ENVELOPEDKEYBLOB *env = pEnvelopedKeyBlob;
        if (!env || env->ulBits != 256 || env->ulSymmAlgID != SGD_SM4_ECB)
            return SAR_INVALIDPARAMERR;
        EVP_PKEY *signKey = privateKey(c->signKey, *session);
        if (!signKey || !EVP_PKEY_is_a(signKey, "SM2"))
            return SAR_KEYNOTFOUNTERR;
        SecretBytes symmKey;
        uint8_t priv[64];
        if (!sm2Decrypt(signKey, reinterpret_cast<const uint8_t *>(&env->ECCCipherBlob), sizeof env->ECCCipherBlob,
                        symmKey) ||
            symmKey.size() != 16 || !sm4Ecb(symmKey, env->cbEncryptedPriKey, 64, priv, false))
            return SAR_INDATAERR;
        const Pkey key = sm2PrivateKey(priv + 32, env->PubKey);
        OPENSSL_cleanse(priv, sizeof priv);
        if (!key)
            return SAR_INDATAERR;
        if (!sealKeyPair(session->tokenKey, key.get(), c->exchKey))
            return SAR_FAIL;
        return saveFor(hContainer);
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_ECCSignData(HCONTAINER hContainer, const uint8_t *pbData, uint32_t ulDataLen,
                                              ECCSIGNATUREBLOB *pSignature)
{
    return run([&] {
        Container *c = nullptr;
        AppObject *session = nullptr;
        if (const uint32_t r = open(hContainer, c, session, true))
            return r;
        if (!pbData || ulDataLen != 32 || !pSignature)
            return SAR_INVALIDPARAMERR;
        EVP_PKEY *key = privateKey(c->signKey, *session);
        if (!key || !EVP_PKEY_is_a(key, "SM2"))
            return SAR_KEYNOTFOUNTERR;
        ECCSIGNATUREBLOB sig;
        if (!sm2Sign(key, pbData, ulDataLen, sig))
            return SAR_FAIL;
        *pSignature = sig;
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_ECCVerify(DEVHANDLE hDev, const ECCPUBLICKEYBLOB *pECCPubKeyBlob,
                                            const uint8_t *pbData, uint32_t ulDataLen,
                                            const ECCSIGNATUREBLOB *pSignature)
{
    return runLocal([&] {
        if (!find<DevObject>(hDev))
            return SAR_INVALIDHANDLEERR;
        if (!pECCPubKeyBlob || !pbData || ulDataLen != 32 || !pSignature)
            return SAR_INVALIDPARAMERR;
        EVP_PKEY *key = cachedEccPublicKey(*pECCPubKeyBlob);
        if (!key)
            return SAR_INVALIDPARAMERR;
        return sm2Verify(key, pbData, ulDataLen, *pSignature) ? SAR_OK : SAR_HASHNOTEQUALERR;
    });
}

// The caller's ECCCIPHERBLOB has room for 16 cipher bytes; longer plain text is refused.
SKFSOFT_API uint32_t KXF_CALL SKF_ExtECCEncrypt(DEVHANDLE hDev, const ECCPUBLICKEYBLOB *pECCPubKeyBlob,
                                                const uint8_t *pbPlainText, uint32_t ulPlainTextLen,
                                                ECCCIPHERBLOB *pCipherText)
{
    return runLocal([&] {
        if (!find<DevObject>(hDev))
            return SAR_INVALIDHANDLEERR;
        if (!pECCPubKeyBlob || !pbPlainText || !pCipherText || ulPlainTextLen == 0)
            return SAR_INVALIDPARAMERR;
        if (ulPlainTextLen > sizeof pCipherText->Cipher)
            return SAR_INDATALENERR;
        EVP_PKEY *key = cachedEccPublicKey(*pECCPubKeyBlob);
        if (!key)
            return SAR_INVALIDPARAMERR;
        Bytes blob;
        if (!sm2Encrypt(key, pbPlainText, ulPlainTextLen, blob) || blob.size() > sizeof *pCipherText)
            return SAR_FAIL;
        std::memcpy(pCipherText, blob.data(), blob.size());
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_GenerateAgreementDataWithECC(HCONTAINER, uint32_t, ECCPUBLICKEYBLOB *,
                                                               const uint8_t *, uint32_t, SKF_HANDLE *)
{
    return SAR_NOTSUPPORTYETERR;
}

SKFSOFT_API uint32_t KXF_CALL SKF_GenerateAgreementDataAndKeyWithECC(HCONTAINER, uint32_t, ECCPUBLICKEYBLOB *,
                                                                     ECCPUBLICKEYBLOB *, ECCPUBLICKEYBLOB *,
                                                                     const uint8_t *, uint32_t, const uint8_t *,
                                                                     uint32_t, SKF_HANDLE *)
{
    return SAR_NOTSUPPORTYETERR;
}

SKFSOFT_API uint32_t KXF_CALL SKF_GenerateKeyWithECC(SKF_HANDLE, ECCPUBLICKEYBLOB *, ECCPUBLICKEYBLOB *,
                                                     const uint8_t *, uint32_t, SKF_HANDLE *)
{
    return SAR_NOTSUPPORTYETERR;
}

// Writes an ECCCIPHERBLOB with a 16-byte cipher: exactly sizeof(ECCCIPHERBLOB).
SKFSOFT_API uint32_t KXF_CALL SKF_ECCExportSessionKey(HCONTAINER hContainer, uint32_t ulAlgId,
                                                      const ECCPUBLICKEYBLOB *pPubKey, ECCCIPHERBLOB *pData,
                                                      SKF_HANDLE *phSessionKey)
{
    return run([&] {
        if (!containerOf(hContainer))
            return SAR_INVALIDHANDLEERR;
        if (!pPubKey || !pData || !phSessionKey || !sm4(ulAlgId))
            return SAR_INVALIDPARAMERR;
        const Pkey pub = eccPublicKey(*pPubKey);
        if (!pub)
            return SAR_INVALIDPARAMERR;
        SecretBytes key(16);
        Bytes blob;
        if (!randomBytes(key.data(), key.size()) || !sm2Encrypt(pub.get(), key.data(), key.size(), blob) ||
            blob.size() != sizeof(ECCCIPHERBLOB))
            return SAR_FAIL;
        std::memcpy(pData, blob.data(), blob.size());
        *phSessionKey = addKey(ulAlgId, std::move(key));
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_ExportPublicKey(HCONTAINER hContainer, int32_t bSignFlag, uint8_t *pbBlob,
                                                  uint32_t *pulBlobLen)
{
    return run([&] {
        const Container *c = containerOf(hContainer);
        if (!c)
            return SAR_INVALIDHANDLEERR;
        const Pkey key = publicKeyOf(bSignFlag ? c->signKey : c->exchKey);
        if (!key)
            return SAR_KEYNOTFOUNTERR;
        RSAPUBLICKEYBLOB rsa;
        ECCPUBLICKEYBLOB ecc;
        if (rsaPublicBlob(key.get(), rsa))
            return putBytes(Bytes(reinterpret_cast<uint8_t *>(&rsa), reinterpret_cast<uint8_t *>(&rsa + 1)), pbBlob,
                            pulBlobLen);
        if (eccPublicBlob(key.get(), ecc))
            return putBytes(Bytes(reinterpret_cast<uint8_t *>(&ecc), reinterpret_cast<uint8_t *>(&ecc + 1)), pbBlob,
                            pulBlobLen);
        return SAR_FAIL;
    });
}

// RSA-wrapped keys use PKCS#1 v1.5; SM2-wrapped keys come as an ECCCIPHERBLOB of ulWrapedLen bytes.
SKFSOFT_API uint32_t KXF_CALL SKF_ImportSessionKey(HCONTAINER hContainer, uint32_t ulAlgId, const uint8_t *pbWrapedData,
                                                   uint32_t ulWrapedLen, SKF_HANDLE *phKey)
{
    return run([&] {
        Container *c = nullptr;
        AppObject *session = nullptr;
        if (const uint32_t r = open(hContainer, c, session, true))
            return r;
        if (!pbWrapedData || !phKey || !sm4(ulAlgId))
            return SAR_INVALIDPARAMERR;
        EVP_PKEY *key = privateKey(decryptionKey(*c, 1), *session);
        if (!key)
            return SAR_KEYNOTFOUNTERR;
        SecretBytes plain;
        const bool ok = EVP_PKEY_is_a(key, "RSA") ? pkeyCrypt(key, false, pbWrapedData, ulWrapedLen, plain)
                                                  : sm2Decrypt(key, pbWrapedData, ulWrapedLen, plain);
        if (!ok || plain.size() != 16)
            return SAR_INDATAERR;
        *phKey = addKey(ulAlgId, std::move(plain));
        return SAR_OK;
    });
}

// keySpec 2 names the signing key; any other value the exchange key.
SKFSOFT_API uint32_t KXF_CALL SKF_ECCDecrypt(HCONTAINER hContainer, int32_t keySpec, const uint8_t *cipherBlob,
                                             uint8_t *plain, uint32_t *plainLen)
{
    return eccDecrypt(hContainer, keySpec, cipherBlob, plain, plainLen);
}

SKFSOFT_API uint32_t KXF_CALL SKFEX_ECCDecrypt(HCONTAINER hContainer, int32_t keySpec, const uint8_t *cipherBlob,
                                               uint8_t *plain, uint32_t *plainLen)
{
    return eccDecrypt(hContainer, keySpec, cipherBlob, plain, plainLen);
}

SKFSOFT_API uint32_t KXF_CALL SKF_PrvKeyDecrypt(HCONTAINER hContainer, int32_t keySpec, const uint8_t *cipherBlob,
                                                uint8_t *plain, uint32_t *plainLen)
{
    return eccDecrypt(hContainer, keySpec, cipherBlob, plain, plainLen);
}

SKFSOFT_CHECK(SKF_CreateContainer);
SKFSOFT_CHECK(SKF_DeleteContainer);
SKFSOFT_CHECK(SKF_EnumContainer);
SKFSOFT_CHECK(SKF_OpenContainer);
SKFSOFT_CHECK(SKF_CloseContainer);
SKFSOFT_CHECK(SKF_GetContainerType);
SKFSOFT_CHECK(SKF_ImportCertificate);
SKFSOFT_CHECK(SKF_ExportCertificate);
SKFSOFT_CHECK(SKF_GenRSAKeyPair);
SKFSOFT_CHECK(SKF_ImportRSAKeyPair);
SKFSOFT_CHECK(SKF_RSASignData);
SKFSOFT_CHECK(SKF_RSAVerify);
SKFSOFT_CHECK(SKF_RSAExportSessionKey);
SKFSOFT_CHECK(SKF_GenECCKeyPair);
SKFSOFT_CHECK(SKF_ImportECCKeyPair);
SKFSOFT_CHECK(SKF_ECCSignData);
SKFSOFT_CHECK(SKF_ECCVerify);
SKFSOFT_CHECK(SKF_ExtECCEncrypt);
SKFSOFT_CHECK(SKF_GenerateAgreementDataWithECC);
SKFSOFT_CHECK(SKF_GenerateAgreementDataAndKeyWithECC);
SKFSOFT_CHECK(SKF_GenerateKeyWithECC);
SKFSOFT_CHECK(SKF_ECCExportSessionKey);
SKFSOFT_CHECK(SKF_ExportPublicKey);
SKFSOFT_CHECK(SKF_ImportSessionKey);
SKFSOFT_CHECK(SKF_ECCDecrypt);
SKFSOFT_CHECK(SKFEX_ECCDecrypt);
SKFSOFT_CHECK(SKF_PrvKeyDecrypt);
