#include "variants/Catalogue.h"
#include "variants/FileReading.h"

namespace ukey {

// No tag: the key's own manufacturer shows.
inline constexpr VariantId kLmId{"UKeyAdaptorSKF_LM", "skf_lm", nullptr, SerialOp::DeviceName};

class UKeyAdaptorSKF_LM final : public Variant<kLmId, ReadsSizeByDelegation> {};

const AdaptorTypeOps variants::kLm = typeOps<UKeyAdaptorSKF_LM>();

} // namespace ukey
