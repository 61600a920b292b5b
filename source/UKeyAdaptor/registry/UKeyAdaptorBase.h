#pragma once

#include <cstdint>
#include <vector>

#include "UKeyAdaptor.h"
#include "registry/Operations.h"

namespace ukey {

// One connected device as the host sees it: a device handle and the operations of the table.
class UKeyAdaptorBase {
public:
    UKeyAdaptorBase();
    // Destruction only unlinks the object; it releases no vendor resource.
    virtual ~UKeyAdaptorBase();
    UKeyAdaptorBase(const UKeyAdaptorBase &) = delete;
    UKeyAdaptorBase &operator=(const UKeyAdaptorBase &) = delete;

    virtual uint32_t GetHandle();
    virtual uint32_t ConnectDev(const char *devName) = 0;
// One pure operation per entry that takes a device handle, typed as the entry without it.
#define UKEY_PURE_OPERATION(prefix, name, operation) virtual OperationOf<PFN_##prefix##_##name> operation = 0;
#define UKEY_PURE_OPERATION_ROW(prefix, name, index, params) UKEY_OPERATION(UKEY_PURE_OPERATION, prefix, name)
    KXF_ENTRIES(UKEY_PURE_OPERATION_ROW)
#undef UKEY_PURE_OPERATION_ROW
#undef UKEY_PURE_OPERATION

protected:
    DEVHANDLE m_hDev = nullptr;

private:
    uint32_t handle;
};

// Process-wide: every constructed adaptor in order of construction.
const std::vector<UKeyAdaptorBase *> &liveAdaptors();
UKeyAdaptorBase *findAdaptor(uint32_t handle);
// The next device handle a construction will take (1 in a fresh process).
uint32_t nextDeviceHandle();

// The device name last given to the "ukeyskf" or "skf_bjca" create operation (the caller's pointer).
extern const char *g_currentDeviceName;

} // namespace ukey
