#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

class UKeyAdaptorSKF_BJHAITAI : public UKeyAdaptorSKF {
public:
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *)
    {
        return createPlain<UKeyAdaptorSKF_BJHAITAI>(typeName, "skf_bj_haitai");
    }

    static uint32_t GetSerialNumberByDevName(const char *, const char *devName, char *serial, uint32_t *pulLen)
    {
        return serialFromTemporaryConnection("UKeyAdaptorSKF_BJHAITAI::GetSerialNumberByDevName", devName, serial,
                                             pulLen);
    }
};

} // namespace

const AdaptorTypeOps variants::kBjHaitai = {"skf_bj_haitai",
                                            &UKeyAdaptorSKF::LoadSKFDll,
                                            &UKeyAdaptorSKF::UnloadSKFDll,
                                            &UKeyAdaptorSKF::EnumDev,
                                            &UKeyAdaptorSKF_BJHAITAI::CreateUKeyAdaptorDev,
                                            &UKeyAdaptorSKF_BJHAITAI::GetSerialNumberByDevName};

} // namespace ukey
