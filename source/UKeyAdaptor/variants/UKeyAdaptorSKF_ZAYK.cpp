#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

class UKeyAdaptorSKF_ZAYK : public UKeyAdaptorSKF {
public:
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *)
    {
        return createPlain<UKeyAdaptorSKF_ZAYK>(typeName, "skf_zayk");
    }

    static uint32_t GetSerialNumberByDevName(const char *, const char *devName, char *serial, uint32_t *pulLen)
    {
        return serialIsDeviceName("UKeyAdaptorSKF_ZAYK::GetSerialNumberByDevName", devName, serial, pulLen);
    }
};

} // namespace

const AdaptorTypeOps variants::kZayk = {"skf_zayk",
                                        &UKeyAdaptorSKF::LoadSKFDll,
                                        &UKeyAdaptorSKF::UnloadSKFDll,
                                        &UKeyAdaptorSKF::EnumDev,
                                        &UKeyAdaptorSKF_ZAYK::CreateUKeyAdaptorDev,
                                        &UKeyAdaptorSKF_ZAYK::GetSerialNumberByDevName};

} // namespace ukey
