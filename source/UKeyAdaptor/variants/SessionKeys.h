#pragma once

// Session keys decrypted in the vendor library and handed to the host in plain. The host gets
// the pseudo key handle instead of a key on the token, and its usual decrypt set-up on that
// handle must then do nothing.
//
//   PseudoKeyDecryptInit  DecryptInit (44) answers SAR_OK for the pseudo key handle, untraced
//   PlainSessionKey       that, and ImportSessionKeyWithKeyEx (61) through the entry `decrypt`
//                         gives; KeyByEccDecrypt takes SKF_ECCDecrypt, KeyByEccDecryptEx
//                         SKFEX_ECCDecrypt

#include "library/SkfEntryPoints.h"
#include "variants/VariantSupport.h"

namespace ukey {

// The container's private key decrypts the wrapped key into plain; SAR_NOTSUPPORTYETERR,
// untraced and without touching phKey, when the entry is missing.
uint32_t importPlainSessionKey(const TraceSite &site, PFN_SKF_ECCDecrypt decrypt, HCONTAINER hContainer,
                               const uint8_t *wrapped, uint32_t *phKey, uint8_t *plain, uint32_t *plainLen);

template <const VariantId &Id, class Base>
class PseudoKeyDecryptInit : public Base {
public:
    uint32_t DecryptInit(SKF_HANDLE hKey, const BLOCKCIPHERPARAM *param, uint32_t paramLen) override
    {
        if (hKey == pseudoKeyHandle())
            return SAR_OK;
        return UKeyAdaptorSKF::DecryptInit(hKey, param, paramLen);
    }
};

using DecryptEntry = PFN_SKF_ECCDecrypt (*)();

template <const VariantId &Id, class Base, DecryptEntry decrypt>
class PlainSessionKey : public PseudoKeyDecryptInit<Id, Base> {
public:
    uint32_t ImportSessionKeyWithKeyEx(HCONTAINER hContainer, uintptr_t, const uint8_t *wrapped, uint32_t,
                                       uint32_t *phKey, uint8_t *plain, uint32_t *plainLen) override
    {
        const auto site = shapeSite<Id, opname::ImportSessionKeyWithKeyEx>(__LINE__);
        return importPlainSessionKey(site, decrypt(), hContainer, wrapped, phKey, plain, plainLen);
    }
};

inline PFN_SKF_ECCDecrypt eccDecrypt()
{
    return skf().SKF_ECCDecrypt;
}
inline PFN_SKF_ECCDecrypt eccDecryptEx()
{
    return skf().SKFEX_ECCDecrypt;
}

template <const VariantId &Id, class Base>
using KeyByEccDecrypt = PlainSessionKey<Id, Base, &eccDecrypt>;
template <const VariantId &Id, class Base>
using KeyByEccDecryptEx = PlainSessionKey<Id, Base, &eccDecryptEx>;

} // namespace ukey
