#include "variants/Catalogue.h"
#include "variants/FileReading.h"
#include "variants/Stamping.h"

namespace ukey {

inline constexpr VariantId kNetcaId{"UKeyAdaptorSKF_NETCA", "skf_netca", "netca", SerialOp::TracedAsOwn};

class UKeyAdaptorSKF_NETCA final : public Variant<kNetcaId, Stamped, ReadsWithTrace> {};

const AdaptorTypeOps variants::kNetca = typeOps<UKeyAdaptorSKF_NETCA>();

} // namespace ukey
