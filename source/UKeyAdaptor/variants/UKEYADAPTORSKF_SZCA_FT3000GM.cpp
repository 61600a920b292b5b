#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

class UKEYADAPTORSKF_SZCA_FT3000GM : public UKeyAdaptorSKF {
public:
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *)
    {
        return createPlain<UKEYADAPTORSKF_SZCA_FT3000GM>(typeName, "skf_szca_ft3000gm");
    }

    static uint32_t GetSerialNumberByDevName(const char *, const char *devName, char *serial, uint32_t *pulLen)
    {
        return serialFromTemporaryConnection("UKEYADAPTORSKF_SZCA_FT3000GM::GetSerialNumberByDevName", devName, serial,
                                             pulLen);
    }
};

} // namespace

const AdaptorTypeOps variants::kSzcaFt3000gm = {"skf_szca_ft3000gm",
                                                &UKeyAdaptorSKF::LoadSKFDll,
                                                &UKeyAdaptorSKF::UnloadSKFDll,
                                                &UKeyAdaptorSKF::EnumDev,
                                                &UKEYADAPTORSKF_SZCA_FT3000GM::CreateUKeyAdaptorDev,
                                                &UKEYADAPTORSKF_SZCA_FT3000GM::GetSerialNumberByDevName};

} // namespace ukey
