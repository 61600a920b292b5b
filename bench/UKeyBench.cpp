// Costs of the adaptor as a host sees them: every call goes through KXF_Load's table of a fresh
// mapping of the shipped library. The vendor library is bench_skf (every entry answers at once),
// except where a case needs the tests' scriptable mock.
#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "UKeyAdaptor.h"
#include "mock/MockControl.h"
#include "AllocationCounter.h"

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

enum class Vendor { Bench, Mock };

// One host session: a fresh mapping (so handle numbers and the live list start empty), the
// vendor library (the mock reset to its one device), the SDK initialised with or without a callback.
class Host {
public:
    explicit Host(bool trace, Vendor vendor = Vendor::Bench)
    {
        const char *const vendorPath = vendor == Vendor::Mock ? MOCK_SKF_PATH : BENCH_SKF_PATH;
        vendorLibrary_ = dlopen(vendorPath, RTLD_NOW | RTLD_LOCAL);
        if (!vendorLibrary_)
            die(std::string("cannot load ") + vendorPath);
        if (vendor == Vendor::Mock) {
            auto state = reinterpret_cast<PFN_mock_state>(dlsym(vendorLibrary_, "mock_state"));
            if (!state)
                die(std::string("no mock library: ") + vendorPath);
            mock_ = state();
            mock_->reset();
        }

        library_ = dlopen(UKEY_ADAPTOR_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!library_)
            die(std::string("cannot load ") + UKEY_ADAPTOR_PATH);
        auto load = reinterpret_cast<PFN_KXF_Load>(dlsym(library_, "KXF_Load"));
        unload_ = reinterpret_cast<PFN_KXF_Unload>(dlsym(library_, "KXF_Unload"));
        if (!load || !unload_ || load(&table_) != SAR_OK)
            die("KXF_Load failed");
        if (entry<PFN_KXF_Init_SDK>(KXF_IDX_Init_SDK)("ukeyskf", vendorPath, trace ? &dropTrace : nullptr, 0) != SAR_OK)
            die("KXF_Init_SDK failed");
    }
    ~Host()
    {
        entry<PFN_KXF_Uinit_SDK>(KXF_IDX_Uinit_SDK)();
        unload_();
        dlclose(library_);
        if (mock_)
            mock_->reset();
        dlclose(vendorLibrary_);
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
        if (mock_ && (iteration & 1023u) == 0)
            mock_->clearLog();
    }

    mock::State &mock() { return *mock_; }
    void *vendorFunction(const char *name) const { return dlsym(vendorLibrary_, name); }

private:
    void *vendorLibrary_ = nullptr;
    mock::State *mock_ = nullptr;
    void *library_ = nullptr;
    PFN_KXF_Unload unload_ = nullptr;
    void **table_ = nullptr;
};

// The pass-through entry against the vendor function it calls. mode 0: SKF_VerifyPIN called
// directly; 1: KXF_VerifyPIN with tracing off; 2: the same with a callback that does nothing.
// Modes 3 to 5: the same three over the tests' mock, a vendor library that does the work of one
// (it looks the handle up and logs the call under a lock). "allocs" counts every allocation per
// call.
void BM_PassThrough(benchmark::State &state)
{
    const int mode = static_cast<int>(state.range(0));
    const Vendor vendor = mode >= 3 ? Vendor::Mock : Vendor::Bench;
    Host host(mode % 3 == 2, vendor);
    const uint32_t dev = host.connect();
    auto verify = host.entry<PFN_KXF_VerifyPIN>(KXF_IDX_VerifyPIN);
    auto direct = reinterpret_cast<PFN_SKF_VerifyPIN>(host.vendorFunction("SKF_VerifyPIN"));
    void *app = reinterpret_cast<void *>(uintptr_t{1}); // bench_skf answers any handle
    if (vendor == Vendor::Mock) {
        // The direct calls get an application of their own, opened as the adaptor opens one.
        auto connect = reinterpret_cast<PFN_SKF_ConnectDev>(host.vendorFunction("SKF_ConnectDev"));
        auto open = reinterpret_cast<PFN_SKF_OpenApplication>(host.vendorFunction("SKF_OpenApplication"));
        DEVHANDLE device = nullptr;
        if (connect(kDevice, &device) != SAR_OK || open(device, host.mock().app().name.c_str(), &app) != SAR_OK)
            die("mock application not opened");
    }
    uint32_t warmRetry = 0;
    direct(app, SKF_USER_TYPE, kUserPin, &warmRetry);
    // Counted around the whole loop, which allocates nothing itself, so that the counter adds no
    // cost to the direct call it is the baseline of.
    const uint64_t before = allocation::count();
    size_t iteration = 0;
    for (auto _ : state) {
        uint32_t retry = 0;
        benchmark::DoNotOptimize(mode % 3 == 0 ? direct(app, SKF_USER_TYPE, kUserPin, &retry)
                                               : verify(dev, SKF_USER_TYPE, kUserPin, &retry));
        host.trimMockLog(++iteration);
    }
    const uint64_t allocations = allocation::count() - before;
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PassThrough)->ArgName("mode")->DenseRange(0, 5);

