#include "library/SkfEntryPoints.h"
#include "variants/Catalogue.h"
#include "variants/FileReading.h"
#include "variants/Stamping.h"

namespace ukey {

inline constexpr VariantId kFtcxGm3000Id{"UKeyAdaptorSKF_FTCXGM3000", "skf_ftcx_gm3000", "ftcx_gm3000",
                                         SerialOp::TracedAsOwn};

class UKeyAdaptorSKF_FTCXGM3000 final : public Variant<kFtcxGm3000Id, Stamped, ReadsWithTrace> {
public:
    // The key authenticates with the algorithm it reports now, not the one cached at connect time.
    uint32_t InitialKey(const char *authKeyBase64, const char *adminPin, const char *userPin,
                        const char *appName) override
    {
        const auto site = UKEY_SITE("UKeyAdaptorSKF_FTCXGM3000::InitialKey");
        Operation op(site);
        // After the three this key's provisioning names, the entries its steps call unguarded.
        if (const Refusal refused =
                op.needs(skf().SKF_DevAuth, skf().SKF_DeleteApplication, skf().SKF_CreateApplication,
                         skf().SKF_GetDevInfo, skf().SKF_SetSymmKey, skf().SKF_GenRandom, skf().SKF_EncryptInit)
                    .handles(m_hDev != nullptr)
                    .refusal())
            return *refused;
        DEVINFO info{};
        const uint32_t result = skf().SKF_GetDevInfo(m_hDev, &info);
        if (result != SAR_OK) {
            site.format(" SKF_GetDevInfo failed,ret = %d", static_cast<int>(result));
            return result;
        }
        return provision(site, info.DevAuthAlgId, authKeyBase64, adminPin, userPin, appName);
    }
};

const AdaptorTypeOps variants::kFtcxGm3000 = typeOps<UKeyAdaptorSKF_FTCXGM3000>();

} // namespace ukey
