// Session keys, SM4 encryption and decryption, digests, MACs and handle release.
#include <cstring>
#include <type_traits>

#include "Token.h"

using namespace softtoken;

namespace softtoken {

SKF_HANDLE addKey(uint32_t alg, SecretBytes key)
{
    auto obj = std::make_unique<KeyObject>();
    obj->alg = alg;
    obj->key = std::move(key);
    return reinterpret_cast<SKF_HANDLE>(addObject(std::move(obj)));
}

} // namespace softtoken

namespace {

uint32_t cipherInit(SKF_HANDLE hKey, const BLOCKCIPHERPARAM &param, bool encrypt)
{
    return runLocal([&] {
        KeyObject *k = find<KeyObject>(hKey);
        if (!k)
            return SAR_INVALIDHANDLEERR;
        const EVP_CIPHER *cipher = sm4(k->alg);
        const bool cbc = k->alg != SGD_SM4_ECB;
        if (!cipher || param.PaddingType > 1 || (cbc && param.IVLen != 16))
            return SAR_INVALIDPARAMERR;
        k->active = false;
        if (!k->ctx)
            k->ctx.reset(EVP_CIPHER_CTX_new());
        if (!k->ctx ||
            EVP_CipherInit_ex(k->ctx.get(), cipher, nullptr, k->key.data(), cbc ? param.IV : nullptr, encrypt) != 1 ||
            EVP_CIPHER_CTX_set_padding(k->ctx.get(), static_cast<int>(param.PaddingType)) != 1)
            return SAR_FAIL;
        k->active = true;
        k->encrypting = encrypt;
        k->padded = param.PaddingType == 1;
        k->buffered = 0;
        return SAR_OK;
    });
}

KeyObject *activeKey(SKF_HANDLE hKey, bool encrypt, uint32_t &result)
{
    KeyObject *k = find<KeyObject>(hKey);
    result = !k ? SAR_INVALIDHANDLEERR : !k->active || k->encrypting != encrypt ? SAR_NOTINITIALIZEERR : SAR_OK;
    return result == SAR_OK ? k : nullptr;
}

// Writes straight into the caller's buffer, which bound() has checked: OpenSSL's block ciphers
// write exactly the whole blocks they report, never the block a padded decryption holds back.
uint32_t cipherStep(KeyObject &k, const uint8_t *in, uint32_t len, bool final, uint8_t *out, uint32_t &produced)
{
    int n = 0, m = 0;
    if (len && EVP_CipherUpdate(k.ctx.get(), out, &n, in, static_cast<int>(len)) != 1)
        return SAR_FAIL;
    if (final && EVP_CipherFinal_ex(k.ctx.get(), out + n, &m) != 1) {
        OPENSSL_cleanse(out, static_cast<size_t>(n)); // a refused call hands out nothing
        return k.encrypting || !k.padded ? SAR_INDATALENERR : SAR_DECRYPTPADERR;
    }
    k.buffered = k.buffered + len - static_cast<size_t>(n);
    produced = static_cast<uint32_t>(n + m);
    return SAR_OK;
}

// Needed output for len more bytes: whole blocks, plus the padding block when an encryption ends.
uint32_t bound(const KeyObject &k, uint32_t len, bool final)
{
    const size_t total = k.buffered + len;
    size_t blocks = total / 16;
    if (final && k.encrypting && k.padded)
        blocks += 1;
    else if (final && total % 16)
        blocks += 1; // refused in cipherStep, but never asks for a smaller buffer
    return static_cast<uint32_t>(blocks * 16);
}

uint32_t cipherCall(SKF_HANDLE hKey, bool encrypt, const uint8_t *in, uint32_t len, bool update, bool final,
                    uint8_t *out, uint32_t *outLen)
{
    return runLocal([&] {
        uint32_t result = SAR_OK;
        KeyObject *k = activeKey(hKey, encrypt, result);
        if (!k)
            return result;
        if (!outLen || (!in && len))
            return SAR_INVALIDPARAMERR;
        const uint32_t needed = bound(*k, len, final);
        if (!out || *outLen < needed) {
            *outLen = needed;
            return out ? SAR_BUFFER_TOO_SMALL : SAR_OK;
        }
        uint32_t produced = 0;
        result = cipherStep(*k, update ? in : nullptr, update ? len : 0, final, out, produced);
        if (final || result != SAR_OK)
            k->active = false;
        if (result == SAR_OK)
            *outLen = produced;
        return result;
    });
}

void macBlocks(MacObject &m)
{
    size_t at = 0;
    for (; m.pending.size() - at >= 16; at += 16) {
        for (size_t i = 0; i < 16; ++i)
            m.chain[i] ^= m.pending[at + i];
        sm4Ecb(m.key, m.chain.data(), 16, m.chain.data(), true);
    }
    m.pending.erase(m.pending.begin(), m.pending.begin() + static_cast<std::ptrdiff_t>(at));
}

uint32_t macCall(SKF_HANDLE hMac, const uint8_t *in, uint32_t len, bool final, uint8_t *out, uint32_t *outLen)
{
    return runLocal([&] {
        MacObject *m = find<MacObject>(hMac);
        if (!m)
            return SAR_INVALIDHANDLEERR;
        if (m->done)
            return SAR_NOTINITIALIZEERR;
        if ((!in && len) || (final && !outLen))
            return SAR_INVALIDPARAMERR;
        if (final && (!out || *outLen < 16)) {
            *outLen = 16;
            return out ? SAR_BUFFER_TOO_SMALL : SAR_OK;
        }
        if (len)
            m->pending.insert(m->pending.end(), in, in + len);
        macBlocks(*m);
        if (!final)
            return SAR_OK;
        if (m->padded)
            m->pending.resize(16, static_cast<uint8_t>(16 - m->pending.size()));
        else if (!m->pending.empty())
            return SAR_INDATALENERR;
        macBlocks(*m);
        m->done = true;
        return putBytes(m->chain, out, outLen);
    });
}

uint32_t digestCall(SKF_HANDLE hHash, const uint8_t *in, uint32_t len, bool final, uint8_t *out, uint32_t *outLen)
{
    return runLocal([&] {
        HashObject *h = find<HashObject>(hHash);
        if (!h)
            return SAR_INVALIDHANDLEERR;
        if (h->done)
            return SAR_NOTINITIALIZEERR;
        if ((!in && len) || (final && !outLen))
            return SAR_INVALIDPARAMERR;
        const uint32_t size = static_cast<uint32_t>(EVP_MD_CTX_get_size(h->ctx.get()));
        if (final && (!out || *outLen < size)) {
            *outLen = size;
            return out ? SAR_BUFFER_TOO_SMALL : SAR_OK;
        }
        if (len && EVP_DigestUpdate(h->ctx.get(), in, len) != 1)
            return SAR_FAIL;
        if (!final)
            return SAR_OK;
        unsigned int n = 0;
        h->done = true;
        if (EVP_DigestFinal_ex(h->ctx.get(), out, &n) != 1)
            return SAR_FAIL;
        *outLen = n;
        return SAR_OK;
    });
}

} // namespace

