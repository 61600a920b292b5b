// The token's cryptography, all of it through OpenSSL 3's default provider.
#include <openssl/asn1.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/obj_mac.h>
#include <openssl/param_build.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cstring>
#include <map>

#include "Token.h"

namespace softtoken {
namespace {

struct BnFree {
    void operator()(BIGNUM *b) const { BN_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX *c) const { EVP_PKEY_CTX_free(c); }
};
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;
struct SigFree {
    void operator()(ECDSA_SIG *s) const { ECDSA_SIG_free(s); }
};
struct SeqFree {
    void operator()(ASN1_SEQUENCE_ANY *s) const { sk_ASN1_TYPE_pop_free(s, ASN1_TYPE_free); }
};
using Seq = std::unique_ptr<ASN1_SEQUENCE_ANY, SeqFree>;

// A field of a GM/T 0016 blob holds its number right-aligned; the high bytes must be zero.
bool fromField(const uint8_t *field, size_t fieldLen, size_t numLen, uint8_t *out)
{
    for (size_t i = 0; i < fieldLen - numLen; ++i)
        if (field[i] != 0)
            return false;
    std::memcpy(out, field + fieldLen - numLen, numLen);
    return true;
}

Pkey fromData(const char *type, int selection, OSSL_PARAM *params)
{
    PkeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, type, nullptr));
    EVP_PKEY *key = nullptr;
    if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) <= 0 || EVP_PKEY_fromdata(ctx.get(), &key, selection, params) <= 0)
        return nullptr;
    Pkey owned(key);
    PkeyCtx check(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    return check && EVP_PKEY_public_check(check.get()) == 1 ? std::move(owned) : nullptr;
}

bool putInteger(ASN1_SEQUENCE_ANY *seq, const uint8_t *num, size_t len)
{
    Bn bn(BN_bin2bn(num, static_cast<int>(len), nullptr));
    ASN1_INTEGER *i = bn ? BN_to_ASN1_INTEGER(bn.get(), nullptr) : nullptr;
    ASN1_TYPE *t = i ? ASN1_TYPE_new() : nullptr;
    if (!t) {
        ASN1_INTEGER_free(i);
        return false;
    }
    ASN1_TYPE_set(t, V_ASN1_INTEGER, i);
    return sk_ASN1_TYPE_push(seq, t) > 0 || (ASN1_TYPE_free(t), false);
}

bool putOctets(ASN1_SEQUENCE_ANY *seq, const uint8_t *data, size_t len)
{
    ASN1_OCTET_STRING *s = ASN1_OCTET_STRING_new();
    ASN1_TYPE *t = s ? ASN1_TYPE_new() : nullptr;
    if (!t || !ASN1_OCTET_STRING_set(s, data, static_cast<int>(len))) {
        ASN1_OCTET_STRING_free(s);
        ASN1_TYPE_free(t);
        return false;
    }
    ASN1_TYPE_set(t, V_ASN1_OCTET_STRING, s);
    return sk_ASN1_TYPE_push(seq, t) > 0 || (ASN1_TYPE_free(t), false);
}

constexpr uint32_t kPinIterations = 10000;
constexpr size_t kNonceLen = 12, kTagLen = 16;

// 64 bytes from one PBKDF2 run: the verifier, then the key that seals the token key.
bool derivePin(const char *value, const Pin &pin, uint8_t out[64])
{
    return value && !pin.salt.empty() &&
           PKCS5_PBKDF2_HMAC(value, static_cast<int>(std::strlen(value)), pin.salt.data(),
                             static_cast<int>(pin.salt.size()), static_cast<int>(pin.iterations), EVP_sha256(), 64,
                             out) == 1;
}

} // namespace

bool makePin(const char *value, uint32_t retries, const SecretBytes &tokenKey, Pin &pin)
{
    pin.salt.resize(16);
    pin.iterations = kPinIterations;
    pin.maxRetry = pin.remain = retries;
    pin.isDefault = true;
    uint8_t derived[64];
    if (!randomBytes(pin.salt.data(), pin.salt.size()) || !derivePin(value, pin, derived))
        return false;
    pin.verifier.assign(derived, derived + 32);
    const SecretBytes kek(derived + 32, derived + 64);
    const bool ok = seal(kek, tokenKey.data(), tokenKey.size(), pin.wrap);
    OPENSSL_cleanse(derived, sizeof derived);
    return ok;
}

