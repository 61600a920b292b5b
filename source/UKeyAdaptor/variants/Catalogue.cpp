#include "variants/Catalogue.h"

#include "skf/UKeyAdaptorSKF.h"

namespace ukey::registry {

void registerBuiltInTypes()
{
    // Slot order is part of the registry's observable behaviour.
    const AdaptorTypeOps *const types[] = {
        &variants::kHainanEpoint, // 0  "skf_Epoint"
        &UKeyAdaptorSKF::typeOps, // 1  "ukeyskf"
        &variants::kLm,           // 2  "skf_lm"
        &variants::kBjca,         // 3  "skf_bjca"
        &variants::kZayk,         // 4  "skf_zayk"
        &variants::kNetca,        // 5  "skf_netca"
        &variants::kGdca,         // 6  "skf_gdca"
        &variants::kSzcaRsa,      // 7  "skf_szca_ft3003"
        &variants::kGdcaLmgm3000, // 8  "skf_gdca_lmgm3000"
        &variants::kGdcaWise,     // 9  "skf_gdca_wise"
        &variants::kAxcaLmgm3000, // 10 "skf_axca_gm3000"
        &variants::kCfcaGm,       // 11 "skf_cfca_gm"
        &variants::kFtcxGm3000,   // 12 "skf_ftcx_gm3000"
        &variants::kSzcaFt3000gm, // 13 "skf_szca_ft3000gm"
        &variants::kGdcaFt3000gm, // 14 "skf_gdca_ft3000gm"
        &variants::kBjHaitai,     // 15 "skf_bj_haitai"
    };
    for (const auto *type : types)
        Register(*type);
}

} // namespace ukey::registry
