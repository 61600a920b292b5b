#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

class UKeyAdaptorSKF_GDCAFT3000GM : public UKeyAdaptorSKF {
public:
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *)
    {
        return createPlain<UKeyAdaptorSKF_GDCAFT3000GM>(typeName, "skf_gdca_ft3000gm");
    }

    static uint32_t GetSerialNumberByDevName(const char *, const char *devName, char *serial, uint32_t *pulLen)
    {
        return serialFromTemporaryConnection("UKeyAdaptorSKF_GDCAFT3000GM::GetSerialNumberByDevName", devName, serial,
                                             pulLen);
    }
};

} // namespace

const AdaptorTypeOps variants::kGdcaFt3000gm = {"skf_gdca_ft3000gm",
                                                &UKeyAdaptorSKF::LoadSKFDll,
                                                &UKeyAdaptorSKF::UnloadSKFDll,
                                                &UKeyAdaptorSKF::EnumDev,
                                                &UKeyAdaptorSKF_GDCAFT3000GM::CreateUKeyAdaptorDev,
                                                &UKeyAdaptorSKF_GDCAFT3000GM::GetSerialNumberByDevName};

} // namespace ukey
