// The benchmarks' vendor library: no logging, no locks. Every entry of the adaptor's vendor list
// answers SAR_OK at once; the few the benchmarks need to hand out something are defined in
// BenchVendorDevice.cpp and take the place of these weak ones.
#include <type_traits>

#include "UKeyAdaptor.h"
#include "library/SkfEntryPoints.h"

extern "C" uint32_t KXF_CALL ukeyBenchOk()
{
    return SAR_OK;
}

// One body for every entry: it reads no argument, and the caller cleans up its own arguments.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattribute-alias"
#endif
#define UKEY_BENCH_ENTRY(name, required)                                                                               \
    extern "C" __attribute__((visibility("default"), weak, alias("ukeyBenchOk"))) std::remove_pointer_t<PFN_##name>    \
        name;
UKEY_SKF_ENTRY_POINTS(UKEY_BENCH_ENTRY)
#undef UKEY_BENCH_ENTRY
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
