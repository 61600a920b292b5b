#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <string_view>

#include "library/SkfEntryPoints.h"
#include "skf/Guard.h"
#include "skf/UKeyAdaptorSKF.h"

namespace ukey {
namespace {

// Every distinct record a disconnected instance has kept, kept once for the life of the process.
alignas(16) const DEVINFO kZeroInfo{};
std::mutex g_sharedLock;

std::set<std::string, std::less<>> &sharedRecords()
{
    static std::set<std::string, std::less<>> records;
    return records;
}

} // namespace

DevInfoCache::DevInfoCache() : bits_(reinterpret_cast<uintptr_t>(&kZeroInfo)) {}

DevInfoCache::~DevInfoCache()
{
    if (bits_ & kOwned)
        delete &const_cast<DEVINFO &>(get());
}

DEVINFO &DevInfoCache::own()
{
    if (!(bits_ & kOwned)) {
        auto *record = new (std::nothrow) DEVINFO(get());
        if (!record) { // without memory the write goes nowhere and the cache keeps what it held
            thread_local DEVINFO scratch;
            return scratch = get();
        }
        bits_ = reinterpret_cast<uintptr_t>(record) | kOwned;
    }
    return const_cast<DEVINFO &>(get());
}

void DevInfoCache::share()
{
    if (!(bits_ & kOwned))
        return;
    const DEVINFO *own = &get();
    try {
        const std::lock_guard<std::mutex> lock(g_sharedLock);
        const std::string_view bytes(reinterpret_cast<const char *>(own), sizeof(DEVINFO));
        auto &records = sharedRecords();
        auto found = records.find(bytes);
        if (found == records.end())
            found = records.emplace(bytes).first;
        const std::string &kept = *found;
        bits_ = reinterpret_cast<uintptr_t>(kept.data());
    } catch (const std::bad_alloc &) {
        return; // keeps its own record
    }
    delete own;
}

// SAR_FAIL while unconnected, the cache then keeping what it held.
uint32_t UKeyAdaptorSKF::refreshDevInfo()
{
    if (!m_hDev)
        return SAR_FAIL;
    DEVINFO &info = devInfo.own();
    info = DEVINFO{};
    return skf().SKF_GetDevInfo(m_hDev, &info);
}

uint32_t UKeyAdaptorSKF::GetKeyLabelName(char *label, uint32_t *pulLen)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::GetKeyLabelName"))
        .needs(skf().SKF_GetDevInfo)
        .params(pulLen != nullptr)
        .call([&] {
            refreshDevInfo();
            copyText(devInfo.get().Label, sizeof(DEVINFO::Label), label, pulLen);
            return SAR_OK;
        });
}

uint32_t UKeyAdaptorSKF::GetKeySerialNumber(char *serial, uint32_t *pulLen)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::GetKeySerialNumber")).params(pulLen != nullptr).call([&] {
        copyText(devInfo.get().SerialNumber, sizeof(DEVINFO::SerialNumber), serial, pulLen);
        return SAR_OK;
    });
}

uint32_t UKeyAdaptorSKF::GetKeyTotalSpace(uint32_t *pulTotal)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::GetKeyTotalSpace")).needs(skf().SKF_GetDevInfo).call([&] {
        const uint32_t result = refreshDevInfo();
        if (pulTotal)
            *pulTotal = devInfo.get().TotalSpace;
        return result;
    });
}

uint32_t UKeyAdaptorSKF::GetKeyFreeSpace(uint32_t *pulFree)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::GetKeyFreeSpace")).needs(skf().SKF_GetDevInfo).call([&] {
        const uint32_t result = refreshDevInfo();
        if (pulFree)
            *pulFree = devInfo.get().FreeSpace;
        return result;
    });
}

uint32_t UKeyAdaptorSKF::GetDevInfo(DEVINFO *pInfo, uint32_t *pulLen)
{
    return Operation(UKEY_SITE("UKeyAdaptorSKF::GetDevInfo"))
        .handles(m_hApp != nullptr, kEndInvalidHandleBlank)
        .call([&] {
            if (pInfo)
                std::memcpy(pInfo, &devInfo.get(), sizeof(DEVINFO));
            if (pulLen)
                *pulLen = sizeof(DEVINFO);
            return SAR_OK;
        });
}

uint32_t UKeyAdaptorSKF::SetLabel(const char *label)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::SetLabel");
    return Operation(site)
        .needs(skf().SKF_SetLabel)
        .handles(m_hApp != nullptr, kEndInvalidHandleBlank)
        .params(label != nullptr)
        .call([&] {
            const uint32_t result = m_hDev ? skf().SKF_SetLabel(m_hDev, label) : SAR_FAIL;
            if (result == SAR_OK) {
                site(" SetLabel is successfully");
                site(" Changed DevInfo");
                DEVINFO &info = devInfo.own();
                std::memset(info.Label, 0, sizeof info.Label);
                std::memcpy(info.Label, label, fieldLength(label, sizeof info.Label));
            }
            return result;
        });
}

} // namespace ukey
