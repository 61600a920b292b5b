#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

class UKeyAdaptorSKF_AXCA_LMGM3000 : public UKeyAdaptorSKF {
public:
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *)
    {
        return createPlain<UKeyAdaptorSKF_AXCA_LMGM3000>(typeName, "skf_axca_gm3000");
    }
};

} // namespace

const AdaptorTypeOps variants::kAxcaLmgm3000 = {"skf_axca_gm3000",
                                                &UKeyAdaptorSKF::LoadSKFDll,
                                                &UKeyAdaptorSKF::UnloadSKFDll,
                                                &UKeyAdaptorSKF::EnumDev,
                                                &UKeyAdaptorSKF_AXCA_LMGM3000::CreateUKeyAdaptorDev,
                                                &UKeyAdaptorSKF::GetSerialNumberByDevName};

} // namespace ukey
