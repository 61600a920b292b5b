#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

class UKetAdaptor_CFCAGM : public UKeyAdaptorSKF {
public:
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *)
    {
        return createPlain<UKetAdaptor_CFCAGM>(typeName, "skf_cfca_gm");
    }
};

} // namespace

const AdaptorTypeOps variants::kCfcaGm = {"skf_cfca_gm",
                                          &UKeyAdaptorSKF::LoadSKFDll,
                                          &UKeyAdaptorSKF::UnloadSKFDll,
                                          &UKeyAdaptorSKF::EnumDev,
                                          &UKetAdaptor_CFCAGM::CreateUKeyAdaptorDev,
                                          &UKeyAdaptorSKF::GetSerialNumberByDevName};

} // namespace ukey
