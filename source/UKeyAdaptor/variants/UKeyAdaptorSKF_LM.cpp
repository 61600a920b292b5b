#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

class UKeyAdaptorSKF_LM : public UKeyAdaptorSKF {
public:
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *)
    {
        return createPlain<UKeyAdaptorSKF_LM>(typeName, "skf_lm");
    }

    static uint32_t GetSerialNumberByDevName(const char *, const char *devName, char *serial, uint32_t *pulLen)
    {
        return serialIsDeviceName("UKeyAdaptorSKF_LM::GetSerialNumberByDevName", devName, serial, pulLen);
    }
};

} // namespace

const AdaptorTypeOps variants::kLm = {"skf_lm",
                                      &UKeyAdaptorSKF::LoadSKFDll,
                                      &UKeyAdaptorSKF::UnloadSKFDll,
                                      &UKeyAdaptorSKF::EnumDev,
                                      &UKeyAdaptorSKF_LM::CreateUKeyAdaptorDev,
                                      &UKeyAdaptorSKF_LM::GetSerialNumberByDevName};

} // namespace ukey
