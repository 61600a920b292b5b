#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

class UKeyAdaptorSKF_GDCAWISE : public UKeyAdaptorSKF {
public:
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *)
    {
        return createPlain<UKeyAdaptorSKF_GDCAWISE>(typeName, "skf_gdca_wise");
    }
};

} // namespace

const AdaptorTypeOps variants::kGdcaWise = {"skf_gdca_wise",
                                            &UKeyAdaptorSKF::LoadSKFDll,
                                            &UKeyAdaptorSKF::UnloadSKFDll,
                                            &UKeyAdaptorSKF::EnumDev,
                                            &UKeyAdaptorSKF_GDCAWISE::CreateUKeyAdaptorDev,
                                            &UKeyAdaptorSKF::GetSerialNumberByDevName};

} // namespace ukey
