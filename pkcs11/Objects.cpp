#include "Objects.h"

#include <openssl/core_names.h>
#include <openssl/param_build.h>
#include <openssl/x509.h>

#include <cstring>
#include <memory>

#include "Mechanisms.h"

namespace ukeyp11 {

const Bytes kSm2Params = {0x06, 0x08, 0x2A, 0x81, 0x1C, 0xCF, 0x55, 0x01, 0x82, 0x2D};

namespace {

constexpr uint32_t kContainerRsa = 1;
constexpr uint32_t kContainerEcc = 2;
constexpr uint32_t kMaxObjectSize = 1u << 20;
constexpr uint32_t kRightsAnyone = 0xFF, kRightsUser = 0x10;

template <typename T, void (*Free)(T *)>
struct Freer {
    void operator()(T *p) const { Free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, Freer<X509, X509_free>>;

Bytes ulong(CK_ULONG v)
{
    return Bytes(reinterpret_cast<uint8_t *>(&v), reinterpret_cast<uint8_t *>(&v) + sizeof v);
}
Bytes boolean(bool v)
{
    return Bytes{static_cast<uint8_t>(v ? CK_TRUE : CK_FALSE)};
}
Bytes text(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}
Bytes trimmed(const uint8_t *p, size_t n)
{
    while (n > 1 && *p == 0)
        ++p, --n;
    return Bytes(p, p + n);
}

const RSAPUBLICKEYBLOB *rsaBlob(const Object &o)
{
    return o.keyType == CKK_RSA && o.blob.size() == sizeof(RSAPUBLICKEYBLOB)
               ? reinterpret_cast<const RSAPUBLICKEYBLOB *>(o.blob.data())
               : nullptr;
}

const ECCPUBLICKEYBLOB *eccBlob(const Object &o)
{
    return o.keyType == CKK_EC && o.blob.size() == sizeof(ECCPUBLICKEYBLOB)
               ? reinterpret_cast<const ECCPUBLICKEYBLOB *>(o.blob.data())
               : nullptr;
}

// 04 || X || Y of the 256-bit point kept right-aligned in the 64-byte fields.
Bytes eccPoint(const ECCPUBLICKEYBLOB &b)
{
    Bytes p{0x04};
    p.insert(p.end(), b.XCoordinate + 32, b.XCoordinate + 64);
    p.insert(p.end(), b.YCoordinate + 32, b.YCoordinate + 64);
    return p;
}

Bytes der(int (*i2d)(const void *, unsigned char **), const void *obj)
{
    const int n = obj ? i2d(obj, nullptr) : -1;
    if (n <= 0)
        return {};
    Bytes out(static_cast<size_t>(n));
    unsigned char *p = out.data();
    i2d(obj, &p);
    return out;
}

template <typename T>
Bytes derOf(int (*i2d)(const T *, unsigned char **), const T *obj)
{
    return der(reinterpret_cast<int (*)(const void *, unsigned char **)>(i2d), obj);
}

X509Ptr parseCert(const Bytes &value)
{
    const unsigned char *p = value.data();
    return X509Ptr(d2i_X509(nullptr, &p, static_cast<long>(value.size())));
}

using Attributes = std::map<CK_ATTRIBUTE_TYPE, Bytes>;

void keyAttributes(const Object &o, Attributes &a)
{
    a[CKA_KEY_TYPE] = ulong(o.keyType);
    a[CKA_ID] = text(o.container);
    a[CKA_DERIVE] = boolean(false);
    a[CKA_LOCAL] = boolean(false);
    a[CKA_START_DATE] = a[CKA_END_DATE] = {};
    a[CKA_KEY_GEN_MECHANISM] = ulong(CK_UNAVAILABLE_INFORMATION);
    if (const RSAPUBLICKEYBLOB *r = rsaBlob(o)) {
        const size_t n = std::min<size_t>(r->BitLen / 8, sizeof r->Modulus);
        a[CKA_MODULUS] = Bytes(r->Modulus + sizeof r->Modulus - n, r->Modulus + sizeof r->Modulus);
        a[CKA_PUBLIC_EXPONENT] = trimmed(r->PublicExponent, sizeof r->PublicExponent);
    } else if (const ECCPUBLICKEYBLOB *e = eccBlob(o)) {
        a[CKA_EC_PARAMS] = kSm2Params;
        const Bytes point = eccPoint(*e);
        Bytes octets{0x04, static_cast<uint8_t>(point.size())};
        octets.insert(octets.end(), point.begin(), point.end());
        a[CKA_EC_POINT] = octets;
    }
    PkeyPtr pub(publicKey(o));
    a[CKA_PUBLIC_KEY_INFO] = derOf<EVP_PKEY>(i2d_PUBKEY, pub.get());
}

Attributes attributesOf(const Slot &slot, const Object &o)
{
    Attributes a;
    a[CKA_CLASS] = ulong(o.cls);
    a[CKA_TOKEN] = boolean(true);
    a[CKA_MODIFIABLE] = boolean(false);
    a[CKA_COPYABLE] = boolean(false);
    a[CKA_DESTROYABLE] = boolean(o.cls == CKO_DATA || o.cls == CKO_PRIVATE_KEY);
    a[CKA_PRIVATE] = boolean(o.cls == CKO_PRIVATE_KEY);
    const std::string label = o.cls == CKO_DATA ? o.file : o.signing ? o.container : o.container + " (exchange)";
    a[CKA_LABEL] = text(label);
    switch (o.cls) {
    case CKO_PRIVATE_KEY:
        keyAttributes(o, a);
        a[CKA_SENSITIVE] = a[CKA_ALWAYS_SENSITIVE] = a[CKA_NEVER_EXTRACTABLE] = boolean(true);
        a[CKA_EXTRACTABLE] = a[CKA_SIGN_RECOVER] = a[CKA_UNWRAP] = boolean(false);
        a[CKA_ALWAYS_AUTHENTICATE] = a[CKA_WRAP_WITH_TRUSTED] = boolean(false);
        a[CKA_SIGN] = boolean(o.signing);
        a[CKA_DECRYPT] = boolean(o.keyType == CKK_RSA && decryptsRsa(slot));
        a[CKA_SUBJECT] = {};
        break;
    case CKO_PUBLIC_KEY:
        keyAttributes(o, a);
        a[CKA_VERIFY] = boolean(true);
        a[CKA_ENCRYPT] = a[CKA_VERIFY_RECOVER] = a[CKA_WRAP] = a[CKA_TRUSTED] = boolean(false);
        a[CKA_SUBJECT] = {};
        if (const RSAPUBLICKEYBLOB *r = rsaBlob(o))
            a[CKA_MODULUS_BITS] = ulong(r->BitLen);
        break;
    case CKO_CERTIFICATE: {
        a[CKA_ID] = text(o.container);
        a[CKA_CERTIFICATE_TYPE] = ulong(CKC_X_509);
        a[CKA_CERTIFICATE_CATEGORY] = ulong(0);
        a[CKA_TRUSTED] = boolean(false);
        a[CKA_VALUE] = o.value;
        const X509Ptr cert = parseCert(o.value);
        a[CKA_SUBJECT] = derOf<X509_NAME>(i2d_X509_NAME, cert ? X509_get_subject_name(cert.get()) : nullptr);
        a[CKA_ISSUER] = derOf<X509_NAME>(i2d_X509_NAME, cert ? X509_get_issuer_name(cert.get()) : nullptr);
        a[CKA_SERIAL_NUMBER] =
            derOf<ASN1_INTEGER>(i2d_ASN1_INTEGER, cert ? X509_get0_serialNumber(cert.get()) : nullptr);
        break;
    }
    default:
        a[CKA_APPLICATION] = text(slot.adaptor->config().application);
        a[CKA_OBJECT_ID] = {};
        a[CKA_VALUE] = o.value;
        break;
    }
    return a;
}

bool sensitive(const Object &o, CK_ATTRIBUTE_TYPE t)
{
    return o.cls == CKO_PRIVATE_KEY &&
           (t == CKA_PRIVATE_EXPONENT || t == CKA_PRIME_1 || t == CKA_PRIME_2 || t == CKA_EXPONENT_1 ||
            t == CKA_EXPONENT_2 || t == CKA_COEFFICIENT || t == CKA_VALUE);
}

// Size queries first, then a buffer of the announced size; the adaptor passes lengths through unchanged.
template <typename Call>
bool readSized(Call call, Bytes &out)
{
    uint32_t len = 0;
    if (call(nullptr, &len) != SAR_OK || len == 0 || len > kMaxObjectSize)
        return false;
    out.assign(len, 0);
    if (call(out.data(), &len) != SAR_OK)
        return false;
    out.resize(std::min<size_t>(len, out.size()));
    return true;
}

std::vector<std::string> names(Slot &slot, PFN_KXF_EnumContainer list)
{
    Bytes buf;
    if (!readSized([&](uint8_t *p, uint32_t *len) { return list(slot.dev, reinterpret_cast<char *>(p), len); }, buf))
        return {};
    return splitNames(reinterpret_cast<const char *>(buf.data()), buf.size());
}

bool readFile(Slot &slot, const std::string &name, Bytes &out)
{
    constexpr uint32_t kChunk = 4096;
    out.clear();
    while (out.size() < kMaxObjectSize) {
        uint8_t chunk[kChunk];
        uint32_t len = kChunk;
        if (slot.adaptor->kxf()->ReadFile(slot.dev, name.c_str(), static_cast<uint32_t>(out.size()), kChunk, chunk,
                                          &len) != SAR_OK)
            return false;
        len = std::min(len, kChunk);
        out.insert(out.end(), chunk, chunk + len);
        if (len < kChunk)
            break;
    }
    return true;
}

void addObject(Slot &slot, const std::string &identity, Object o)
{
    slot.objects[handleOf(slot, identity)] = std::move(o);
}

void readContainer(Slot &slot, const std::string &name)
{
    Container c(slot, name);
    if (c.result() != SAR_OK)
        return;
    uint32_t type = 0;
    slot.adaptor->kxf()->GetContainerType(slot.dev, c.handle(), &type);
    for (const bool signing : {true, false}) {
        Object key;
        key.container = name;
        key.signing = signing;
        key.keyType = type == kContainerEcc ? CKK_EC : CKK_RSA;
        key.blob.assign(sizeof(RSAPUBLICKEYBLOB), 0);
        uint32_t len = static_cast<uint32_t>(key.blob.size());
        if ((type == kContainerRsa || type == kContainerEcc) &&
            slot.adaptor->kxf()->ExportPublicKey(slot.dev, c.handle(), signing, key.blob.data(), &len) == SAR_OK) {
            key.blob.resize(type == kContainerEcc ? sizeof(ECCPUBLICKEYBLOB) : sizeof(RSAPUBLICKEYBLOB));
            key.cls = CKO_PUBLIC_KEY;
            addObject(slot, identityOf(CKO_PUBLIC_KEY, name, signing), key);
            key.cls = CKO_PRIVATE_KEY;
            addObject(slot, identityOf(CKO_PRIVATE_KEY, name, signing), key);
        }
        Object cert;
        cert.cls = CKO_CERTIFICATE;
        cert.container = name;
        cert.signing = signing;
        if (readSized(
                [&](uint8_t *p, uint32_t *l) {
                    return slot.adaptor->kxf()->ExportCertificate(slot.dev, c.handle(), signing, p, l);
                },
                cert.value))
            addObject(slot, identityOf(CKO_CERTIFICATE, name, signing), cert);
    }
}

} // namespace

Container::Container(Slot &slot, const std::string &name) : slot_(slot)
{
    rc_ = slot.adaptor->kxf()->OpenContainer(slot.dev, name.c_str(), &h_);
    if (rc_ == SAR_OK && !h_)
        rc_ = SAR_FAIL;
}

Container::~Container()
{
    if (rc_ == SAR_OK)
        slot_.adaptor->kxf()->CloseContainer(slot_.dev, h_);
}

std::string identityOf(CK_OBJECT_CLASS cls, const std::string &name, bool signing)
{
    return std::to_string(cls) + (signing ? "/s/" : "/e/") + name;
}

CK_OBJECT_HANDLE handleOf(Slot &slot, const std::string &identity)
{
    CK_OBJECT_HANDLE &h = slot.handles[identity];
    if (h == 0)
        h = module().nextObject++;
    return h;
}

CK_RV loadObjects(Slot &slot)
{
    if (slot.loaded)
        return CKR_OK;
    if (const CK_RV rv = slot.connect())
        return rv;
    slot.objects.clear();
    for (const std::string &name : names(slot, slot.adaptor->kxf()->EnumContainer))
        readContainer(slot, name);
    for (const std::string &name : names(slot, slot.adaptor->kxf()->EnumFiles)) {
        Object data;
        data.file = name;
        if (readFile(slot, name, data.value))
            addObject(slot, identityOf(CKO_DATA, name, true), data);
    }
    slot.loaded = true;
    return CKR_OK;
}

const Object *findObject(Slot &slot, CK_OBJECT_HANDLE handle)
{
    if (loadObjects(slot) != CKR_OK)
        return nullptr;
    const auto it = slot.objects.find(handle);
    return it != slot.objects.end() && visible(slot, it->second) ? &it->second : nullptr;
}

bool visible(const Slot &slot, const Object &o)
{
    return o.cls != CKO_PRIVATE_KEY || slot.user == CKU_USER;
}

const CK_ATTRIBUTE *findAttribute(const CK_ATTRIBUTE *tmpl, CK_ULONG count, CK_ATTRIBUTE_TYPE type)
{
    for (CK_ULONG i = 0; tmpl && i < count; ++i)
        if (tmpl[i].type == type)
            return &tmpl[i];
    return nullptr;
}

bool matches(const Slot &slot, const Object &o, const CK_ATTRIBUTE *tmpl, CK_ULONG count)
{
    const Attributes a = attributesOf(slot, o);
    for (CK_ULONG i = 0; i < count; ++i) {
        const auto it = a.find(tmpl[i].type);
        if (it == a.end() || it->second.size() != tmpl[i].ulValueLen ||
            (tmpl[i].ulValueLen && std::memcmp(it->second.data(), tmpl[i].pValue, tmpl[i].ulValueLen) != 0))
            return false;
    }
    return true;
}

CK_RV getAttributes(const Slot &slot, const Object &o, CK_ATTRIBUTE *tmpl, CK_ULONG count)
{
    const Attributes a = attributesOf(slot, o);
    CK_RV rv = CKR_OK;
    for (CK_ULONG i = 0; i < count; ++i) {
        CK_ATTRIBUTE &t = tmpl[i];
        const auto it = a.find(t.type);
        if (it == a.end() || sensitive(o, t.type)) {
            rv = sensitive(o, t.type) ? CKR_ATTRIBUTE_SENSITIVE : CKR_ATTRIBUTE_TYPE_INVALID;
            t.ulValueLen = CK_UNAVAILABLE_INFORMATION;
        } else if (!t.pValue) {
            t.ulValueLen = it->second.size();
        } else if (t.ulValueLen < it->second.size()) {
            rv = CKR_BUFFER_TOO_SMALL;
            t.ulValueLen = CK_UNAVAILABLE_INFORMATION;
        } else {
            if (!it->second.empty())
                std::memcpy(t.pValue, it->second.data(), it->second.size());
            t.ulValueLen = it->second.size();
        }
    }
    return rv;
}

EVP_PKEY *publicKey(const Object &o)
{
    OSSL_PARAM_BLD *bld = OSSL_PARAM_BLD_new();
    if (!bld)
        return nullptr;
    const char *type = nullptr;
    BIGNUM *n = nullptr, *e = nullptr;
    Bytes point;
    if (const RSAPUBLICKEYBLOB *r = rsaBlob(o)) {
        type = "RSA";
        n = BN_bin2bn(r->Modulus, sizeof r->Modulus, nullptr);
        e = BN_bin2bn(r->PublicExponent, sizeof r->PublicExponent, nullptr);
        OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, n);
        OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, e);
    } else if (const ECCPUBLICKEYBLOB *b = eccBlob(o)) {
        type = "SM2";
        point = eccPoint(*b);
        OSSL_PARAM_BLD_push_utf8_string(bld, OSSL_PKEY_PARAM_GROUP_NAME, "SM2", 0);
        OSSL_PARAM_BLD_push_octet_string(bld, OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size());
    }
    OSSL_PARAM *params = type ? OSSL_PARAM_BLD_to_param(bld) : nullptr;
    EVP_PKEY *key = nullptr;
    if (EVP_PKEY_CTX *ctx = params ? EVP_PKEY_CTX_new_from_name(nullptr, type, nullptr) : nullptr) {
        if (EVP_PKEY_fromdata_init(ctx) != 1 || EVP_PKEY_fromdata(ctx, &key, EVP_PKEY_PUBLIC_KEY, params) != 1)
            key = nullptr;
        EVP_PKEY_CTX_free(ctx);
    }
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(bld);
    BN_free(n);
    BN_free(e);
    return key;
}

size_t rsaModulusBytes(const Object &o)
{
    const RSAPUBLICKEYBLOB *r = rsaBlob(o);
    return r ? std::min<size_t>((r->BitLen + 7) / 8, sizeof r->Modulus) : 0;
}

namespace {

std::string templateText(const CK_ATTRIBUTE *tmpl, CK_ULONG count, CK_ATTRIBUTE_TYPE type)
{
    const CK_ATTRIBUTE *a = findAttribute(tmpl, count, type);
    return a && a->pValue ? std::string(static_cast<const char *>(a->pValue), a->ulValueLen) : std::string();
}

// The container whose key the certificate certifies, else the one its CKA_ID or CKA_LABEL names.
CK_RV importCertificate(Slot &slot, const CK_ATTRIBUTE *tmpl, CK_ULONG count, CK_OBJECT_HANDLE *handle)
{
    const CK_ATTRIBUTE *value = findAttribute(tmpl, count, CKA_VALUE);
    if (!value || !value->pValue || value->ulValueLen == 0 || value->ulValueLen > kMaxObjectSize)
        return CKR_TEMPLATE_INCOMPLETE;
    const Bytes der(static_cast<const uint8_t *>(value->pValue),
                    static_cast<const uint8_t *>(value->pValue) + value->ulValueLen);
    const X509Ptr cert = parseCert(der);
    if (!cert)
        return CKR_ATTRIBUTE_VALUE_INVALID;
    std::string container;
    bool signing = true;
    for (const auto &entry : slot.objects) {
        const Object &o = entry.second;
        PkeyPtr pub(o.cls == CKO_PUBLIC_KEY ? publicKey(o) : nullptr);
        if (pub && EVP_PKEY_eq(pub.get(), X509_get0_pubkey(cert.get())) == 1) {
            container = o.container;
            signing = o.signing;
            break;
        }
    }
    for (const CK_ATTRIBUTE_TYPE t : {CKA_ID, CKA_LABEL})
        if (container.empty())
            container = templateText(tmpl, count, t);
    if (container.empty())
        return CKR_TEMPLATE_INCOMPLETE;
    Container c(slot, container);
    if (c.result() != SAR_OK)
        return c.result() == SAR_FILE_NOT_EXIST ? CKR_ATTRIBUTE_VALUE_INVALID : toCkr(c.result());
    const uint32_t rc = slot.adaptor->kxf()->ImportCertificate(slot.dev, c.handle(), signing, der.data(),
                                                               static_cast<uint32_t>(der.size()));
    if (rc != SAR_OK)
        return toCkr(rc);
    slot.loaded = false;
    *handle = handleOf(slot, identityOf(CKO_CERTIFICATE, container, signing));
    return CKR_OK;
}

// A file of the value's size, readable by anyone unless CKA_PRIVATE asks for the user PIN.
CK_RV writeData(Slot &slot, const CK_ATTRIBUTE *tmpl, CK_ULONG count, CK_OBJECT_HANDLE *handle)
{
    const std::string name = templateText(tmpl, count, CKA_LABEL);
    const CK_ATTRIBUTE *value = findAttribute(tmpl, count, CKA_VALUE);
    const CK_ATTRIBUTE *priv = findAttribute(tmpl, count, CKA_PRIVATE);
    if (name.empty() || !value || !value->pValue || value->ulValueLen == 0)
        return CKR_TEMPLATE_INCOMPLETE;
    if (value->ulValueLen > kMaxObjectSize)
        return CKR_ATTRIBUTE_VALUE_INVALID;
    const bool isPrivate = priv && priv->pValue && priv->ulValueLen == 1 && *static_cast<CK_BBOOL *>(priv->pValue);
    const uint32_t size = static_cast<uint32_t>(value->ulValueLen);
    uint32_t rc = slot.adaptor->kxf()->CreateFile(slot.dev, name.c_str(), size, isPrivate ? kRightsUser : kRightsAnyone,
                                                  kRightsUser);
    if (rc == SAR_OK)
        rc = slot.adaptor->kxf()->WriteFile(slot.dev, name.c_str(), 0, static_cast<const uint8_t *>(value->pValue),
                                            size);
    if (rc != SAR_OK)
        return toCkr(rc);
    slot.loaded = false;
    *handle = handleOf(slot, identityOf(CKO_DATA, name, true));
    return CKR_OK;
}

} // namespace

CK_RV createObject(Slot &slot, const CK_ATTRIBUTE *tmpl, CK_ULONG count, CK_OBJECT_HANDLE *handle)
{
    const CK_ATTRIBUTE *cls = findAttribute(tmpl, count, CKA_CLASS);
    if (!cls || !cls->pValue || cls->ulValueLen != sizeof(CK_OBJECT_CLASS))
        return CKR_TEMPLATE_INCOMPLETE;
    if (const CK_RV rv = loadObjects(slot))
        return rv;
    switch (*static_cast<const CK_OBJECT_CLASS *>(cls->pValue)) {
    case CKO_CERTIFICATE: {
        const CK_ATTRIBUTE *type = findAttribute(tmpl, count, CKA_CERTIFICATE_TYPE);
        if (type && (type->ulValueLen != sizeof(CK_ULONG) || *static_cast<const CK_ULONG *>(type->pValue) != CKC_X_509))
            return CKR_ATTRIBUTE_VALUE_INVALID;
        return importCertificate(slot, tmpl, count, handle);
    }
    case CKO_DATA:
        return writeData(slot, tmpl, count, handle);
    default:
        return CKR_ATTRIBUTE_VALUE_INVALID;
    }
}

CK_RV destroyObject(Slot &slot, CK_OBJECT_HANDLE handle)
{
    const Object *o = findObject(slot, handle);
    if (!o)
        return CKR_OBJECT_HANDLE_INVALID;
    uint32_t rc;
    if (o->cls == CKO_DATA)
        rc = slot.adaptor->kxf()->DeleteFile(slot.dev, o->file.c_str());
    else if (o->cls == CKO_PRIVATE_KEY)
        rc = slot.adaptor->kxf()->DeleteContainer(slot.dev, o->container.c_str()); // the container goes with its key
    else
        return CKR_ACTION_PROHIBITED;
    slot.loaded = false;
    return toCkr(rc);
}

} // namespace ukeyp11
