#include "Mechanisms.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstring>

#include "Objects.h"

namespace ukeyp11 {

namespace {

constexpr uint32_t SGD_RSA = 0x00010000, SGD_SM2_1 = 0x00020100, SGD_SM3 = 0x00000001;
constexpr CK_ULONG kNoKey = ~CK_ULONG{0};
const uint8_t kSignerId[] = "1234567812345678"; // the default signer identity, without its NUL

struct Mechanism {
    CK_MECHANISM_TYPE type;
    CK_KEY_TYPE key; // kNoKey for digests
    CK_FLAGS flags;
    CK_ULONG minBits, maxBits;
    uint32_t asymCap, hashCap; // what DEVINFO must report
};

const Mechanism kMechanisms[] = {
    {CKM_RSA_PKCS_KEY_PAIR_GEN, CKK_RSA, CKF_HW | CKF_GENERATE_KEY_PAIR, 1024, 2048, SGD_RSA, 0},
    {CKM_RSA_PKCS, CKK_RSA, CKF_HW | CKF_SIGN | CKF_VERIFY | CKF_DECRYPT, 1024, 2048, SGD_RSA, 0},
    {CKM_SHA256_RSA_PKCS, CKK_RSA, CKF_HW | CKF_SIGN | CKF_VERIFY, 1024, 2048, SGD_RSA, 0},
    {CKM_EC_KEY_PAIR_GEN, CKK_EC, CKF_HW | CKF_GENERATE_KEY_PAIR | CKF_EC_F_P | CKF_EC_NAMEDCURVE | CKF_EC_UNCOMPRESS,
     256, 256, SGD_SM2_1, 0},
    {CKM_UKEY_SM2, CKK_EC, CKF_HW | CKF_SIGN | CKF_VERIFY | CKF_EC_F_P | CKF_EC_NAMEDCURVE | CKF_EC_UNCOMPRESS, 256,
     256, SGD_SM2_1, 0},
    {CKM_UKEY_SM3_SM2, CKK_EC, CKF_HW | CKF_SIGN | CKF_VERIFY | CKF_EC_F_P | CKF_EC_NAMEDCURVE | CKF_EC_UNCOMPRESS, 256,
     256, SGD_SM2_1, SGD_SM3},
    {CKM_UKEY_SM3, kNoKey, CKF_HW | CKF_DIGEST, 0, 0, 0, SGD_SM3},
};

const CK_FLAGS kKindFlag[kOpKinds] = {CKF_SIGN, CKF_VERIFY, CKF_DECRYPT, CKF_DIGEST};

const Mechanism *offered(Slot &slot, CK_MECHANISM_TYPE type)
{
    const bool temporary = slot.dev == 0;
    if (slot.connect() != CKR_OK)
        return nullptr;
    const DEVINFO info = slot.devInfo();
    if (temporary && slot.sessions == 0)
        slot.disconnect();
    for (const Mechanism &m : kMechanisms)
        if (m.type == type && (info.AlgAsymCap & m.asymCap) == m.asymCap && (info.AlgHashCap & m.hashCap) == m.hashCap)
            return &m;
    return nullptr;
}

// SM3 on the key; with a public key the digest starts with Z for the default signer identity.
CK_RV sm3(Slot &slot, const Object *key, const Bytes &data, Bytes &out)
{
    const auto *pub = key ? reinterpret_cast<const ECCPUBLICKEYBLOB *>(key->blob.data()) : nullptr;
    SKF_HANDLE hash = nullptr;
    uint32_t rc = slot.adaptor->kxf()->DigestInit(slot.dev, SGD_SM3, pub, pub ? sizeof *pub : 0,
                                                  pub ? kSignerId : nullptr, pub ? sizeof kSignerId - 1 : 0, &hash);
    if (rc != SAR_OK)
        return toCkr(rc);
    static const uint8_t kEmpty = 0;
    out.assign(32, 0);
    uint32_t len = 32;
    rc = slot.adaptor->kxf()->Digest(slot.dev, hash, data.empty() ? &kEmpty : data.data(),
                                     static_cast<uint32_t>(data.size()), out.data(), &len);
    slot.adaptor->kxf()->CloseHandle(slot.dev, hash);
    out.resize(std::min<size_t>(len, 32));
    return rc == SAR_OK && len == 32 ? CKR_OK : rc == SAR_OK ? CKR_DEVICE_ERROR : toCkr(rc);
}

// What the key signs or verifies: the data itself, a DigestInfo, or an SM3 digest.
CK_RV toBeSigned(Slot &slot, const Operation &op, const Object &key, Bytes &out)
{
    switch (op.mechanism) {
    case CKM_RSA_PKCS:
        if (op.data.size() + 11 > rsaModulusBytes(key))
            return CKR_DATA_LEN_RANGE;
        out = op.data;
        return CKR_OK;
    case CKM_SHA256_RSA_PKCS: {
        out = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
               0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
        uint8_t md[32];
        unsigned int mdLen = 0;
        if (EVP_Digest(op.data.data(), op.data.size(), md, &mdLen, EVP_sha256(), nullptr) != 1)
            return CKR_FUNCTION_FAILED;
        out.insert(out.end(), md, md + mdLen);
        return CKR_OK;
    }
    case CKM_UKEY_SM2:
        if (op.data.size() != 32)
            return CKR_DATA_LEN_RANGE;
        out = op.data;
        return CKR_OK;
    default:
        return sm3(slot, &key, op.data, out);
    }
}

size_t outputLength(const Operation &op, const Object *key)
{
    if (op.mechanism == CKM_UKEY_SM3)
        return 32;
    if (key && key->keyType == CKK_EC)
        return 64;
    return key ? rsaModulusBytes(*key) : 0;
}

CK_RV sign(Slot &slot, const Operation &op, const Object &key, Bytes &out)
{
    Bytes tbs;
    if (const CK_RV rv = toBeSigned(slot, op, key, tbs))
        return rv;
    Container c(slot, key.container);
    if (c.result() != SAR_OK)
        return toCkr(c.result());
    const auto n = static_cast<uint32_t>(tbs.size());
    if (key.keyType == CKK_RSA) {
        out.assign(SKF_MAX_RSA_MODULUS_LEN, 0);
        uint32_t len = static_cast<uint32_t>(out.size());
        const uint32_t rc = slot.adaptor->kxf()->RSASignData(slot.dev, c.handle(), tbs.data(), n, out.data(), &len);
        out.resize(std::min<size_t>(len, out.size()));
        return toCkr(rc);
    }
    ECCSIGNATUREBLOB sig{};
    uint32_t len = sizeof sig;
    const uint32_t rc = slot.adaptor->kxf()->ECCSignData(slot.dev, c.handle(), tbs.data(), n, &sig, &len);
    out.assign(sig.r + 32, sig.r + 64);
    out.insert(out.end(), sig.s + 32, sig.s + 64);
    return toCkr(rc);
}

CK_RV decrypt(Slot &slot, const Operation &op, const Object &key, Bytes &out)
{
    if (op.data.size() != rsaModulusBytes(key))
        return CKR_ENCRYPTED_DATA_LEN_RANGE;
    Container c(slot, key.container);
    if (c.result() != SAR_OK)
        return toCkr(c.result());
    out.assign(rsaModulusBytes(key), 0);
    uint32_t len = static_cast<uint32_t>(out.size());
    uint32_t keyHandle = 0;
    const uint32_t rc = slot.adaptor->kxf()->ImportSessionKeyWithKeyEx(
        slot.dev, c.handle(), 0, op.data.data(), static_cast<uint32_t>(op.data.size()), &keyHandle, out.data(), &len);
    out.resize(std::min<size_t>(len, out.size()));
    return toCkr(rc);
}

bool printable(const std::string &s)
{
    return !s.empty() && s.size() <= 64 &&
           std::all_of(s.begin(), s.end(), [](char ch) { return ch > ' ' && ch < 0x7F; });
}

std::string templateString(const CK_ATTRIBUTE *tmpl, CK_ULONG count, CK_ATTRIBUTE_TYPE type)
{
    const CK_ATTRIBUTE *a = findAttribute(tmpl, count, type);
    return a && a->pValue ? std::string(static_cast<const char *>(a->pValue), a->ulValueLen) : std::string();
}

// The label names the container; else an ID that reads as a name; else the ID in hex; else a random name.
std::string containerName(const CK_ATTRIBUTE *pubTmpl, CK_ULONG pubCount, const CK_ATTRIBUTE *privTmpl,
                          CK_ULONG privCount)
{
    for (const CK_ATTRIBUTE_TYPE type : {CKA_LABEL, CKA_ID})
        for (const std::string &s :
             {templateString(privTmpl, privCount, type), templateString(pubTmpl, pubCount, type)})
            if (printable(s))
                return s;
    std::string id = templateString(privTmpl, privCount, CKA_ID);
    if (id.empty())
        id = templateString(pubTmpl, pubCount, CKA_ID);
    if (id.empty() || id.size() > 32) {
        id.assign(8, '\0');
        RAND_bytes(reinterpret_cast<unsigned char *>(&id[0]), static_cast<int>(id.size()));
    }
    std::string hex;
    for (const unsigned char ch : id) {
        static const char kDigits[] = "0123456789abcdef";
        hex += kDigits[ch >> 4];
        hex += kDigits[ch & 15];
    }
    return hex;
}

CK_RV keyParameters(CK_MECHANISM_TYPE type, const CK_ATTRIBUTE *tmpl, CK_ULONG count, CK_ULONG &bits)
{
    if (type == CKM_EC_KEY_PAIR_GEN) {
        const CK_ATTRIBUTE *params = findAttribute(tmpl, count, CKA_EC_PARAMS);
        if (!params || !params->pValue)
            return CKR_TEMPLATE_INCOMPLETE;
        const auto *p = static_cast<const uint8_t *>(params->pValue);
        return Bytes(p, p + params->ulValueLen) == kSm2Params ? CKR_OK : CKR_CURVE_NOT_SUPPORTED;
    }
    const CK_ATTRIBUTE *modulusBits = findAttribute(tmpl, count, CKA_MODULUS_BITS);
    if (!modulusBits || !modulusBits->pValue || modulusBits->ulValueLen != sizeof(CK_ULONG))
        return CKR_TEMPLATE_INCOMPLETE;
    bits = *static_cast<const CK_ULONG *>(modulusBits->pValue);
    if (bits != 1024 && bits != 2048)
        return CKR_KEY_SIZE_RANGE;
    if (const CK_ATTRIBUTE *e = findAttribute(tmpl, count, CKA_PUBLIC_EXPONENT)) {
        Bytes exponent(static_cast<const uint8_t *>(e->pValue),
                       static_cast<const uint8_t *>(e->pValue) + e->ulValueLen);
        exponent.erase(exponent.begin(), std::find_if(exponent.begin(), exponent.end(), [](uint8_t b) { return b; }));
        if (exponent != Bytes{0x01, 0x00, 0x01})
            return CKR_ATTRIBUTE_VALUE_INVALID; // keys make their own exponent, 65537
    }
    return CKR_OK;
}

} // namespace

bool decryptsRsa(const Slot &slot)
{
    return slot.adaptor->config().typeName == "skf_szca_ft3003";
}

std::vector<CK_MECHANISM_TYPE> mechanisms(Slot &slot)
{
    std::vector<CK_MECHANISM_TYPE> list;
    for (const Mechanism &m : kMechanisms)
        if (offered(slot, m.type))
            list.push_back(m.type);
    return list;
}

CK_RV mechanismInfo(Slot &slot, CK_MECHANISM_TYPE type, CK_MECHANISM_INFO *info)
{
    const Mechanism *m = offered(slot, type);
    if (!m)
        return CKR_MECHANISM_INVALID;
    info->ulMinKeySize = m->minBits;
    info->ulMaxKeySize = m->maxBits;
    info->flags = m->flags & ~(type == CKM_RSA_PKCS && !decryptsRsa(slot) ? CKF_DECRYPT : 0);
    return CKR_OK;
}

CK_RV operationInit(Held &h, OpKind kind, const CK_MECHANISM *mechanism, CK_OBJECT_HANDLE key)
{
    Operation &op = h.session->ops[kind];
    if (!mechanism)
        return CKR_ARGUMENTS_BAD;
    if (op.active)
        return CKR_OPERATION_ACTIVE;
    const Mechanism *m = offered(*h.slot, mechanism->mechanism);
    if (!m || !(m->flags & kKindFlag[kind]) || (kind == kDecrypt && !decryptsRsa(*h.slot)))
        return CKR_MECHANISM_INVALID;
    if (mechanism->ulParameterLen != 0)
        return CKR_MECHANISM_PARAM_INVALID;
    if (kind != kDigest) {
        const Object *o = findObject(*h.slot, key);
        if (!o || o->cls != (kind == kVerify ? CKO_PUBLIC_KEY : CKO_PRIVATE_KEY))
            return CKR_KEY_HANDLE_INVALID;
        if (o->keyType != m->key)
            return CKR_KEY_TYPE_INCONSISTENT;
        if (kind == kSign && !o->signing)
            return CKR_KEY_FUNCTION_NOT_PERMITTED; // the key signs with the container's signing key only
    }
    op = Operation{true, mechanism->mechanism, key, {}};
    return CKR_OK;
}

CK_RV operationUpdate(Held &h, OpKind kind, const CK_BYTE *data, CK_ULONG len)
{
    Operation &op = h.session->ops[kind];
    if (!op.active)
        return CKR_OPERATION_NOT_INITIALIZED;
    if (!data && len)
        return CKR_ARGUMENTS_BAD;
    if (op.data.size() + len > (1u << 24)) {
        op = Operation{};
        return CKR_DATA_LEN_RANGE;
    }
    if (len)
        op.data.insert(op.data.end(), data, data + len);
    return CKR_OK;
}

CK_RV operationFinal(Held &h, OpKind kind, CK_BYTE *out, CK_ULONG *outLen)
{
    Operation &op = h.session->ops[kind];
    if (!op.active)
        return CKR_OPERATION_NOT_INITIALIZED;
    if (!outLen)
        return CKR_ARGUMENTS_BAD;
    const Object *key = kind == kDigest ? nullptr : findObject(*h.slot, op.key);
    if (kind != kDigest && !key) {
        op = Operation{};
        return CKR_KEY_HANDLE_INVALID;
    }
    const size_t need = outputLength(op, key);
    if (!out || *outLen < need) {
        const bool query = !out;
        *outLen = need;
        return query ? CKR_OK : CKR_BUFFER_TOO_SMALL;
    }
    Bytes result;
    CK_RV rv = kind == kSign      ? sign(*h.slot, op, *key, result)
               : kind == kDecrypt ? decrypt(*h.slot, op, *key, result)
                                  : sm3(*h.slot, nullptr, op.data, result);
    op = Operation{};
    if (rv == CKR_OK && result.size() > *outLen) // longer than the key said: the caller's buffer holds less
        rv = CKR_DEVICE_ERROR;
    if (rv == CKR_OK) {
        std::copy(result.begin(), result.end(), out);
        *outLen = result.size();
    }
    return rv;
}

CK_RV operationVerify(Held &h, const CK_BYTE *signature, CK_ULONG len)
{
    Operation &op = h.session->ops[kVerify];
    if (!op.active)
        return CKR_OPERATION_NOT_INITIALIZED;
    const Operation current = op;
    op = Operation{};
    const Object *key = findObject(*h.slot, current.key);
    if (!key)
        return CKR_KEY_HANDLE_INVALID;
    if (!signature || len != outputLength(current, key))
        return CKR_SIGNATURE_LEN_RANGE;
    Bytes tbs;
    if (const CK_RV rv = toBeSigned(*h.slot, current, *key, tbs))
        return rv;
    const auto n = static_cast<uint32_t>(tbs.size());
    uint32_t rc;
    if (key->keyType == CKK_RSA) {
        rc = h.slot->adaptor->kxf()->RSAVerify(
            h.slot->dev, reinterpret_cast<const RSAPUBLICKEYBLOB *>(key->blob.data()), sizeof(RSAPUBLICKEYBLOB),
            tbs.data(), n, signature, static_cast<uint32_t>(len));
    } else {
        ECCSIGNATUREBLOB sig{};
        std::memcpy(sig.r + 32, signature, 32);
        std::memcpy(sig.s + 32, signature + 32, 32);
        rc =
            h.slot->adaptor->kxf()->ECCVerify(h.slot->dev, reinterpret_cast<const ECCPUBLICKEYBLOB *>(key->blob.data()),
                                              sizeof(ECCPUBLICKEYBLOB), tbs.data(), n, &sig, sizeof sig);
    }
    return rc == SAR_OK ? CKR_OK : CKR_SIGNATURE_INVALID;
}

CK_RV generateKeyPair(Held &h, const CK_MECHANISM *mechanism, const CK_ATTRIBUTE *pubTmpl, CK_ULONG pubCount,
                      const CK_ATTRIBUTE *privTmpl, CK_ULONG privCount, CK_OBJECT_HANDLE *pub, CK_OBJECT_HANDLE *priv)
{
    Slot &slot = *h.slot;
    if (!mechanism || !pub || !priv)
        return CKR_ARGUMENTS_BAD;
    const Mechanism *m = offered(slot, mechanism->mechanism);
    if (!m || !(m->flags & CKF_GENERATE_KEY_PAIR))
        return CKR_MECHANISM_INVALID;
    if (!(h.session->flags & CKF_RW_SESSION))
        return CKR_SESSION_READ_ONLY;
    if (slot.user != CKU_USER)
        return CKR_USER_NOT_LOGGED_IN;
    CK_ULONG bits = 0;
    if (const CK_RV rv = keyParameters(m->type, pubTmpl, pubCount, bits))
        return rv;
    const std::string name = containerName(pubTmpl, pubCount, privTmpl, privCount);
    HCONTAINER hc = nullptr;
    uint32_t rc = slot.adaptor->kxf()->CreateContainer(slot.dev, name.c_str(), &hc);
    if (rc != SAR_OK)
        return toCkr(rc);
    if (m->type == CKM_EC_KEY_PAIR_GEN) {
        ECCPUBLICKEYBLOB blob{};
        uint32_t len = sizeof blob;
        rc = slot.adaptor->kxf()->GenECCKeyPair(slot.dev, hc, SGD_SM2_1, &blob, &len);
    } else {
        RSAPUBLICKEYBLOB blob{};
        uint32_t len = sizeof blob;
        rc = slot.adaptor->kxf()->GenRSAKeyPair(slot.dev, hc, static_cast<uint32_t>(bits), &blob, &len);
    }
    slot.adaptor->kxf()->CloseContainer(slot.dev, hc);
    if (rc != SAR_OK) {
        slot.adaptor->kxf()->DeleteContainer(slot.dev, name.c_str());
        return toCkr(rc);
    }
    slot.loaded = false;
    *pub = handleOf(slot, identityOf(CKO_PUBLIC_KEY, name, true));
    *priv = handleOf(slot, identityOf(CKO_PRIVATE_KEY, name, true));
    return CKR_OK;
}

} // namespace ukeyp11
