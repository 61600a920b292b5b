#include "variants/Catalogue.h"
#include "variants/FileReading.h"
#include "variants/Stamping.h"

namespace ukey {

inline constexpr VariantId kHainanEpointId{"UKeyAdaptorSKF_HAINANEPOINT", "skf_Epoint", "HaiNanEpoint",
                                           SerialOp::TracedAsOwn};

class UKeyAdaptorSKF_HAINANEPOINT final : public Variant<kHainanEpointId, Stamped, ReadsWithTrace> {};

const AdaptorTypeOps variants::kHainanEpoint = typeOps<UKeyAdaptorSKF_HAINANEPOINT>();

} // namespace ukey
