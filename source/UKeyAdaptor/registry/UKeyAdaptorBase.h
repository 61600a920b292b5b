#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

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

    // This instance, after dropping the vendor handles it took under an earlier vendor-library
    // load: those belong to a library that is gone, and the new one numbers its handles afresh.
    UKeyAdaptorBase *current();

protected:
    // Drops, without a vendor call, every vendor handle the instance holds.
    virtual void forgetVendorHandles();

    DEVHANDLE m_hDev = nullptr;

private:
    friend UKeyAdaptorBase *findAdaptor(uint32_t h); // tests vendorLoad inline
    uint32_t handle;
    uint32_t vendorLoad;
};

// Handles are never reused, so an instance's slot is found by its handle alone: slot h - 1 of a
// table of fixed-size chunks that never move once published. A lookup reads the chunk and the
// slot and takes no lock, whatever the number of instances; each instance costs one slot.
namespace handles {
constexpr unsigned kChunkBits = 12;
constexpr uint64_t kChunkSlots = uint64_t{1} << kChunkBits;
constexpr size_t kChunkCount = size_t{1} << (32 - kChunkBits); // every 32-bit handle

using Slot = std::atomic<UKeyAdaptorBase *>;
extern std::atomic<Slot *> g_chunks[kChunkCount];
extern std::atomic<uint32_t> g_vendorLoad;

// Null for handle 0 (the counter wrapped) and for a chunk not yet published.
inline Slot *slotOf(uint32_t handle)
{
    if (handle == 0)
        return nullptr;
    const uint64_t index = uint64_t{handle} - 1;
    Slot *chunk = g_chunks[index >> kChunkBits].load(std::memory_order_acquire);
    return chunk ? &chunk[index & (kChunkSlots - 1)] : nullptr;
}
} // namespace handles

// The live instance that owns a device handle, current() applied; null for a handle never handed
// out or whose instance was destroyed (its slot is empty). Inline, as every entry starts here.
inline UKeyAdaptorBase *findAdaptor(uint32_t h)
{
    const handles::Slot *slot = handles::slotOf(h);
    UKeyAdaptorBase *adaptor = slot ? slot->load(std::memory_order_acquire) : nullptr;
    if (!adaptor || adaptor->vendorLoad == handles::g_vendorLoad.load(std::memory_order_relaxed))
        return adaptor;
    return adaptor->current();
}

// The next device handle a construction will take (1 in a fresh process).
uint32_t nextDeviceHandle();
// Called before every load or release of a vendor library: every existing instance is then stale.
void beginVendorLoad();

// The device name last given to the "ukeyskf" or "skf_bjca" create operation, in a copy of our own
// that lives as long as the process: the host may reuse or free its text once the create returns.
extern std::atomic<const char *> g_currentDeviceName;
void setCurrentDeviceName(const char *name);

} // namespace ukey
