#include "variants/Catalogue.h"
#include "variants/FileReading.h"
#include "variants/SealRecords.h"
#include "variants/Stamping.h"

namespace ukey {

inline constexpr VariantId kBjHaitaiId{"UKeyAdaptorSKF_BJHAITAI", "skf_bj_haitai", "bj_haitai_ge20052",
                                       SerialOp::TracedAsOwn};

class UKeyAdaptorSKF_BJHAITAI final : public Variant<kBjHaitaiId, Stamped, ReadsWithTrace, SealFields> {};

const AdaptorTypeOps variants::kBjHaitai = typeOps<UKeyAdaptorSKF_BJHAITAI>();

} // namespace ukey
