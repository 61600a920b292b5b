#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

class UKeyAdaptorSKF_GDCA : public UKeyAdaptorSKF {
public:
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *)
    {
        return createPlain<UKeyAdaptorSKF_GDCA>(typeName, "skf_gdca");
    }
};

} // namespace

const AdaptorTypeOps variants::kGdca = {"skf_gdca",
                                        &UKeyAdaptorSKF::LoadSKFDll,
                                        &UKeyAdaptorSKF::UnloadSKFDll,
                                        &UKeyAdaptorSKF::EnumDev,
                                        &UKeyAdaptorSKF_GDCA::CreateUKeyAdaptorDev,
                                        &UKeyAdaptorSKF::GetSerialNumberByDevName};

} // namespace ukey
