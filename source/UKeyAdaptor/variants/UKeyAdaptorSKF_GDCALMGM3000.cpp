#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

class UKeyAdaptorSKF_GDCALMGM3000 : public UKeyAdaptorSKF {
public:
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *)
    {
        return createPlain<UKeyAdaptorSKF_GDCALMGM3000>(typeName, "skf_gdca_lmgm3000");
    }
};

} // namespace

const AdaptorTypeOps variants::kGdcaLmgm3000 = {"skf_gdca_lmgm3000",
                                                &UKeyAdaptorSKF::LoadSKFDll,
                                                &UKeyAdaptorSKF::UnloadSKFDll,
                                                &UKeyAdaptorSKF::EnumDev,
                                                &UKeyAdaptorSKF_GDCALMGM3000::CreateUKeyAdaptorDev,
                                                &UKeyAdaptorSKF::GetSerialNumberByDevName};

} // namespace ukey
