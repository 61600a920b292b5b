#include "registry/UKeyAdaptorBase.h"

#include <mutex>
#include <new>
#include <set>
#include <string>

namespace ukey {
namespace handles {
std::atomic<Slot *> g_chunks[kChunkCount] = {};
std::atomic<uint32_t> g_vendorLoad{0};
} // namespace handles

namespace {
using namespace handles;

std::atomic<uint32_t> g_handleCounter{1};
std::mutex g_growLock;

// The chunks go with the library; the instances they point to are kept by design.
struct ChunkRelease {
    ~ChunkRelease()
    {
        for (auto &chunk : g_chunks)
            delete[] chunk.exchange(nullptr);
    }
} g_chunkRelease;

// Publishes the chunk that holds the handle's slot, unless another thread did first.
void publishChunkFor(uint32_t handle)
{
    std::atomic<Slot *> &entry = g_chunks[(uint64_t{handle} - 1) >> kChunkBits];
    const std::lock_guard<std::mutex> lock(g_growLock);
    if (!entry.load(std::memory_order_relaxed))
        entry.store(new (std::nothrow) Slot[kChunkSlots](), std::memory_order_release);
}

} // namespace

std::atomic<const char *> g_currentDeviceName{""};

// Every distinct name is kept once, so that no pointer handed out is ever invalidated.
void setCurrentDeviceName(const char *name)
{
    static std::mutex lock;
    static std::set<std::string, std::less<>> names;
    const std::lock_guard<std::mutex> guard(lock);
    try {
        g_currentDeviceName = names.emplace(name ? name : "").first->c_str();
    } catch (const std::bad_alloc &) {
        g_currentDeviceName = ""; // without memory for a copy, no name at all
    }
}

// An instance whose slot cannot be had (no memory for a new chunk) is never found: its handle
// answers as an unknown one.
UKeyAdaptorBase::UKeyAdaptorBase()
    : handle(g_handleCounter.fetch_add(1, std::memory_order_relaxed)),
      vendorLoad(g_vendorLoad.load(std::memory_order_relaxed))
{
    if (handle != 0 && !slotOf(handle))
        publishChunkFor(handle);
    if (Slot *slot = slotOf(handle))
        slot->store(this, std::memory_order_release);
}

UKeyAdaptorBase::~UKeyAdaptorBase()
{
    if (Slot *slot = slotOf(handle)) {
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

uint32_t nextDeviceHandle()
{
    return g_handleCounter.load(std::memory_order_relaxed);
}

void beginVendorLoad()
{
    g_vendorLoad.fetch_add(1, std::memory_order_relaxed);
}

} // namespace ukey
