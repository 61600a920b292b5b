#include <QPointer>

#include "library/NDMLibrary.h"
#include "variants/Catalogue.h"
#include "variants/FileReading.h"
#include "variants/SessionKeys.h"
#include "variants/Stamping.h"

namespace ukey {
namespace {

// Resolved by this type's load only; an SKF library without it still serves every other call.
// It counts only while its library is still the current one, so a replaced library is never called.
PFN_SKF_PrvKeyDecrypt g_prvKeyDecrypt = nullptr;
QPointer<NDMLibrary> g_prvKeyLibrary;

PFN_SKF_ECCDecrypt prvKeyDecrypt()
{
    return !g_prvKeyLibrary.isNull() && g_prvKeyLibrary.data() == currentVendorLibrary() ? g_prvKeyDecrypt : nullptr;
}

template <const VariantId &Id, class Base>
using KeyByPrvKeyDecrypt = PlainSessionKey<Id, Base, &prvKeyDecrypt>;

} // namespace

inline constexpr VariantId kCfcaGmId{"UKetAdaptor_CFCAGM", "skf_cfca_gm", "cfca_gm", SerialOp::Generic};

class UKetAdaptor_CFCAGM final : public Variant<kCfcaGmId, StampedCore, ReadsSizeInline, KeyByPrvKeyDecrypt> {
public:
    static uint32_t LoadSKFDll(const char *typeName, const char *libraryPath)
    {
        const uint32_t loaded = UKeyAdaptorSKF::LoadSKFDll(typeName, libraryPath);
        if (loaded == 0)
            return 0;
        NDMLibrary *library = currentVendorLibrary();
        g_prvKeyLibrary = library;
        g_prvKeyDecrypt =
            library ? reinterpret_cast<PFN_SKF_PrvKeyDecrypt>(library->resolve("SKF_PrvKeyDecrypt")) : nullptr;
        return loaded;
    }

    static uint32_t UnloadSKFDll(const char *typeName)
    {
        UKeyAdaptorSKF::UnloadSKFDll(typeName);
        g_prvKeyDecrypt = nullptr;
        g_prvKeyLibrary = nullptr;
        return SAR_OK;
    }
    static constexpr LoadLibraryOp load = &LoadSKFDll;
    static constexpr UnloadLibraryOp unload = &UnloadSKFDll;

    // The administrator PIN is proven before the unblock is tried.
    uint32_t UnblockPIN(const char *adminPin, const char *newUserPin, uint32_t *pulRetry) override
    {
        Operation op(UKEY_SITE("UKetAdaptor_CFCAGM::UnblockPIN"));
        if (const Refusal refused =
                op.needs(skf().SKF_UnblockPIN, skf().SKF_VerifyPIN).handles(m_hApp != nullptr).refusal())
            return *refused;
        return op.call([&] {
            const uint32_t verified = skf().SKF_VerifyPIN(m_hApp, SKF_ADMIN_TYPE, adminPin, pulRetry);
            return verified != SAR_OK ? verified : skf().SKF_UnblockPIN(m_hApp, adminPin, newUserPin, pulRetry);
        });
    }
};

const AdaptorTypeOps variants::kCfcaGm = typeOps<UKetAdaptor_CFCAGM>();

} // namespace ukey
