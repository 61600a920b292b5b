// Costs of the adaptor as a host sees them: every call goes through KXF_Load's table of a fresh
// mapping of the shipped library, with the scriptable mock as vendor library.
#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "UKeyAdaptor.h"
#include "mock/MockControl.h"

namespace {

constexpr char kDevice[] = "MockDev1";
constexpr char kUserPin[] = "123456";

void KXF_CALL dropTrace(int32_t level, const char *text)
{
    benchmark::DoNotOptimize(level);
    benchmark::DoNotOptimize(text);
}

[[noreturn]] void die(const std::string &why)
{
    std::fprintf(stderr, "ukey_bench: %s\n", why.c_str());
    std::exit(1);
}

// One host session: a fresh mapping (so handle numbers and the live list start empty), the mock
// reset to its one device, the SDK initialised with or without a callback.
class Host {
public:
    explicit Host(bool trace)
    {
        mockLibrary_ = dlopen(MOCK_SKF_PATH, RTLD_NOW | RTLD_LOCAL);
        auto state = mockLibrary_ ? reinterpret_cast<PFN_mock_state>(dlsym(mockLibrary_, "mock_state")) : nullptr;
        if (!state)
            die(std::string("no mock library: ") + MOCK_SKF_PATH);
        mock_ = state();
        mock_->reset();

        library_ = dlopen(UKEY_ADAPTOR_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!library_)
            die(std::string("cannot load ") + UKEY_ADAPTOR_PATH);
        auto load = reinterpret_cast<PFN_KXF_Load>(dlsym(library_, "KXF_Load"));
        unload_ = reinterpret_cast<PFN_KXF_Unload>(dlsym(library_, "KXF_Unload"));
        if (!load || !unload_ || load(&table_) != SAR_OK)
            die("KXF_Load failed");
        if (entry<PFN_KXF_Init_SDK>(KXF_IDX_Init_SDK)("ukeyskf", MOCK_SKF_PATH, trace ? &dropTrace : nullptr, 0) !=
            SAR_OK)
            die("KXF_Init_SDK failed");
    }
    ~Host()
    {
        entry<PFN_KXF_Uinit_SDK>(KXF_IDX_Uinit_SDK)();
        unload_();
        dlclose(library_);
        mock_->reset();
        dlclose(mockLibrary_);
    }
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    template <class Pfn>
    Pfn entry(int index) const
    {
        return reinterpret_cast<Pfn>(table_[index]);
    }

    uint32_t connect()
    {
        uint32_t dev = 0;
        if (entry<PFN_KXF_ConnectDev>(KXF_IDX_ConnectDev)(kDevice, &dev) != SAR_OK)
            die("KXF_ConnectDev failed");
        return dev;
    }

    // The mock records every call; keep its log from growing over millions of iterations.
    void trimMockLog(size_t iteration)
    {
        if ((iteration & 1023u) == 0)
            mock_->clearLog();
    }

    mock::State &mock() { return *mock_; }

private:
    void *mockLibrary_ = nullptr;
    mock::State *mock_ = nullptr;
    void *library_ = nullptr;
    PFN_KXF_Unload unload_ = nullptr;
    void **table_ = nullptr;
};

// An instance-bound entry with a vendor call behind it; arg 0: tracing off, 1: a callback that drops the text.
void BM_VerifyPin(benchmark::State &state)
{
    Host host(state.range(0) != 0);
    const uint32_t dev = host.connect();
    auto verify = host.entry<PFN_KXF_VerifyPIN>(KXF_IDX_VerifyPIN);
    size_t i = 0;
    for (auto _ : state) {
        uint32_t retry = 0;
        benchmark::DoNotOptimize(verify(dev, SKF_USER_TYPE, kUserPin, &retry));
        host.trimMockLog(++i);
    }
}
BENCHMARK(BM_VerifyPin)->ArgName("trace")->Arg(0)->Arg(1);

// The forwarder alone: a handle that was never handed out, so no operation and no vendor runs.
void BM_UnknownHandle(benchmark::State &state)
{
    Host host(state.range(0) != 0);
    host.connect();
    auto verify = host.entry<PFN_KXF_VerifyPIN>(KXF_IDX_VerifyPIN);
    for (auto _ : state) {
        uint32_t retry = 0;
        benchmark::DoNotOptimize(verify(0, SKF_USER_TYPE, kUserPin, &retry));
    }
}
BENCHMARK(BM_UnknownHandle)->ArgName("trace")->Arg(0)->Arg(1);

// Finding the instance of the newest of N live adaptors (the walk's worst case), through an
// entry that answers from the instance's cache without calling the vendor.
void BM_HandleLookup(benchmark::State &state)
{
    Host host(false);
    uint32_t newest = 0;
    for (int64_t n = 0; n < state.range(0); ++n) {
        newest = host.connect();
        host.mock().clearLog();
    }
    auto serial = host.entry<PFN_KXF_GetSerialNumber>(KXF_IDX_GetSerialNumber);
    char text[64];
    for (auto _ : state) {
        uint32_t length = 0;
        benchmark::DoNotOptimize(serial(newest, text, &length));
    }
    state.counters["live"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_HandleLookup)->ArgName("live")->Arg(1)->Arg(100)->Arg(10000);

std::string nameList(int64_t count)
{
    std::string list;
    char name[32];
    for (int64_t i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "file%05lld", static_cast<long long>(i));
        list.append(name).push_back('\0');
    }
    list.push_back('\0');
    return list;
}

// IsFileExist lists the files (size query, fetch) and splits the list; the name asked for is the last.
void BM_IsFileExist(benchmark::State &state)
{
    Host host(false);
    const uint32_t dev = host.connect();
    const std::string list = nameList(state.range(0));
    host.mock().enumFiles = mock::RawList::of(list, static_cast<uint32_t>(list.size()));
    char last[32];
    std::snprintf(last, sizeof last, "file%05lld", static_cast<long long>(state.range(0) - 1));
    auto exists = host.entry<PFN_KXF_IsFileExist>(KXF_IDX_IsFileExist);
    if (exists(dev, last) != SAR_OK)
        die("IsFileExist did not find the last name");
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(exists(dev, last));
        host.trimMockLog(++i);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_IsFileExist)->ArgName("names")->Arg(10)->Arg(1000);

// The host's two-call listing through KXF_EnumFiles, for comparison: the adaptor passes the list through.
void BM_EnumFiles(benchmark::State &state)
{
    Host host(false);
    const uint32_t dev = host.connect();
    const std::string list = nameList(state.range(0));
    host.mock().enumFiles = mock::RawList::of(list, static_cast<uint32_t>(list.size()));
    auto enumFiles = host.entry<PFN_KXF_EnumFiles>(KXF_IDX_EnumFiles);
    std::vector<char> buffer(list.size());
    size_t i = 0;
    for (auto _ : state) {
        uint32_t size = 0;
        enumFiles(dev, nullptr, &size);
        size = static_cast<uint32_t>(buffer.size());
        benchmark::DoNotOptimize(enumFiles(dev, buffer.data(), &size));
        host.trimMockLog(++i);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_EnumFiles)->ArgName("names")->Arg(10)->Arg(1000);

} // namespace

BENCHMARK_MAIN();
