#include <iterator>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include "library/SkfEntryPoints.h"
#include "variants/Catalogue.h"
#include "variants/FileReading.h"
#include "variants/Stamping.h"

namespace ukey {
namespace {

constexpr char kSerialFunction[] = "UKEYADAPTORSKF_SZCA_FT3000GM::GetSerialNumberByDevName";

// Device name -> the first adaptor that connected under it. Connects on other threads change it.
std::map<std::string, UKeyAdaptorBase *> &connectedAdaptors()
{
    static std::map<std::string, UKeyAdaptorBase *> adaptors;
    return adaptors;
}
std::mutex g_connectedAdaptorsLock;

UKeyAdaptorBase *connectedAdaptor(const char *devName)
{
    const std::lock_guard<std::mutex> lock(g_connectedAdaptorsLock);
    auto &adaptors = connectedAdaptors();
    const auto found = devName ? adaptors.find(devName) : adaptors.end();
    return found == adaptors.end() ? nullptr : found->second;
}

} // namespace

inline constexpr VariantId kSzcaFt3000gmId{"UKEYADAPTORSKF_SZCA_FT3000GM", "skf_szca_ft3000gm", "szca_ft3000gm",
                                           SerialOp::Own};

class UKEYADAPTORSKF_SZCA_FT3000GM final : public Variant<kSzcaFt3000gmId, Stamped, ReadsWithTrace> {
public:
    // Entered even when its connect then fails, and the host destroys such an object at once;
    // leaving the map here keeps every destroyed adaptor out of the serial operation's reach.
    ~UKEYADAPTORSKF_SZCA_FT3000GM() override
    {
        const std::lock_guard<std::mutex> lock(g_connectedAdaptorsLock);
        auto &adaptors = connectedAdaptors();
        for (auto it = adaptors.begin(); it != adaptors.end();)
            it = it->second == this ? adaptors.erase(it) : std::next(it);
    }

    // Connects again even when connected, and remembers the first adaptor of each device name.
    uint32_t ConnectDev(const char *devName) override
    {
        return connectStamped(UKEY_SITE("UKEYADAPTORSKF_SZCA_FT3000GM::ConnectDev"), devName, false, [&] {
            try {
                const std::lock_guard<std::mutex> lock(g_connectedAdaptorsLock);
                connectedAdaptors().emplace(devName ? devName : "", this);
            } catch (const std::bad_alloc &) {
                // Unmapped, the device is served by temporary connections instead.
            }
        });
    }

    // A file-list size query as the probe.
    uint32_t IsConnectDev() override
    {
        uint32_t size = 0;
        return guardedCall(UKEY_SITE("UKEYADAPTORSKF_SZCA_FT3000GM::IsConnectDev"), skf().SKF_EnumFiles,
                           m_hApp != nullptr, kEndInvalidHandle, m_hApp, static_cast<char *>(nullptr), &size);
    }

    uint32_t VerifyPIN(uint32_t pinType, const char *pin, uint32_t *retry) override
    {
        return guardedCall(UKEY_SITE("UKEYADAPTORSKF_SZCA_FT3000GM::VerifyPIN"), skf().SKF_VerifyPIN, m_hApp != nullptr,
                           kEndInvalidHandle, m_hApp, pinType, pin, retry);
    }

    // A mapped device answers from its adaptor's cache, reconnected on demand; only a missing
    // entry point is reported, never how the key answered.
    static uint32_t GetSerialNumberByDevName(const char *, const char *devName, char *serial, uint32_t *pulLen)
    {
        UKeyAdaptorBase *const mapped = connectedAdaptor(devName);
        if (!mapped) {
            const uint32_t result = serialFromTemporaryConnection(UKEY_SITE(kSerialFunction), devName, serial, pulLen);
            return result == KX_NOTEXPORTERR || result == SAR_INVALIDPARAMERR ? result : SAR_OK;
        }
        return Operation(UKEY_SITE(kSerialFunction)).needs(skf().SKF_ConnectDev, skf().SKF_GetDevInfo).call([&] {
            UKeyAdaptorBase *const adaptor = mapped->current();
            if (adaptor->IsConnectDev() != SAR_OK)
                adaptor->ConnectDev(devName);
            if (adaptor->IsConnectDev() == SAR_OK)
                adaptor->GetKeySerialNumber(serial, pulLen);
            return SAR_OK;
        });
    }
};

const AdaptorTypeOps variants::kSzcaFt3000gm = typeOps<UKEYADAPTORSKF_SZCA_FT3000GM>();

} // namespace ukey