bool pinMatches(const Pin &pin, const char *value, SecretBytes *tokenKey)
{
    uint8_t derived[64];
    if (pin.verifier.size() != 32 || !derivePin(value, pin, derived))
        return false;
    bool ok = CRYPTO_memcmp(derived, pin.verifier.data(), 32) == 0;
    if (ok && tokenKey) {
        const SecretBytes kek(derived + 32, derived + 64);
        ok = unseal(kek, pin.wrap, *tokenKey) && tokenKey->size() == 32;
    }
    OPENSSL_cleanse(derived, sizeof derived);
    return ok;
}

// AES-256-GCM: nonce, cipher text, tag.
bool seal(const SecretBytes &key, const uint8_t *plain, size_t len, Bytes &out)
{
    CipherCtx ctx(EVP_CIPHER_CTX_new());
    out.assign(kNonceLen + len + kTagLen, 0);
    int n = 0, m = 0;
    return key.size() == 32 && ctx && randomBytes(out.data(), kNonceLen) &&
           EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, key.data(), out.data()) == 1 &&
           EVP_EncryptUpdate(ctx.get(), out.data() + kNonceLen, &n, plain, static_cast<int>(len)) == 1 &&
           EVP_EncryptFinal_ex(ctx.get(), out.data() + kNonceLen + n, &m) == 1 &&
           EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTagLen, out.data() + kNonceLen + len) == 1;
}

bool unseal(const SecretBytes &key, const Bytes &in, SecretBytes &plain)
{
    if (key.size() != 32 || in.size() < kNonceLen + kTagLen)
        return false;
    const size_t len = in.size() - kNonceLen - kTagLen;
    CipherCtx ctx(EVP_CIPHER_CTX_new());
    plain.assign(len, 0);
    Bytes tag(in.end() - kTagLen, in.end());
    int n = 0, m = 0;
    const bool ok = ctx && EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, key.data(), in.data()) == 1 &&
                    EVP_DecryptUpdate(ctx.get(), plain.data(), &n, in.data() + kNonceLen, static_cast<int>(len)) == 1 &&
                    EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagLen, tag.data()) == 1 &&
                    EVP_DecryptFinal_ex(ctx.get(), plain.data() + n, &m) == 1;
    if (!ok)
        plain = SecretBytes(); // unauthenticated plain text is not handed out
    return ok;
}

bool sealKeyPair(const SecretBytes &tokenKey, EVP_PKEY *key, KeyPair &out)
{
    const SecretBytes der = privateKeyDer(key);
    KeyPair pair;
    pair.type = EVP_PKEY_is_a(key, "RSA") ? 1 : 2;
    pair.derLen = static_cast<uint32_t>(der.size());
    pair.publicDer = publicKeyDer(key);
    const bool ok = !der.empty() && !pair.publicDer.empty() && seal(tokenKey, der.data(), der.size(), pair.sealed) &&
                    EVP_PKEY_up_ref(key) == 1;
    if (!ok)
        return false;
    pair.decoded.reset(key, EVP_PKEY_free);
    out = std::move(pair);
    return true;
}

EVP_PKEY *privateKey(KeyPair &pair, const AppObject &session)
{
    if (pair.empty())
        return nullptr;
    if (!pair.decoded) {
        SecretBytes der;
        if (session.tokenKey.empty() || !unseal(session.tokenKey, pair.sealed, der))
            return nullptr;
        Pkey key = loadPrivateKey(der);
        pair.decoded.reset(key.release(), EVP_PKEY_free);
    }
    return pair.decoded.get();
}

Pkey publicKeyOf(const KeyPair &pair)
{
    const unsigned char *p = pair.publicDer.data();
    return pair.publicDer.empty() ? nullptr : Pkey(d2i_PUBKEY(nullptr, &p, static_cast<long>(pair.publicDer.size())));
}

