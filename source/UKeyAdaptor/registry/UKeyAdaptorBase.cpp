#include "registry/UKeyAdaptorBase.h"

#include <mutex>
#include <new>

namespace ukey {
namespace {

// Handles are never reused, so an instance's slot is found by its handle alone: slot h - 1 of a
// table of fixed-size chunks that never move once published. A lookup reads two atomics and
// takes no lock, whatever the number of instances; each instance costs one slot.
constexpr unsigned kChunkBits = 12;
constexpr uint64_t kChunkSlots = uint64_t{1} << kChunkBits;
constexpr size_t kChunkCount = size_t{1} << (32 - kChunkBits); // every 32-bit handle

using Slot = std::atomic<UKeyAdaptorBase *>;

std::atomic<Slot *> g_chunks[kChunkCount] = {};
std::atomic<uint32_t> g_handleCounter{1};
std::atomic<uint32_t> g_vendorLoad{0};
std::mutex g_growLock;

// The chunks go with the library; the instances they point to are kept by design.
struct ChunkRelease {
    ~ChunkRelease()
    {
        for (auto &chunk : g_chunks)
            delete[] chunk.exchange(nullptr);
    }
} g_chunkRelease;

// Inlined so that a lookup (grow false) keeps no trace of the growing path.
[[gnu::always_inline]] inline Slot *slotFor(uint32_t handle, bool grow)
{
    if (handle == 0) // the counter wrapped: never a valid handle
        return nullptr;
    const uint64_t index = uint64_t{handle} - 1;
    std::atomic<Slot *> &entry = g_chunks[index >> kChunkBits];
    Slot *chunk = entry.load(std::memory_order_acquire);
    if (!chunk && grow) {
        const std::lock_guard<std::mutex> lock(g_growLock);
        chunk = entry.load(std::memory_order_relaxed);
        if (!chunk) {
            chunk = new (std::nothrow) Slot[kChunkSlots]();
            entry.store(chunk, std::memory_order_release);
        }
    }
    return chunk ? &chunk[index & (kChunkSlots - 1)] : nullptr;
}

} // namespace

std::atomic<const char *> g_currentDeviceName{""};

// An instance whose slot cannot be had (no memory for a new chunk) is never found: its handle
// answers as an unknown one.
UKeyAdaptorBase::UKeyAdaptorBase()
    : handle(g_handleCounter.fetch_add(1, std::memory_order_relaxed)),
      vendorLoad(g_vendorLoad.load(std::memory_order_relaxed))
{
    if (Slot *slot = slotFor(handle, true))
        slot->store(this, std::memory_order_release);
}

UKeyAdaptorBase::~UKeyAdaptorBase()
{
    if (Slot *slot = slotFor(handle, false)) {
        UKeyAdaptorBase *self = this;
        slot->compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    }
    m_hDev = nullptr;
}

uint32_t UKeyAdaptorBase::GetHandle()
{
    return handle;
}

void UKeyAdaptorBase::forgetVendorHandles()
{
    m_hDev = nullptr;
}

// Apart from the lookup, which runs on every call, as a reload is rare.
[[gnu::noinline, gnu::cold]] static UKeyAdaptorBase *forgetAfterReload(UKeyAdaptorBase *adaptor)
{
    return adaptor->current();
}

UKeyAdaptorBase *UKeyAdaptorBase::current()
{
    const uint32_t load = g_vendorLoad.load(std::memory_order_relaxed);
    if (vendorLoad != load) {
        forgetVendorHandles();
        vendorLoad = load;
    }
    return this;
}

UKeyAdaptorBase *findAdaptor(uint32_t h)
{
    if (h == 0 || h >= g_handleCounter.load(std::memory_order_acquire))
        return nullptr;
    Slot *slot = slotFor(h, false);
    UKeyAdaptorBase *adaptor = slot ? slot->load(std::memory_order_acquire) : nullptr;
    if (!adaptor)
        return nullptr;
    return adaptor->vendorLoad == g_vendorLoad.load(std::memory_order_relaxed) ? adaptor : forgetAfterReload(adaptor);
}

uint32_t nextDeviceHandle()
{
    return g_handleCounter.load(std::memory_order_relaxed);
}

void beginVendorLoad()
{
    g_vendorLoad.fetch_add(1, std::memory_order_relaxed);
}

} // namespace ukey
