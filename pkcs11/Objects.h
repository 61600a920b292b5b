// Objects as read from the key: container key pairs and certificates, files as data objects.
#ifndef UKEYP11_OBJECTS_H
#define UKEYP11_OBJECTS_H

#include <openssl/evp.h>

#include "Slot.h"

namespace ukeyp11 {

// An open container, closed when it goes out of scope. The slot's lock must be held.
class Container {
public:
    Container(Slot &slot, const std::string &name);
    ~Container();
    Container(const Container &) = delete;
    Container &operator=(const Container &) = delete;
    HCONTAINER handle() const { return h_; }
    uint32_t result() const { return rc_; }

private:
    Slot &slot_;
    HCONTAINER h_ = nullptr;
    uint32_t rc_ = SAR_OK;
};

// The key is read at most once per login state; the slot's lock must be held.
CK_RV loadObjects(Slot &slot);
const Object *findObject(Slot &slot, CK_OBJECT_HANDLE handle);
CK_OBJECT_HANDLE handleOf(Slot &slot, const std::string &identity);
std::string identityOf(CK_OBJECT_CLASS cls, const std::string &name, bool signing);

bool visible(const Slot &slot, const Object &o);
bool matches(const Slot &slot, const Object &o, const CK_ATTRIBUTE *tmpl, CK_ULONG count);
CK_RV getAttributes(const Slot &slot, const Object &o, CK_ATTRIBUTE *tmpl, CK_ULONG count);
CK_RV createObject(Slot &slot, const CK_ATTRIBUTE *tmpl, CK_ULONG count, CK_OBJECT_HANDLE *handle);
CK_RV destroyObject(Slot &slot, CK_OBJECT_HANDLE handle);

// The public key of a key object as OpenSSL sees it (RSA, or EC on the SM2 curve); null if unusable.
EVP_PKEY *publicKey(const Object &o);
size_t rsaModulusBytes(const Object &o);

// A template attribute by type, or null.
const CK_ATTRIBUTE *findAttribute(const CK_ATTRIBUTE *tmpl, CK_ULONG count, CK_ATTRIBUTE_TYPE type);

extern const Bytes kSm2Params; // DER of the SM2 curve's object identifier

} // namespace ukeyp11

#endif