template <class Out>
static Out encodeDer(EVP_PKEY *key, int (*i2d)(const EVP_PKEY *, unsigned char **))
{
    unsigned char *der = nullptr;
    const int n = i2d(key, &der);
    Out out;
    if (n > 0)
        out.assign(der, der + n);
    OPENSSL_clear_free(der, n > 0 ? static_cast<size_t>(n) : 0); // a private key's DER too
    return out;
}

Bytes publicKeyDer(EVP_PKEY *key)
{
    return encodeDer<Bytes>(key, i2d_PUBKEY);
}

EVP_PKEY *cachedEccPublicKey(const ECCPUBLICKEYBLOB &blob)
{
    static std::map<std::string, Pkey> cache;
    std::string id(reinterpret_cast<const char *>(&blob), sizeof blob);
    const auto it = cache.find(id);
    if (it != cache.end())
        return it->second.get();
    Pkey key = eccPublicKey(blob);
    if (!key)
        return nullptr;
    if (cache.size() >= 64)
        cache.clear();
    return cache.emplace(std::move(id), std::move(key)).first->second.get();
}

bool randomBytes(uint8_t *out, size_t len)
{
    return len == 0 || RAND_bytes(out, static_cast<int>(len)) == 1;
}

const EVP_CIPHER *sm4(uint32_t alg)
{
    if (alg == SGD_SM4_ECB)
        return EVP_sm4_ecb();
    if (alg == SGD_SM4_CBC || alg == SGD_SM4_MAC)
        return EVP_sm4_cbc();
    return nullptr;
}

bool sm4Ecb(const SecretBytes &key, const uint8_t *in, size_t len, uint8_t *out, bool encrypt)
{
    CipherCtx ctx(EVP_CIPHER_CTX_new());
    int n = 0;
    return key.size() == 16 && len % 16 == 0 && ctx &&
           EVP_CipherInit_ex(ctx.get(), EVP_sm4_ecb(), nullptr, key.data(), nullptr, encrypt) == 1 &&
           EVP_CIPHER_CTX_set_padding(ctx.get(), 0) == 1 &&
           EVP_CipherUpdate(ctx.get(), out, &n, in, static_cast<int>(len)) == 1 && static_cast<size_t>(n) == len;
}

Pkey generateKey(bool rsa, uint32_t bits)
{
    return Pkey(rsa ? EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(bits))
                    : EVP_PKEY_Q_keygen(nullptr, nullptr, "SM2"));
}

Pkey loadPrivateKey(const SecretBytes &der)
{
    const unsigned char *p = der.data();
    return der.empty() ? nullptr : Pkey(d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(der.size())));
}

SecretBytes privateKeyDer(EVP_PKEY *key)
{
    return encodeDer<SecretBytes>(key, i2d_PrivateKey);
}

bool eccPublicBlob(EVP_PKEY *key, ECCPUBLICKEYBLOB &blob)
{
    uint8_t point[65];
    size_t len = 0;
    if (!EVP_PKEY_is_a(key, "SM2") ||
        !EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &len) || len != 65)
        return false;
    blob = {};
    blob.BitLen = 256;
    std::memcpy(blob.XCoordinate + 32, point + 1, 32);
    std::memcpy(blob.YCoordinate + 32, point + 33, 32);
    return true;
}

bool rsaPublicBlob(EVP_PKEY *key, RSAPUBLICKEYBLOB &blob)
{
    BIGNUM *n = nullptr, *e = nullptr;
    const bool ok = EVP_PKEY_is_a(key, "RSA") && EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &n) &&
                    EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &e) && BN_num_bytes(n) <= 256 &&
                    BN_num_bytes(e) <= 4;
    if (ok) {
        blob = {};
        blob.AlgID = SGD_RSA;
        blob.BitLen = static_cast<uint32_t>(BN_num_bits(n));
        BN_bn2binpad(n, blob.Modulus, sizeof blob.Modulus);
        BN_bn2binpad(e, blob.PublicExponent, sizeof blob.PublicExponent);
    }
    BN_free(n);
    BN_free(e);
    return ok;
}

