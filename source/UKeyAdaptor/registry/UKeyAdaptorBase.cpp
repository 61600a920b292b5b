#include "registry/UKeyAdaptorBase.h"

#include <mutex>
#include <new>

namespace ukey {
namespace {

// Handles are never reused, so an instance's slot is found by its handle alone. The slots live
// in chunks that double in size and never move once published; a lookup reads two atomics and
// takes no lock, whatever the number of instances.
constexpr unsigned kFirstChunkBits = 6;
constexpr unsigned kChunkCount = 33 - kFirstChunkBits; // enough for every 32-bit handle

using Slot = std::atomic<UKeyAdaptorBase *>;

std::atomic<Slot *> g_chunks[kChunkCount] = {};
std::atomic<uint32_t> g_handleCounter{1};
std::atomic<uint32_t> g_vendorLoad{0};
std::mutex g_growLock;

unsigned highestBit(uint64_t v)
{
#if defined(__GNUC__) || defined(__clang__)
    return 63u - static_cast<unsigned>(__builtin_clzll(v));
#else
    unsigned bit = 0;
    while (v >>= 1)
        ++bit;
    return bit;
#endif
}

struct Place {
    unsigned chunk;
    uint64_t offset;
};

// Handle 1 is the first slot of chunk 0, which holds 64 slots; chunk k holds 64 << k.
Place placeOf(uint32_t handle)
{
    const uint64_t position = uint64_t{handle} - 1 + (uint64_t{1} << kFirstChunkBits);
    const unsigned bit = highestBit(position);
    return {bit - kFirstChunkBits, position - (uint64_t{1} << bit)};
}

Slot *slotFor(uint32_t handle, bool grow)
{
    const Place place = placeOf(handle);
    Slot *chunk = g_chunks[place.chunk].load(std::memory_order_acquire);
    if (!chunk && grow) {
        const std::lock_guard<std::mutex> lock(g_growLock);
        chunk = g_chunks[place.chunk].load(std::memory_order_relaxed);
        if (!chunk) {
            chunk = new (std::nothrow) Slot[size_t{1} << (place.chunk + kFirstChunkBits)]();
            g_chunks[place.chunk].store(chunk, std::memory_order_release);
        }
    }
    return chunk ? &chunk[place.offset] : nullptr;
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
    return adaptor ? adaptor->current() : nullptr;
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
