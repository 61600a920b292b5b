#pragma once

#include <functional>
#include <string>
#include <vector>

#include "library/SkfEntryPoints.h"
#include "registry/AdaptorRegistry.h"
#include "registry/UKeyAdaptorBase.h"
#include "skf/Guard.h"
#include "skf/NameList.h"

namespace ukey {

// The cached device information in one pointer: a record of the instance's own while it is
// connected, and once it is disconnected a shared read-only copy of the same bytes, so that the
// many instances a long-running host leaves behind keep one record per distinct device.
class DevInfoCache {
public:
    DevInfoCache();
    ~DevInfoCache();
    DevInfoCache(const DevInfoCache &) = delete;
    DevInfoCache &operator=(const DevInfoCache &) = delete;

    const DEVINFO &get() const { return *reinterpret_cast<const DEVINFO *>(bits_ & ~kOwned); }
    // A record of its own holding the same bytes, made on the first write after connecting.
    DEVINFO &own();
    // Gives up its own record for the shared copy of the same bytes.
    void share();

private:
    static constexpr uintptr_t kOwned = 1; // records are allocated, so the low bit is free
    uintptr_t bits_;
};

// The generic adaptor: every operation on top of the SKF entry-point table. Operations call
// one another only through the virtual slots, so a variant's override takes effect inside them.
class UKeyAdaptorSKF : public UKeyAdaptorBase {
public:
    UKeyAdaptorSKF();

    // A declaration through the operation's type cannot say override; so none here does.
    uint32_t ConnectDev(const char *devName);
#define UKEY_GENERIC_OPERATION(prefix, name, operation) OperationOf<PFN_##prefix##_##name> operation;
#define UKEY_GENERIC_OPERATION_ROW(prefix, name, index, params) UKEY_OPERATION(UKEY_GENERIC_OPERATION, prefix, name)
    KXF_ENTRIES(UKEY_GENERIC_OPERATION_ROW)
#undef UKEY_GENERIC_OPERATION_ROW
#undef UKEY_GENERIC_OPERATION

    virtual uint32_t enumApplication(NameList &names);
    virtual uint32_t openApplication(HAPPLICATION *phApp);
    virtual uint32_t openApplication(const char *appName, HAPPLICATION *phApp);
    virtual uint32_t enumFiles(NameList &names);

    // Operations of the "ukeyskf" type descriptor.
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *devName);
    static uint32_t LoadSKFDll(const char *typeName, const char *libraryPath);
    static uint32_t UnloadSKFDll(const char *typeName);
    static uint32_t EnumDev(char *nameList, uint32_t *pulSize);
    static uint32_t GetSerialNumberByDevName(const char *typeName, const char *devName, char *serial, uint32_t *pulLen);
    static const AdaptorTypeOps typeOps;

    // Read-only views for tests and variants.
    HAPPLICATION applicationHandle() const
    {
        return m_hApp;
    }
    const DEVINFO &cachedDevInfo() const
    {
        return devInfo.get();
    }

protected:
    // The connect sequence: device, first application, device information. reuseOpenDevice lets
    // an object that holds a device answer at once; afterInfoRead runs right after
    // SKF_GetDevInfo, before its result counts.
    template <class Hook>
    uint32_t connectWith(const TraceSite &site, const char *devName, bool reuseOpenDevice, Hook afterInfoRead);

    // Fills devInfo afresh from the key when connected; the vendor's result, or SAR_FAIL unconnected.
    uint32_t refreshDevInfo();

    // The serial-by-device-name steps, traced under the caller's name.
    static uint32_t serialFromTemporaryConnection(const TraceSite &caller, const char *devName, char *serial,
                                                  uint32_t *pulLen);

    // Provisioning after its entry and handle tests: device authentication with algId, removal
    // of every application, creation of the new one. Failures are traced under the caller's name.
    uint32_t provision(const TraceSite &caller, uint32_t algId, const char *authKeyBase64, const char *adminPin,
                       const char *userPin, const char *appName);

    void forgetVendorHandles() override;

    HAPPLICATION m_hApp = nullptr;
    DevInfoCache devInfo;
};

template <class Hook>
uint32_t UKeyAdaptorSKF::connectWith(const TraceSite &site, const char *devName, bool reuseOpenDevice,
                                     Hook afterInfoRead)
{
    Operation op(site);
    if (const Refusal refused = op.needs(skf().SKF_ConnectDev, skf().SKF_GetDevInfo).refusal())
        return *refused;
    if (reuseOpenDevice && m_hDev) {
        site("end SAR_OK");
        return SAR_OK;
    }
    uint32_t result = skf().SKF_ConnectDev(devName, &m_hDev);
    if (result != SAR_OK) {
        site.code("error! ulRet: %1", result);
    } else if ((result = openApplication(&m_hApp)) != SAR_OK) {
        DisConnectDev();
    } else if (m_hApp) { // a key without application has no information to read
        result = skf().SKF_GetDevInfo(m_hDev, &devInfo.own());
        afterInfoRead();
        if (result != SAR_OK)
            DisConnectDev();
    }
    site("end");
    return result;
}

// The closing texts of a two-call name-list fetch, each traced where the fetch stops.
struct ListFetchTexts {
    const char *queryFailed;
    const char *tooShort; // null: a list shorter than two bytes is fetched like any other
    const char *noBuffer;
    uint32_t noBufferResult;
    const char *fillFailed;
};
using ListFetch = std::function<uint32_t(char *list, uint32_t *size)>;
// Asks fetch for the list's size, fills a buffer of that size and splits it into names, never
// past the buffer; "end" when the names are in.
uint32_t fetchNameList(const TraceSite &site, const ListFetchTexts &texts, const ListFetch &fetch, NameList &names);

} // namespace ukey
