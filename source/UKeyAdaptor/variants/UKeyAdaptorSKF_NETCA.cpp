#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

class UKeyAdaptorSKF_NETCA : public UKeyAdaptorSKF {
public:
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *)
    {
        return createPlain<UKeyAdaptorSKF_NETCA>(typeName, "skf_netca");
    }

    static uint32_t GetSerialNumberByDevName(const char *, const char *devName, char *serial, uint32_t *pulLen)
    {
        return serialFromTemporaryConnection("UKeyAdaptorSKF_NETCA::GetSerialNumberByDevName", devName, serial, pulLen);
    }
};

} // namespace

const AdaptorTypeOps variants::kNetca = {"skf_netca",
                                         &UKeyAdaptorSKF::LoadSKFDll,
                                         &UKeyAdaptorSKF::UnloadSKFDll,
                                         &UKeyAdaptorSKF::EnumDev,
                                         &UKeyAdaptorSKF_NETCA::CreateUKeyAdaptorDev,
                                         &UKeyAdaptorSKF_NETCA::GetSerialNumberByDevName};

} // namespace ukey
