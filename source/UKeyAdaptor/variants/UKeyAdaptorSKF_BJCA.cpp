#include <cstring>
#include <mutex>

#include "library/SkfEntryPoints.h"
#include "variants/Catalogue.h"
#include "variants/FileReading.h"

namespace ukey {
namespace {

// The device name of the latest create request, kept as text of our own.
char g_bjcaDeviceName[512] = {};
std::mutex g_bjcaDeviceNameLock; // concurrent creates write it while other threads trace it
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
        const char *name = devName ? devName : "";
        setCurrentDeviceName(name);
        const size_t len = fieldLength(name, sizeof g_bjcaDeviceName - 1);
        const std::lock_guard<std::mutex> lock(g_bjcaDeviceNameLock);
        std::memcpy(g_bjcaDeviceName, name, len);
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
        if (trace::enabled()) {
            site({"DevNameEnumContainer: ", trace::Piece::local8Bit(g_currentDeviceName)});
            char bjcaName[sizeof g_bjcaDeviceName];
            {
                const std::lock_guard<std::mutex> lock(g_bjcaDeviceNameLock);
                std::memcpy(bjcaName, g_bjcaDeviceName, sizeof bjcaName);
            }
            site({"DevNameBJCA: ", trace::Piece::local8Bit(bjcaName)});
        }
        // The first name is looked at only in a buffer the host says has a byte.
        if (!nameList || !pulSize || *pulSize == 0 || !*nameList) {
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
        site({"enter second EnumContainer", trace::Piece::local8Bit(nameList, fieldLength(nameList, capacity))});
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
