#include "KeyCodec.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>

namespace kxfhost {

namespace {

struct Free {
    void operator()(BIO *p) const { BIO_free(p); }
    void operator()(BIGNUM *p) const { BN_free(p); }
    void operator()(X509 *p) const { X509_free(p); }
    void operator()(ECDSA_SIG *p) const { ECDSA_SIG_free(p); }
    void operator()(EVP_PKEY_CTX *p) const { EVP_PKEY_CTX_free(p); }
    void operator()(OSSL_PARAM_BLD *p) const { OSSL_PARAM_BLD_free(p); }
    void operator()(OSSL_PARAM *p) const { OSSL_PARAM_free(p); }
};
template <class T>
using Own = std::unique_ptr<T, Free>;

// Coordinates and integers sit right-aligned in their fixed fields.
constexpr size_t kSm2Field = 32;
constexpr size_t kEccOffset = SKF_ECC_MAX_XCOORDINATE_LEN - kSm2Field;

Pkey fromData(const char *type, OSSL_PARAM_BLD *build)
{
    Own<OSSL_PARAM> params(OSSL_PARAM_BLD_to_param(build));
    Own<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new_from_name(nullptr, type, nullptr));
    EVP_PKEY *key = nullptr;
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) <= 0 ||
        EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) <= 0)
        return nullptr;
    return Pkey(key);
}

Own<BIO> memory(const Bytes &data)
{
    return Own<BIO>(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
}

Bytes drain(BIO *bio)
{
    char *p = nullptr;
    const long n = BIO_get_mem_data(bio, &p);
    return n > 0 ? Bytes(p, p + n) : Bytes();
}

} // namespace

Pkey keyFromBlob(const ECCPUBLICKEYBLOB &blob)
{
    if (blob.BitLen != 256)
        return nullptr;
    uint8_t point[1 + 2 * kSm2Field] = {0x04};
    std::copy_n(blob.XCoordinate + kEccOffset, kSm2Field, point + 1);
    std::copy_n(blob.YCoordinate + kEccOffset, kSm2Field, point + 1 + kSm2Field);
    Own<OSSL_PARAM_BLD> build(OSSL_PARAM_BLD_new());
    if (!build || !OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, "SM2", 0) ||
        !OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point))
        return nullptr;
    return fromData("SM2", build.get());
}

Pkey keyFromBlob(const RSAPUBLICKEYBLOB &blob)
{
    const size_t bytes = blob.BitLen / 8;
    if (blob.BitLen % 8 != 0 || bytes == 0 || bytes > sizeof blob.Modulus)
        return nullptr;
    Own<BIGNUM> n(BN_bin2bn(blob.Modulus + sizeof blob.Modulus - bytes, static_cast<int>(bytes), nullptr));
    Own<BIGNUM> e(BN_bin2bn(blob.PublicExponent, sizeof blob.PublicExponent, nullptr));
    Own<OSSL_PARAM_BLD> build(OSSL_PARAM_BLD_new());
    if (!n || !e || !build || !OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) ||
        !OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_E, e.get()))
        return nullptr;
    return fromData("RSA", build.get());
}

bool isSm2(EVP_PKEY *key)
{
    if (EVP_PKEY_is_a(key, "SM2"))
        return true;
    char group[64] = {};
    return EVP_PKEY_is_a(key, "EC") &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, nullptr) &&
           std::string(group) == "SM2";
}

bool blobFromKey(EVP_PKEY *key, ECCPUBLICKEYBLOB &blob)
{
    uint8_t point[1 + 2 * kSm2Field];
    size_t length = 0;
    if (!isSm2(key) || !EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &length) ||
        length != sizeof point || point[0] != 0x04)
        return false;
    blob = ECCPUBLICKEYBLOB{};
    blob.BitLen = 256;
    std::copy_n(point + 1, kSm2Field, blob.XCoordinate + kEccOffset);
    std::copy_n(point + 1 + kSm2Field, kSm2Field, blob.YCoordinate + kEccOffset);
    return true;
}

bool blobFromKey(EVP_PKEY *key, RSAPUBLICKEYBLOB &blob)
{
    BIGNUM *n = nullptr, *e = nullptr;
    const bool got = EVP_PKEY_is_a(key, "RSA") && EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &n) &&
                     EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &e);
    Own<BIGNUM> ownN(n), ownE(e);
    blob = RSAPUBLICKEYBLOB{};
    blob.AlgID = kSgdRsa;
    blob.BitLen = static_cast<uint32_t>(EVP_PKEY_get_bits(key));
    return got && BN_bn2binpad(n, blob.Modulus, sizeof blob.Modulus) > 0 &&
           BN_bn2binpad(e, blob.PublicExponent, sizeof blob.PublicExponent) > 0;
}

