#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

class UKeyAdaptorSKF_SZCA_RSA : public UKeyAdaptorSKF {
public:
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *)
    {
        return createPlain<UKeyAdaptorSKF_SZCA_RSA>(typeName, "skf_szca_ft3003");
    }
};

} // namespace

const AdaptorTypeOps variants::kSzcaRsa = {"skf_szca_ft3003",
                                           &UKeyAdaptorSKF::LoadSKFDll,
                                           &UKeyAdaptorSKF::UnloadSKFDll,
                                           &UKeyAdaptorSKF::EnumDev,
                                           &UKeyAdaptorSKF_SZCA_RSA::CreateUKeyAdaptorDev,
                                           &UKeyAdaptorSKF::GetSerialNumberByDevName};

} // namespace ukey