Pkey eccPublicKey(const ECCPUBLICKEYBLOB &blob)
{
    uint8_t point[65] = {POINT_CONVERSION_UNCOMPRESSED};
    if (blob.BitLen != 256 || !fromField(blob.XCoordinate, 64, 32, point + 1) ||
        !fromField(blob.YCoordinate, 64, 32, point + 33))
        return nullptr;
    char group[] = SN_sm2;
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
                           OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point),
                           OSSL_PARAM_construct_end()};
    return fromData("SM2", EVP_PKEY_PUBLIC_KEY, params);
}

Pkey sm2PrivateKey(const uint8_t priv[32], const ECCPUBLICKEYBLOB &pub)
{
    uint8_t point[65] = {POINT_CONVERSION_UNCOMPRESSED};
    Bn d(BN_bin2bn(priv, 32, nullptr));
    if (!d || pub.BitLen != 256 || !fromField(pub.XCoordinate, 64, 32, point + 1) ||
        !fromField(pub.YCoordinate, 64, 32, point + 33))
        return nullptr;
    OSSL_PARAM_BLD *bld = OSSL_PARAM_BLD_new();
    OSSL_PARAM *params = nullptr;
    if (bld && OSSL_PARAM_BLD_push_utf8_string(bld, OSSL_PKEY_PARAM_GROUP_NAME, SN_sm2, 0) &&
        OSSL_PARAM_BLD_push_octet_string(bld, OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point) &&
        OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_PRIV_KEY, d.get()))
        params = OSSL_PARAM_BLD_to_param(bld);
    Pkey key = params ? fromData("SM2", EVP_PKEY_KEYPAIR, params) : nullptr;
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(bld);
    PkeyCtx check(key ? EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr) : nullptr);
    return check && EVP_PKEY_pairwise_check(check.get()) == 1 ? std::move(key) : nullptr;
}

Pkey rsaPublicKey(const RSAPUBLICKEYBLOB &blob)
{
    if (blob.BitLen < 512 || blob.BitLen > 2048 || blob.BitLen % 8 != 0)
        return nullptr;
    Bn n(BN_bin2bn(blob.Modulus, sizeof blob.Modulus, nullptr));
    Bn e(BN_bin2bn(blob.PublicExponent, sizeof blob.PublicExponent, nullptr));
    if (!n || !e || static_cast<uint32_t>(BN_num_bits(n.get())) != blob.BitLen)
        return nullptr;
    OSSL_PARAM_BLD *bld = OSSL_PARAM_BLD_new();
    OSSL_PARAM *params = nullptr;
    if (bld && OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, n.get()) &&
        OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, e.get()))
        params = OSSL_PARAM_BLD_to_param(bld);
    Pkey key = params ? fromData("RSA", EVP_PKEY_PUBLIC_KEY, params) : nullptr;
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(bld);
    return key;
}

bool sm2Sign(EVP_PKEY *key, const uint8_t *digest, size_t len, ECCSIGNATUREBLOB &sig)
{
    PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
    Bytes der;
    size_t derLen = 0;
    if (!EVP_PKEY_is_a(key, "SM2") || !ctx || EVP_PKEY_sign_init(ctx.get()) <= 0 ||
        EVP_PKEY_sign(ctx.get(), nullptr, &derLen, digest, len) <= 0)
        return false;
    der.resize(derLen);
    if (EVP_PKEY_sign(ctx.get(), der.data(), &derLen, digest, len) <= 0)
        return false;
    const unsigned char *p = der.data();
    std::unique_ptr<ECDSA_SIG, SigFree> s(d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(derLen)));
    if (!s)
        return false;
    sig = {};
    return BN_bn2binpad(ECDSA_SIG_get0_r(s.get()), sig.r, sizeof sig.r) > 0 &&
           BN_bn2binpad(ECDSA_SIG_get0_s(s.get()), sig.s, sizeof sig.s) > 0;
}

