#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

class UKeyAdaptorSKF_HAINANEPOINT : public UKeyAdaptorSKF {
public:
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *)
    {
        return createPlain<UKeyAdaptorSKF_HAINANEPOINT>(typeName, "skf_Epoint");
    }

    static uint32_t GetSerialNumberByDevName(const char *, const char *devName, char *serial, uint32_t *pulLen)
    {
        return serialFromTemporaryConnection("UKeyAdaptorSKF_HAINANEPOINT::GetSerialNumberByDevName", devName, serial,
                                             pulLen);
    }
};

} // namespace

const AdaptorTypeOps variants::kHainanEpoint = {"skf_Epoint",
                                                &UKeyAdaptorSKF::LoadSKFDll,
                                                &UKeyAdaptorSKF::UnloadSKFDll,
                                                &UKeyAdaptorSKF::EnumDev,
                                                &UKeyAdaptorSKF_HAINANEPOINT::CreateUKeyAdaptorDev,
                                                &UKeyAdaptorSKF_HAINANEPOINT::GetSerialNumberByDevName};

} // namespace ukey