SKFSOFT_API uint32_t KXF_CALL SKF_SetSymmKey(DEVHANDLE hDev, const uint8_t *pbKey, uint32_t ulAlgID, SKF_HANDLE *phKey)
{
    return runLocal([&] {
        if (!find<DevObject>(hDev))
            return SAR_INVALIDHANDLEERR;
        if (!pbKey || !phKey)
            return SAR_INVALIDPARAMERR;
        if (!sm4(ulAlgID))
            return SAR_NOTSUPPORTYETERR;
        *phKey = addKey(ulAlgID, SecretBytes(pbKey, pbKey + 16));
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_EncryptInit(SKF_HANDLE hKey, BLOCKCIPHERPARAM EncryptParam)
{
    return cipherInit(hKey, EncryptParam, true);
}

SKFSOFT_API uint32_t KXF_CALL SKF_Encrypt(SKF_HANDLE hKey, const uint8_t *pbData, uint32_t ulDataLen,
                                          uint8_t *pbEncryptedData, uint32_t *pulEncryptedLen)
{
    return cipherCall(hKey, true, pbData, ulDataLen, true, true, pbEncryptedData, pulEncryptedLen);
}

SKFSOFT_API uint32_t KXF_CALL SKF_EncryptUpdate(SKF_HANDLE hKey, const uint8_t *pbData, uint32_t ulDataLen,
                                                uint8_t *pbEncryptedData, uint32_t *pulEncryptedLen)
{
    return cipherCall(hKey, true, pbData, ulDataLen, true, false, pbEncryptedData, pulEncryptedLen);
}

SKFSOFT_API uint32_t KXF_CALL SKF_EncryptFinal(SKF_HANDLE hKey, uint8_t *pbEncryptedData, uint32_t *pulEncryptedDataLen)
{
    return cipherCall(hKey, true, nullptr, 0, false, true, pbEncryptedData, pulEncryptedDataLen);
}

SKFSOFT_API uint32_t KXF_CALL SKF_DecryptInit(SKF_HANDLE hKey, BLOCKCIPHERPARAM DecryptParam)
{
    return cipherInit(hKey, DecryptParam, false);
}

SKFSOFT_API uint32_t KXF_CALL SKF_Decrypt(SKF_HANDLE hKey, const uint8_t *pbEncryptedData, uint32_t ulEncryptedLen,
                                          uint8_t *pbData, uint32_t *pulDataLen)
{
    return cipherCall(hKey, false, pbEncryptedData, ulEncryptedLen, true, true, pbData, pulDataLen);
}

SKFSOFT_API uint32_t KXF_CALL SKF_DecryptUpdate(SKF_HANDLE hKey, const uint8_t *pbEncryptedData,
                                                uint32_t ulEncryptedLen, uint8_t *pbData, uint32_t *pulDataLen)
{
    return cipherCall(hKey, false, pbEncryptedData, ulEncryptedLen, true, false, pbData, pulDataLen);
}

SKFSOFT_API uint32_t KXF_CALL SKF_DecryptFinal(SKF_HANDLE hKey, uint8_t *pbDecryptedData, uint32_t *pulDecryptedDataLen)
{
    return cipherCall(hKey, false, nullptr, 0, false, true, pbDecryptedData, pulDecryptedDataLen);
}

// SM3 with a public key hashes Z first; a key blob of BitLen 0 counts as no key.
SKFSOFT_API uint32_t KXF_CALL SKF_DigestInit(DEVHANDLE hDev, uint32_t ulAlgID, const ECCPUBLICKEYBLOB *pPubKey,
                                             const uint8_t *pucID, uint32_t ulIDLen, SKF_HANDLE *phHash)
{
    return runLocal([&] {
        if (!find<DevObject>(hDev))
            return SAR_INVALIDHANDLEERR;
        if (!phHash || (!pucID && ulIDLen))
            return SAR_INVALIDPARAMERR;
        const EVP_MD *md = ulAlgID == SGD_SM3      ? EVP_sm3()
                           : ulAlgID == SGD_SHA1   ? EVP_sha1()
                           : ulAlgID == SGD_SHA256 ? EVP_sha256()
                                                   : nullptr;
        if (!md)
            return SAR_NOTSUPPORTYETERR;
        auto obj = std::make_unique<HashObject>();
        obj->ctx.reset(EVP_MD_CTX_new());
        if (!obj->ctx || EVP_DigestInit_ex(obj->ctx.get(), md, nullptr) != 1)
            return SAR_FAIL;
        if (ulAlgID == SGD_SM3 && pPubKey && pPubKey->BitLen != 0) {
            static const uint8_t kDefaultId[] = "1234567812345678";
            const bool defaultId = !pucID || ulIDLen == 0;
            uint8_t z[32];
            if (!sm3Z(*pPubKey, defaultId ? kDefaultId : pucID, defaultId ? 16 : ulIDLen, z))
                return SAR_INVALIDPARAMERR;
            EVP_DigestUpdate(obj->ctx.get(), z, sizeof z);
        }
        *phHash = reinterpret_cast<SKF_HANDLE>(addObject(std::move(obj)));
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_Digest(SKF_HANDLE hHash, const uint8_t *pbData, uint32_t ulDataLen,
                                         uint8_t *pbHashData, uint32_t *pulHashLen)
{
    return digestCall(hHash, pbData, ulDataLen, true, pbHashData, pulHashLen);
}

SKFSOFT_API uint32_t KXF_CALL SKF_DigestUpdate(SKF_HANDLE hHash, const uint8_t *pbData, uint32_t ulDataLen)
{
    return digestCall(hHash, pbData, ulDataLen, false, nullptr, nullptr);
}

SKFSOFT_API uint32_t KXF_CALL SKF_DigestFinal(SKF_HANDLE hHash, uint8_t *pHashData, uint32_t *pulHashLen)
{
    return digestCall(hHash, nullptr, 0, true, pHashData, pulHashLen);
}

// SM4-CBC-MAC; PaddingType 1 pads PKCS#5-style, 0 requires whole blocks. No parameter means a zero IV.
SKFSOFT_API uint32_t KXF_CALL SKF_MacInit(SKF_HANDLE hKey, BLOCKCIPHERPARAM *pMacParam, SKF_HANDLE *phMac)
{
    return runLocal([&] {
        const KeyObject *k = find<KeyObject>(hKey);
        if (!k)
            return SAR_INVALIDHANDLEERR;
        if (!phMac || (pMacParam && (pMacParam->PaddingType > 1 || (pMacParam->IVLen && pMacParam->IVLen != 16))))
            return SAR_INVALIDPARAMERR;
        auto obj = std::make_unique<MacObject>();
        obj->key = k->key;
        obj->chain.assign(16, 0);
        if (pMacParam && pMacParam->IVLen)
            std::memcpy(obj->chain.data(), pMacParam->IV, 16);
        obj->padded = pMacParam && pMacParam->PaddingType == 1;
        *phMac = reinterpret_cast<SKF_HANDLE>(addObject(std::move(obj)));
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_Mac(SKF_HANDLE hMac, const uint8_t *pbData, uint32_t ulDataLen, uint8_t *pbMacData,
                                      uint32_t *pulMacLen)
{
    return macCall(hMac, pbData, ulDataLen, true, pbMacData, pulMacLen);
}

SKFSOFT_API uint32_t KXF_CALL SKF_MacUpdate(SKF_HANDLE hMac, const uint8_t *pbData, uint32_t ulDataLen)
{
    return macCall(hMac, pbData, ulDataLen, false, nullptr, nullptr);
}

SKFSOFT_API uint32_t KXF_CALL SKF_MacFinal(SKF_HANDLE hMac, uint8_t *pbMacData, uint32_t *pulMacDataLen)
{
    return macCall(hMac, nullptr, 0, true, pbMacData, pulMacDataLen);
}

SKFSOFT_API uint32_t KXF_CALL SKF_CloseHandle(SKF_HANDLE hHandle)
{
    return runLocal([&] {
        if (!find<KeyObject>(hHandle) && !find<HashObject>(hHandle) && !find<MacObject>(hHandle))
            return SAR_INVALIDHANDLEERR;
        removeObject(hHandle);
        return SAR_OK;
    });
}

SKFSOFT_CHECK(SKF_SetSymmKey);
SKFSOFT_CHECK(SKF_EncryptInit);
SKFSOFT_CHECK(SKF_Encrypt);
SKFSOFT_CHECK(SKF_EncryptUpdate);
SKFSOFT_CHECK(SKF_EncryptFinal);
SKFSOFT_CHECK(SKF_DecryptInit);
SKFSOFT_CHECK(SKF_Decrypt);
SKFSOFT_CHECK(SKF_DecryptUpdate);
SKFSOFT_CHECK(SKF_DecryptFinal);
SKFSOFT_CHECK(SKF_DigestInit);
SKFSOFT_CHECK(SKF_Digest);
SKFSOFT_CHECK(SKF_DigestUpdate);
SKFSOFT_CHECK(SKF_DigestFinal);
SKFSOFT_CHECK(SKF_MacInit);
SKFSOFT_CHECK(SKF_Mac);
SKFSOFT_CHECK(SKF_MacUpdate);
SKFSOFT_CHECK(SKF_MacFinal);
SKFSOFT_CHECK(SKF_CloseHandle);
