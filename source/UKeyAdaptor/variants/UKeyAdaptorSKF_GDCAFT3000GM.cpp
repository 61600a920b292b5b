#include "variants/Catalogue.h"
#include "variants/SealRecords.h"
#include "variants/SessionKeys.h"
#include "variants/Stamping.h"

namespace ukey {

inline constexpr VariantId kGdcaFt3000gmId{"UKeyAdaptorSKF_GDCAFT3000GM", "skf_gdca_ft3000gm", "gdca_ft3000gm",
                                           SerialOp::TracedAsOwn};

class UKeyAdaptorSKF_GDCAFT3000GM final : public Variant<kGdcaFt3000gmId, Stamped, SealRecordFiles, KeyByEccDecrypt> {};

const AdaptorTypeOps variants::kGdcaFt3000gm = typeOps<UKeyAdaptorSKF_GDCAFT3000GM>();

} // namespace ukey