Pkey readPublicKey(const Bytes &data)
{
    if (auto bio = memory(data))
        if (EVP_PKEY *key = PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr))
            return Pkey(key);
    if (auto bio = memory(data))
        if (Own<X509> cert{PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)})
            return Pkey(X509_get_pubkey(cert.get()));
    const uint8_t *p = data.data();
    if (EVP_PKEY *key = d2i_PUBKEY(nullptr, &p, static_cast<long>(data.size())))
        return Pkey(key);
    p = data.data();
    if (Own<X509> cert{d2i_X509(nullptr, &p, static_cast<long>(data.size()))})
        return Pkey(X509_get_pubkey(cert.get()));
    return nullptr;
}

Bytes writePublicKey(EVP_PKEY *key, bool der)
{
    Own<BIO> bio(BIO_new(BIO_s_mem()));
    if (!bio || !(der ? i2d_PUBKEY_bio(bio.get(), key) : PEM_write_bio_PUBKEY(bio.get(), key)))
        return {};
    return drain(bio.get());
}

Bytes certificateDer(const Bytes &data)
{
    Own<X509> cert;
    if (auto bio = memory(data))
        cert.reset(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    if (!cert) {
        const uint8_t *p = data.data();
        cert.reset(d2i_X509(nullptr, &p, static_cast<long>(data.size())));
    }
    uint8_t *der = nullptr;
    const int n = cert ? i2d_X509(cert.get(), &der) : 0;
    Bytes out = n > 0 ? Bytes(der, der + n) : Bytes();
    OPENSSL_free(der);
    return out;
}

Bytes certificatePem(const Bytes &der)
{
    const uint8_t *p = der.data();
    Own<X509> cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    Own<BIO> bio(BIO_new(BIO_s_mem()));
    if (!cert || !bio || !PEM_write_bio_X509(bio.get(), cert.get()))
        return {};
    return drain(bio.get());
}

Bytes signatureDer(const ECCSIGNATUREBLOB &blob)
{
    Own<ECDSA_SIG> sig(ECDSA_SIG_new());
    BIGNUM *r = BN_bin2bn(blob.r + kEccOffset, kSm2Field, nullptr);
    BIGNUM *s = BN_bin2bn(blob.s + kEccOffset, kSm2Field, nullptr);
    if (!sig || !r || !s || !ECDSA_SIG_set0(sig.get(), r, s)) {
        BN_free(r);
        BN_free(s);
        return {};
    }
    uint8_t *der = nullptr;
    const int n = i2d_ECDSA_SIG(sig.get(), &der);
    Bytes out = n > 0 ? Bytes(der, der + n) : Bytes();
    OPENSSL_free(der);
    return out;
}

bool signatureFromDer(const Bytes &der, ECCSIGNATUREBLOB &blob)
{
    const uint8_t *p = der.data();
    Own<ECDSA_SIG> sig(d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(der.size())));
    blob = ECCSIGNATUREBLOB{};
    return sig && p == der.data() + der.size() &&
           BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), blob.r + kEccOffset, kSm2Field) > 0 &&
           BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), blob.s + kEccOffset, kSm2Field) > 0;
}

Bytes digestInfoPrefix(uint32_t hashAlg)
{
    static const Bytes sha1 = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
                               0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};
    static const Bytes sha256 = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                 0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
    return hashAlg == kSgdSha1 ? sha1 : hashAlg == kSgdSha256 ? sha256 : Bytes();
}

bool rsaEncrypt(EVP_PKEY *key, const Bytes &plain, Bytes &wrapped)
{
    Own<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    size_t length = 0;
    if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0 ||
        EVP_PKEY_encrypt(ctx.get(), nullptr, &length, plain.data(), plain.size()) <= 0)
        return false;
    wrapped.resize(length);
    if (EVP_PKEY_encrypt(ctx.get(), wrapped.data(), &length, plain.data(), plain.size()) <= 0)
        return false;
    wrapped.resize(length);
    return true;
}

std::string toHex(const uint8_t *data, size_t size)
{
    std::string text(size * 2 + 1, '\0');
    size_t length = 0;
    if (size == 0 || !OPENSSL_buf2hexstr_ex(text.data(), text.size(), &length, data, size, '\0'))
        return {};
    text.resize(length > 0 ? length - 1 : 0);
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

} // namespace kxfhost
