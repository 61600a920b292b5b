// Mechanisms: what a token offers, signing, verification, decryption, digests and key generation.
#ifndef UKEYP11_MECHANISMS_H
#define UKEYP11_MECHANISMS_H

#include "Slot.h"

namespace ukeyp11 {

std::vector<CK_MECHANISM_TYPE> mechanisms(Slot &slot);
CK_RV mechanismInfo(Slot &slot, CK_MECHANISM_TYPE type, CK_MECHANISM_INFO *info);

// Only the types whose adaptor decrypts with the container's RSA key hand plain data back.
bool decryptsRsa(const Slot &slot);

CK_RV operationInit(Held &h, OpKind kind, const CK_MECHANISM *mechanism, CK_OBJECT_HANDLE key);
CK_RV operationUpdate(Held &h, OpKind kind, const CK_BYTE *data, CK_ULONG len);
// Sign, decrypt and digest: output with the two-call convention. Verify: `out` is the signature.
CK_RV operationFinal(Held &h, OpKind kind, CK_BYTE *out, CK_ULONG *outLen);
CK_RV operationVerify(Held &h, const CK_BYTE *signature, CK_ULONG len);

CK_RV generateKeyPair(Held &h, const CK_MECHANISM *mechanism, const CK_ATTRIBUTE *pubTmpl, CK_ULONG pubCount,
                      const CK_ATTRIBUTE *privTmpl, CK_ULONG privCount, CK_OBJECT_HANDLE *pub, CK_OBJECT_HANDLE *priv);

} // namespace ukeyp11

#endif
