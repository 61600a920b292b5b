// The standard PKCS#11 header as p11-kit ships it, plus this module's vendor-defined numbers.
#ifndef UKEYP11_P11_H
#define UKEYP11_P11_H

#include <p11-kit/pkcs11.h>

// SM2 and SM3 (documented in pkcs11/README.md).
#define CKM_UKEY_SM2 (CKM_VENDOR_DEFINED | 0x00554B01UL)     // sign/verify a 32-byte digest
#define CKM_UKEY_SM3_SM2 (CKM_VENDOR_DEFINED | 0x00554B02UL) // SM3 with the default signer identity, then SM2
#define CKM_UKEY_SM3 (CKM_VENDOR_DEFINED | 0x00554B03UL)     // SM3 digest

#endif