bool sm2Verify(EVP_PKEY *key, const uint8_t *digest, size_t len, const ECCSIGNATUREBLOB &sig)
{
    std::unique_ptr<ECDSA_SIG, SigFree> s(ECDSA_SIG_new());
    BIGNUM *r = BN_bin2bn(sig.r, sizeof sig.r, nullptr), *sv = BN_bin2bn(sig.s, sizeof sig.s, nullptr);
    if (!s || !r || !sv || !ECDSA_SIG_set0(s.get(), r, sv)) {
        BN_free(r);
        BN_free(sv);
        return false;
    }
    unsigned char *der = nullptr;
    const int derLen = i2d_ECDSA_SIG(s.get(), &der);
    PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
    const bool ok = derLen > 0 && ctx && EVP_PKEY_verify_init(ctx.get()) > 0 &&
                    EVP_PKEY_verify(ctx.get(), der, static_cast<size_t>(derLen), digest, len) == 1;
    OPENSSL_free(der);
    return ok;
}

// OpenSSL speaks the DER form SEQUENCE { x, y, hash, cipher }; the token speaks ECCCIPHERBLOB.
bool sm2Encrypt(EVP_PKEY *key, const uint8_t *plain, size_t len, Bytes &blob)
{
    SecretBytes der;
    if (!EVP_PKEY_is_a(key, "SM2") || len == 0 || !pkeyCrypt(key, true, plain, len, der))
        return false;
    const unsigned char *p = der.data();
    Seq seq(d2i_ASN1_SEQUENCE_ANY(nullptr, &p, static_cast<long>(der.size())));
    if (!seq || sk_ASN1_TYPE_num(seq.get()) != 4)
        return false;
    const ASN1_TYPE *x = sk_ASN1_TYPE_value(seq.get(), 0), *y = sk_ASN1_TYPE_value(seq.get(), 1);
    const ASN1_TYPE *hash = sk_ASN1_TYPE_value(seq.get(), 2), *cipher = sk_ASN1_TYPE_value(seq.get(), 3);
    if (x->type != V_ASN1_INTEGER || y->type != V_ASN1_INTEGER || hash->type != V_ASN1_OCTET_STRING ||
        cipher->type != V_ASN1_OCTET_STRING || ASN1_STRING_length(hash->value.octet_string) != 32)
        return false;
    const int cipherLen = ASN1_STRING_length(cipher->value.octet_string);
    blob.assign(164 + static_cast<size_t>(cipherLen), 0);
    Bn bx(ASN1_INTEGER_to_BN(x->value.integer, nullptr)), by(ASN1_INTEGER_to_BN(y->value.integer, nullptr));
    if (!bx || !by || BN_bn2binpad(bx.get(), blob.data(), 64) < 0 || BN_bn2binpad(by.get(), blob.data() + 64, 64) < 0)
        return false;
    std::memcpy(blob.data() + 128, ASN1_STRING_get0_data(hash->value.octet_string), 32);
    const uint32_t len32 = static_cast<uint32_t>(cipherLen);
    std::memcpy(blob.data() + 160, &len32, 4);
    std::memcpy(blob.data() + 164, ASN1_STRING_get0_data(cipher->value.octet_string), len32);
    return true;
}

bool sm2Decrypt(EVP_PKEY *key, const uint8_t *blob, size_t blobLen, SecretBytes &plain)
{
    uint32_t cipherLen = 0;
    if (!EVP_PKEY_is_a(key, "SM2") || blobLen < 164)
        return false;
    std::memcpy(&cipherLen, blob + 160, 4);
    uint8_t x[32], y[32];
    if (cipherLen == 0 || cipherLen > blobLen - 164 || !fromField(blob, 64, 32, x) || !fromField(blob + 64, 64, 32, y))
        return false;
    Seq seq(sk_ASN1_TYPE_new_null());
    if (!seq || !putInteger(seq.get(), x, 32) || !putInteger(seq.get(), y, 32) ||
        !putOctets(seq.get(), blob + 128, 32) || !putOctets(seq.get(), blob + 164, cipherLen))
        return false;
    unsigned char *der = nullptr;
    const int derLen = i2d_ASN1_SEQUENCE_ANY(seq.get(), &der);
    const bool ok = derLen > 0 && pkeyCrypt(key, false, der, static_cast<size_t>(derLen), plain);
    OPENSSL_free(der);
    return ok;
}

