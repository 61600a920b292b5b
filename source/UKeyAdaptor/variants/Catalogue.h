#pragma once

#include "registry/AdaptorRegistry.h"

namespace ukey::variants {

// One per variant type, defined with its class.
extern const AdaptorTypeOps kHainanEpoint;
extern const AdaptorTypeOps kLm;
extern const AdaptorTypeOps kBjca;
extern const AdaptorTypeOps kZayk;
extern const AdaptorTypeOps kNetca;
extern const AdaptorTypeOps kGdca;
extern const AdaptorTypeOps kSzcaRsa;
extern const AdaptorTypeOps kGdcaLmgm3000;
extern const AdaptorTypeOps kGdcaWise;
extern const AdaptorTypeOps kAxcaLmgm3000;
extern const AdaptorTypeOps kCfcaGm;
extern const AdaptorTypeOps kFtcxGm3000;
extern const AdaptorTypeOps kSzcaFt3000gm;
extern const AdaptorTypeOps kGdcaFt3000gm;
extern const AdaptorTypeOps kBjHaitai;

} // namespace ukey::variants
