#include <QString>
#include <cstring>

#include "library/SkfEntryPoints.h"
#include "variants/Catalogue.h"
#include "variants/FileReading.h"

namespace ukey {
namespace {

// The device name of the latest create request, kept as text of our own.
char g_bjcaDeviceName[512] = {};
constexpr uint32_t kReconnectPauseMs = 1000;

} // namespace

// No tag: the key's own manufacturer shows.
inline constexpr VariantId kBjcaId{"UKeyAdaptorSKF_BJCA", "skf_bjca", nullptr, SerialOp::Generic};

class UKeyAdaptorSKF_BJCA final : public Variant<kBjcaId, ReadsSizeByDelegation> {
public:
    // Both device names are taken before the type name is looked at.
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *devName)
    {
        UKEY_SITE("UKeyAdaptorSKF_BJCA::CreateUKeyAdaptorDev")("start");
        g_currentDeviceName = devName ? devName : "";
        const size_t len = fieldLength(g_currentDeviceName, sizeof g_bjcaDeviceName - 1);
        std::memcpy(g_bjcaDeviceName, g_currentDeviceName, len);
        g_bjcaDeviceName[len] = '\0';
        return createOwnType<UKeyAdaptorSKF_BJCA>(typeName, devName);
    }
    static constexpr CreateInstanceOp create = &CreateUKeyAdaptorDev;

    // Never reports itself connected; forgetting the device makes the next ConnectDev connect afresh.
    uint32_t IsConnectDev() override
    {
        const auto site = UKEY_SITE("UKeyAdaptorSKF_BJCA::IsConnectDev");
        site("start");
        m_hDev = nullptr;
        site("end");
        return 1;
    }

    // A key that lists no containers into a named buffer is reconnected once and asked again.
    uint32_t EnumContainer(char *nameList, uint32_t *pulSize) override
    {
        const auto site = UKEY_SITE("UKeyAdaptorSKF_BJCA::EnumContainer");
        site("start");
        site("DevNameEnumContainer: " + QString::fromLocal8Bit(g_currentDeviceName));
        site("DevNameBJCA: " + QString::fromLocal8Bit(g_bjcaDeviceName));
        if (!nameList || !*nameList) {
            const uint32_t result = UKeyAdaptorSKF::EnumContainer(nameList, pulSize);
            site("end");
            return result;
        }
        site("enter szContainerName != NULL");
        const uint32_t capacity = pulSize ? *pulSize : 0;
        uint32_t result = UKeyAdaptorSKF::EnumContainer(nameList, pulSize);
        const uint32_t listed = pulSize ? *pulSize : 0;
        site.format("ulRet: %d,pulSize: %d", static_cast<int>(result), static_cast<int>(listed));
        if (result == SAR_OK && listed != 0)
            return SAR_OK;
        const int textLen = static_cast<int>(fieldLength(nameList, capacity));
        site("enter second EnumContainer" + QString::fromLocal8Bit(nameList, textLen));
        UKeyAdaptorSKF::DisConnectDev();
        g_wait(kReconnectPauseMs);
        UKeyAdaptorSKF::ConnectDev(g_currentDeviceName);
        result = UKeyAdaptorSKF::EnumContainer(nameList, pulSize);
        site("end");
        return result;
    }
};

const AdaptorTypeOps variants::kBjca = typeOps<UKeyAdaptorSKF_BJCA>();

} // namespace ukey
