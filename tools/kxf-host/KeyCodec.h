// Conversions between the token's key, signature and certificate records and OpenSSL's forms.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "UKeyAdaptor.h"

namespace kxfhost {

using Bytes = std::vector<uint8_t>;

struct PkeyFree {
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

constexpr uint32_t kSgdRsa = 0x00010000u;
constexpr uint32_t kSgdSm2Sign = 0x00020100u;
constexpr uint32_t kSgdSm3 = 0x00000001u;
constexpr uint32_t kSgdSha1 = 0x00000002u;
constexpr uint32_t kSgdSha256 = 0x00000004u;
constexpr uint32_t kSgdSm4Ecb = 0x00000401u;
constexpr uint32_t kSgdSm4Cbc = 0x00000402u;

Pkey keyFromBlob(const ECCPUBLICKEYBLOB &blob);
Pkey keyFromBlob(const RSAPUBLICKEYBLOB &blob);
bool blobFromKey(EVP_PKEY *key, ECCPUBLICKEYBLOB &blob);
bool blobFromKey(EVP_PKEY *key, RSAPUBLICKEYBLOB &blob);
bool isSm2(EVP_PKEY *key);

// A public key from PEM or DER, given as a key or inside a certificate.
Pkey readPublicKey(const Bytes &data);
Bytes writePublicKey(EVP_PKEY *key, bool der);

// A certificate in PEM or DER as DER; empty when it is neither.
Bytes certificateDer(const Bytes &data);
// DER as PEM; empty when the bytes are no certificate.
Bytes certificatePem(const Bytes &der);

// SM2 signatures travel as DER SEQUENCE { r, s }, as OpenSSL writes them.
Bytes signatureDer(const ECCSIGNATUREBLOB &blob);
bool signatureFromDer(const Bytes &der, ECCSIGNATUREBLOB &blob);

// The DER prefix that turns a digest into a PKCS #1 DigestInfo; empty for an unknown hash.
Bytes digestInfoPrefix(uint32_t hashAlg);

// PKCS #1 v1.5 encryption to an RSA public key.
bool rsaEncrypt(EVP_PKEY *key, const Bytes &plain, Bytes &wrapped);

std::string toHex(const uint8_t *data, size_t size);
inline std::string toHex(const Bytes &data)
{
    return toHex(data.data(), data.size());
}

} // namespace kxfhost
