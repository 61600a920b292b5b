#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

class UKeyAdaptorSKF_FTCXGM3000 : public UKeyAdaptorSKF {
public:
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *)
    {
        return createPlain<UKeyAdaptorSKF_FTCXGM3000>(typeName, "skf_ftcx_gm3000");
    }

    static uint32_t GetSerialNumberByDevName(const char *, const char *devName, char *serial, uint32_t *pulLen)
    {
        return serialFromTemporaryConnection("UKeyAdaptorSKF_FTCXGM3000::GetSerialNumberByDevName", devName, serial,
                                             pulLen);
    }
};

} // namespace

const AdaptorTypeOps variants::kFtcxGm3000 = {"skf_ftcx_gm3000",
                                              &UKeyAdaptorSKF::LoadSKFDll,
                                              &UKeyAdaptorSKF::UnloadSKFDll,
                                              &UKeyAdaptorSKF::EnumDev,
                                              &UKeyAdaptorSKF_FTCXGM3000::CreateUKeyAdaptorDev,
                                              &UKeyAdaptorSKF_FTCXGM3000::GetSerialNumberByDevName};

} // namespace ukey
