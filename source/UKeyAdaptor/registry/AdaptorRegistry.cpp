#include "registry/AdaptorRegistry.h"

#include <atomic>
#include <cstring>
#include <new>

#include "UKeyAdaptor.h"

namespace ukey {

bool sameTypeName(const char *a, const char *b)
{
    return a && b && std::strcmp(a, b) == 0;
}

namespace registry {
namespace {

AdaptorTypeDescriptor *g_slots[kSlotCount] = {};
int32_t g_count = 0;
// Lookups on several threads replace it; Clear runs alone.
std::atomic<const AdaptorTypeDescriptor *> g_cache{nullptr};

} // namespace

void Register(const AdaptorTypeOps &ops)
{
    auto *d = new (std::nothrow) AdaptorTypeDescriptor{};
    if (d) {
        std::strncpy(d->name, ops.name ? ops.name : "", sizeof d->name - 1);
        d->load = ops.load;
        d->unload = ops.unload;
        d->enumDev = ops.enumDev;
        d->create = ops.create;
        d->serial = ops.serial;
    }
    if (g_count < kSlotCount)
        g_slots[g_count] = d;
    else
        delete d;
    ++g_count;
}

void Clear()
{
    for (auto &s : g_slots) {
        delete s;
        s = nullptr;
    }
    g_cache.store(nullptr, std::memory_order_release);
}

const AdaptorTypeDescriptor *Find(const char *typeName)
{
    if (!typeName)
        return nullptr;
    if (const AdaptorTypeDescriptor *cachedType = g_cache.load(std::memory_order_acquire);
        cachedType && std::strcmp(cachedType->name, typeName) == 0)
        return cachedType;
    g_cache.store(nullptr, std::memory_order_release);
    for (const auto *s : g_slots) {
        if (s && std::strcmp(s->name, typeName) == 0) {
            g_cache.store(s, std::memory_order_release);
            return s;
        }
    }
    return nullptr;
}

const AdaptorTypeDescriptor *slot(int index)
{
    return index >= 0 && index < kSlotCount ? g_slots[index] : nullptr;
}

const AdaptorTypeDescriptor *cached()
{
    return g_cache.load(std::memory_order_acquire);
}

int registrationCount()
{
    return g_count;
}

uint32_t loadLibrary(const char *typeName, const char *libraryPath)
{
    const auto *d = Find(typeName);
    return d && d->load ? d->load(typeName, libraryPath) : 0;
}

uint32_t unloadLibrary(const char *typeName)
{
    const auto *d = Find(typeName);
    return d && d->unload ? d->unload(typeName) : 0;
}

uint32_t enumDevices(const char *typeName, char *nameList, uint32_t *pulSize)
{
    const auto *d = Find(typeName);
    return d && d->enumDev ? d->enumDev(nameList, pulSize) : SAR_FAIL;
}

UKeyAdaptorBase *createInstance(const char *typeName, const char *devName)
{
    const auto *d = Find(typeName);
    return d && d->create ? d->create(typeName, devName) : nullptr;
}

uint32_t serialByDevName(const char *typeName, const char *devName, char *serial, uint32_t *pulLen)
{
    const auto *d = Find(typeName);
    return d && d->serial ? d->serial(typeName, devName, serial, pulLen) : SAR_FAIL;
}

} // namespace registry
} // namespace ukey

namespace {
// Every type is registered before any export can be called.
const bool g_builtInTypesRegistered = (ukey::registry::registerBuiltInTypes(), true);
} // namespace