// Public-key encryption or private-key decryption; RSA uses PKCS#1 v1.5 padding.
bool pkeyCrypt(EVP_PKEY *key, bool encrypt, const uint8_t *in, size_t len, SecretBytes &out)
{
    PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
    if (!ctx || (encrypt ? EVP_PKEY_encrypt_init(ctx.get()) : EVP_PKEY_decrypt_init(ctx.get())) <= 0)
        return false;
    if (EVP_PKEY_is_a(key, "RSA") && EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0)
        return false;
    auto run = encrypt ? EVP_PKEY_encrypt : EVP_PKEY_decrypt;
    size_t outLen = 0;
    if (run(ctx.get(), nullptr, &outLen, in, len) <= 0)
        return false;
    out.resize(outLen);
    if (run(ctx.get(), out.data(), &outLen, in, len) <= 0)
        return false;
    out.resize(outLen);
    return true;
}

bool rsaSign(EVP_PKEY *key, const uint8_t *data, size_t len, Bytes &sig)
{
    PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
    size_t sigLen = 0;
    if (!EVP_PKEY_is_a(key, "RSA") || !ctx || EVP_PKEY_sign_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0 ||
        EVP_PKEY_sign(ctx.get(), nullptr, &sigLen, data, len) <= 0)
        return false;
    sig.resize(sigLen);
    if (EVP_PKEY_sign(ctx.get(), sig.data(), &sigLen, data, len) <= 0)
        return false;
    sig.resize(sigLen);
    return true;
}

bool rsaVerify(EVP_PKEY *key, const uint8_t *data, size_t len, const uint8_t *sig, size_t sigLen)
{
    PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
    return ctx && EVP_PKEY_verify_init(ctx.get()) > 0 &&
           EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) > 0 &&
           EVP_PKEY_verify(ctx.get(), sig, sigLen, data, len) == 1;
}

// Z = SM3(ENTL || ID || a || b || xG || yG || xA || yA), the signer's identity digest.
bool sm3Z(const ECCPUBLICKEYBLOB &pub, const uint8_t *id, size_t idLen, uint8_t z[32])
{
    if (idLen > 8191)
        return false;
    std::unique_ptr<EC_GROUP, decltype(&EC_GROUP_free)> group(EC_GROUP_new_by_curve_name(NID_sm2), EC_GROUP_free);
    Bn p(BN_new()), a(BN_new()), b(BN_new()), gx(BN_new()), gy(BN_new());
    if (!group || !p || !a || !b || !gx || !gy ||
        !EC_GROUP_get_curve(group.get(), p.get(), a.get(), b.get(), nullptr) ||
        !EC_POINT_get_affine_coordinates(group.get(), EC_GROUP_get0_generator(group.get()), gx.get(), gy.get(),
                                         nullptr))
        return false;
    Bytes in{static_cast<uint8_t>(idLen * 8 >> 8), static_cast<uint8_t>(idLen * 8)};
    in.insert(in.end(), id, id + idLen);
    for (const BIGNUM *n : {a.get(), b.get(), gx.get(), gy.get()}) {
        uint8_t buf[32];
        BN_bn2binpad(n, buf, 32);
        in.insert(in.end(), buf, buf + 32);
    }
    uint8_t x[32], y[32];
    if (!fromField(pub.XCoordinate, 64, 32, x) || !fromField(pub.YCoordinate, 64, 32, y))
        return false;
    in.insert(in.end(), x, x + 32);
    in.insert(in.end(), y, y + 32);
    unsigned int len = 0;
    return EVP_Digest(in.data(), in.size(), z, &len, EVP_sm3(), nullptr) == 1 && len == 32;
}

} // namespace softtoken
