#include "variants/Catalogue.h"
#include "variants/FileReading.h"
#include "variants/SealRecords.h"
#include "variants/SessionKeys.h"
#include "variants/Stamping.h"

namespace ukey {

inline constexpr VariantId kAxcaLmgm3000Id{"UKeyAdaptorSKF_AXCA_LMGM3000", "skf_axca_gm3000", "axca_lmgm3000",
                                           SerialOp::Generic};

class UKeyAdaptorSKF_AXCA_LMGM3000 final
    : public Variant<kAxcaLmgm3000Id, StampedCore, SealFields, ReadsSizeInline, KeyByEccDecryptEx> {};

const AdaptorTypeOps variants::kAxcaLmgm3000 = typeOps<UKeyAdaptorSKF_AXCA_LMGM3000>();

} // namespace ukey
