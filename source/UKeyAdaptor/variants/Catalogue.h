#pragma once

#include "registry/AdaptorRegistry.h"

namespace ukey::variants {

// The variant types, one defined with each class, in registry slot order (the generic type
// takes slot 1, between the first and the second).
#define UKEY_VARIANT_TYPES(X)                                                                                          \
    X(kHainanEpoint)                                                                                                   \
    X(kLm)                                                                                                             \
    X(kBjca)                                                                                                           \
    X(kZayk)                                                                                                           \
    X(kNetca)                                                                                                          \
    X(kGdca)                                                                                                           \
    X(kSzcaRsa)                                                                                                        \
    X(kGdcaLmgm3000)                                                                                                   \
    X(kGdcaWise)                                                                                                       \
    X(kAxcaLmgm3000)                                                                                                   \
    X(kCfcaGm)                                                                                                         \
    X(kFtcxGm3000)                                                                                                     \
    X(kSzcaFt3000gm)                                                                                                   \
    X(kGdcaFt3000gm)                                                                                                   \
    X(kBjHaitai)

#define UKEY_DECLARE_VARIANT_TYPE(name) extern const AdaptorTypeOps name;
UKEY_VARIANT_TYPES(UKEY_DECLARE_VARIANT_TYPE)
#undef UKEY_DECLARE_VARIANT_TYPE

} // namespace ukey::variants
