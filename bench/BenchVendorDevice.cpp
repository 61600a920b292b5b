// The entries of the benchmarks' vendor library that hand something out: distinct device
// handles, one application.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "UKeyAdaptor.h"
#include "skf.h"

#define BENCH_FN(name, ...)                                                                                            \
    extern "C" __attribute__((visibility("default"))) uint32_t KXF_CALL name(__VA_ARGS__);                             \
    static_assert(std::is_same_v<decltype(&name), PFN_##name>, "prototype of " #name);                                 \
    extern "C" uint32_t KXF_CALL name(__VA_ARGS__)

namespace {
std::atomic<uintptr_t> g_nextDevice{1};
constexpr char kApplications[] = "BenchApp\0"; // with the list's closing zero
} // namespace

BENCH_FN(SKF_ConnectDev, const char *, DEVHANDLE *phDev)
{
    *phDev = reinterpret_cast<DEVHANDLE>(g_nextDevice.fetch_add(1, std::memory_order_relaxed));
    return SAR_OK;
}

BENCH_FN(SKF_EnumApplication, DEVHANDLE, char *szAppName, uint32_t *pulSize)
{
    if (szAppName) {
        if (*pulSize < sizeof kApplications)
            return SAR_BUFFER_TOO_SMALL;
        std::memcpy(szAppName, kApplications, sizeof kApplications);
    }
    *pulSize = sizeof kApplications;
    return SAR_OK;
}

BENCH_FN(SKF_OpenApplication, DEVHANDLE hDev, const char *, HAPPLICATION *phApplication)
{
    *phApplication = hDev;
    return SAR_OK;
}
