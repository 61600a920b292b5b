#include "variants/Catalogue.h"
#include "variants/SealRecords.h"
#include "variants/SessionKeys.h"
#include "variants/Stamping.h"

namespace ukey {

inline constexpr VariantId kGdcaId{"UKeyAdaptorSKF_GDCA", "skf_gdca", "gdca", SerialOp::Generic};

class UKeyAdaptorSKF_GDCA final : public Variant<kGdcaId, StampedCore, SealRecordFiles, KeyByEccDecrypt> {};

const AdaptorTypeOps variants::kGdca = typeOps<UKeyAdaptorSKF_GDCA>();

} // namespace ukey