// The least any adaptor in front of the vendor adds: one function between the host's call and the
// vendor's, entered and left through pointers as the table and the vendor's entry are, with no
// lookup and no trace test. Against mode 0 it shows how far below a ratio can go.
PFN_SKF_VerifyPIN g_floorVendor;
void *g_floorApp;
[[gnu::noinline]] uint32_t KXF_CALL forwardOnly(uint32_t, uint32_t type, const char *pin, uint32_t *retry)
{
    return g_floorVendor(g_floorApp, type, pin, retry);
}

void BM_ForwardFloor(benchmark::State &state)
{
    Host host(false, Vendor::Bench);
    g_floorVendor = reinterpret_cast<PFN_SKF_VerifyPIN>(host.vendorFunction("SKF_VerifyPIN"));
    g_floorApp = reinterpret_cast<void *>(uintptr_t{1});
    PFN_KXF_VerifyPIN volatile entry = &forwardOnly; // called as the host calls a table entry
    for (auto _ : state) {
        uint32_t retry = 0;
        benchmark::DoNotOptimize(entry(1, SKF_USER_TYPE, kUserPin, &retry));
    }
}
BENCHMARK(BM_ForwardFloor);

struct ThreadCpuClock {
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<ThreadCpuClock, duration>;
    static time_point now()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return time_point(duration(int64_t{t.tv_sec} * 1000000000 + t.tv_nsec));
    }
};

// 100,000 connect+disconnect cycles in one go: time per cycle over the first and the last
// 1,000, and the bytes the adaptor keeps per cycle (heap held afterwards, blocks with headers).
void BM_Cycles(benchmark::State &state)
{
    constexpr int kCycles = 100000, kWindow = 1000, kWarmUp = 1024;
    for (auto _ : state) {
        Host host(false);
        auto disconnect = host.entry<PFN_KXF_DisConnectDev>(KXF_IDX_DisConnectDev);
        auto cycle = [&] { disconnect(host.connect()); };
        for (int i = 1; i <= kWarmUp; ++i)
            cycle();
        const int64_t heldBefore = allocation::bytesHeld();
        const int64_t blocksBefore = allocation::blocksHeld();
        using Clock = ThreadCpuClock; // the machine may be shared: time this thread ran
        Clock::duration first{}, last{};
        for (int i = 1; i <= kCycles; ++i) {
            const auto start = Clock::now();
            cycle();
            const auto took = Clock::now() - start;
            if (i <= kWindow)
                first += took;
            else if (i > kCycles - kWindow)
                last += took;
        }
        const int64_t kept = allocation::bytesHeld() - heldBefore;
        const auto perCycle = [&](Clock::duration d) {
            return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(d).count()) / kWindow;
        };
        state.counters["first_ns"] = perCycle(first);
        state.counters["last_ns"] = perCycle(last);
        state.counters["bytes_per_cycle"] = static_cast<double>(kept) / kCycles;
        state.counters["blocks_per_cycle"] = static_cast<double>(allocation::blocksHeld() - blocksBefore) / kCycles;
    }
}
BENCHMARK(BM_Cycles)->Iterations(1)->Unit(benchmark::kMillisecond);

