#include "variants/Catalogue.h"
#include "variants/FileReading.h"
#include "variants/SealRecords.h"
#include "variants/SessionKeys.h"
#include "variants/Stamping.h"

namespace ukey {

inline constexpr VariantId kGdcaWiseId{"UKeyAdaptorSKF_GDCAWISE", "skf_gdca_wise", "gdca_wise", SerialOp::Generic};

class UKeyAdaptorSKF_GDCAWISE final
    : public Variant<kGdcaWiseId, StampedCore, SealFields, ReadsSizeInline, ScratchFileList, KeyByEccDecrypt> {};

const AdaptorTypeOps variants::kGdcaWise = typeOps<UKeyAdaptorSKF_GDCAWISE>();

} // namespace ukey
