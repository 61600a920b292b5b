#include "variants/Catalogue.h"
#include "variants/SealRecords.h"
#include "variants/SessionKeys.h"
#include "variants/Stamping.h"

namespace ukey {

inline constexpr VariantId kGdcaLmgm3000Id{"UKeyAdaptorSKF_GDCALMGM3000", "skf_gdca_lmgm3000", "gdca_lmgm3000",
                                           SerialOp::Generic};

class UKeyAdaptorSKF_GDCALMGM3000 final : public Variant<kGdcaLmgm3000Id, StampedCore, SealFields, KeyByEccDecrypt> {};

const AdaptorTypeOps variants::kGdcaLmgm3000 = typeOps<UKeyAdaptorSKF_GDCALMGM3000>();

} // namespace ukey