// A call on the newest handle with N live instances (every earlier one connected and
// disconnected), through an entry that answers from the instance without calling the vendor.
// The instances stay from one argument to the next, so the arguments run in rising order, and
// in one mapping of the adaptor that the benchmarks after it share.
void BM_Lookup(benchmark::State &state)
{
    static Host *host = new Host(false); // the instances are never freed anyway
    static int64_t live = 0;
    static uint32_t newest = 0;
    auto disconnect = host->entry<PFN_KXF_DisConnectDev>(KXF_IDX_DisConnectDev);
    while (live < state.range(0)) {
        if (newest)
            disconnect(newest);
        newest = host->connect();
        ++live;
    }
    auto serial = host->entry<PFN_KXF_GetSerialNumber>(KXF_IDX_GetSerialNumber);
    char text[64];
    for (auto _ : state) {
        uint32_t length = sizeof text;
        benchmark::DoNotOptimize(serial(newest, text, &length));
    }
    state.counters["live"] = static_cast<double>(live);
}
BENCHMARK(BM_Lookup)->ArgName("live")->Arg(1)->Arg(1000)->Arg(100000)->Arg(1000000);

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
    Host host(false, Vendor::Mock);
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
    Host host(false, Vendor::Mock);
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

// Prints each target as a ratio against its baseline of the same run (medians over repetitions).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            // Single runs, or the medians when only aggregates are reported.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median)
                continue;
            auto &r = results_[median ? run.run_name.str() : run.benchmark_name()];
            r.cpu.push_back(run.GetAdjustedCPUTime());
            for (const auto &c : run.counters)
                r.counters[c.first].push_back(c.second.value);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-52s %12s %12s\n", "Target", "Measured", "Limit");
        ratio("pass-through, tracing off / direct call", "BM_PassThrough/mode:1", "BM_PassThrough/mode:0", 1.3);
        ratio("pass-through, do-nothing callback / direct call", "BM_PassThrough/mode:2", "BM_PassThrough/mode:0", 15);
        ratio("floor: one forwarding function / direct call", "BM_ForwardFloor", "BM_PassThrough/mode:0", 1.3);
        ratio("over the mock: tracing off / direct call", "BM_PassThrough/mode:4", "BM_PassThrough/mode:3", 1.3);
        ratio("over the mock: do-nothing callback / direct call", "BM_PassThrough/mode:5", "BM_PassThrough/mode:3", 15);
        extra("adaptor allocations per call, tracing off", "BM_PassThrough/mode:1", 0);
        extra("adaptor allocations per call, do-nothing callback", "BM_PassThrough/mode:2", 0);
        for (const char *live : {"1000", "100000", "1000000"})
            ratio(("lookup, " + std::string(live) + " live / 1 live").c_str(), "BM_Lookup/live:" + std::string(live),
                  "BM_Lookup/live:1", 1.5);
        const double first = counter("BM_Cycles/iterations:1", "first_ns");
        const double last = counter("BM_Cycles/iterations:1", "last_ns");
        if (first > 0)
            line("cycles, last 1,000 / first 1,000 of 100,000", last / first, 1.5);
        if (has("BM_Cycles/iterations:1"))
            line("bytes kept per connect+disconnect cycle", counter("BM_Cycles/iterations:1", "bytes_per_cycle"), 64);
    }

private:
    struct Result {
        std::vector<double> cpu;
        std::map<std::string, std::vector<double>> counters;
    };

    static double median(std::vector<double> v)
    {
        if (v.empty())
            return 0;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    bool has(const std::string &name) const { return results_.count(name) != 0; }
    double cpu(const std::string &name) const { return has(name) ? median(results_.at(name).cpu) : 0; }
    double counter(const std::string &name, const std::string &counterName) const
    {
        if (!has(name) || !results_.at(name).counters.count(counterName))
            return 0;
        return median(results_.at(name).counters.at(counterName));
    }
    static void line(const char *what, double measured, double limit)
    {
        std::printf("%-52s %12.4g %12.4g %s\n", what, measured, limit, measured <= limit ? "ok" : "MISSED");
    }
    void ratio(const char *what, const std::string &name, const std::string &baseline, double limit) const
    {
        if (has(name) && has(baseline) && cpu(baseline) > 0)
            line(what, cpu(name) / cpu(baseline), limit);
    }
    // Allocations of the entry beyond those of the direct vendor call.
    void extra(const char *what, const std::string &name, double limit) const
    {
        if (has(name) && has("BM_PassThrough/mode:0"))
            line(what, counter(name, "allocs") - counter("BM_PassThrough/mode:0", "allocs"), limit);
    }

    std::map<std::string, Result> results_;
};

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
