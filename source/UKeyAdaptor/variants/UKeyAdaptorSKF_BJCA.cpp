#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

class UKeyAdaptorSKF_BJCA : public UKeyAdaptorSKF {
public:
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *)
    {
        return createPlain<UKeyAdaptorSKF_BJCA>(typeName, "skf_bjca");
    }
};

} // namespace

const AdaptorTypeOps variants::kBjca = {"skf_bjca",
                                        &UKeyAdaptorSKF::LoadSKFDll,
                                        &UKeyAdaptorSKF::UnloadSKFDll,
                                        &UKeyAdaptorSKF::EnumDev,
                                        &UKeyAdaptorSKF_BJCA::CreateUKeyAdaptorDev,
                                        &UKeyAdaptorSKF::GetSerialNumberByDevName};

} // namespace ukey
