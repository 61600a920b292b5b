// An entry allocates nothing of its own, with tracing off and with a callback: the allocations
// during the entry equal those of the same vendor call made directly (the mock's own logging).
#include <dlfcn.h>

#include <string>
#include <tuple>

#include "AllocationCounter.h"
#include "support/HostFixture.h"

namespace {

void KXF_CALL dropLine(int32_t, const char *) {}

struct Row {
    const char *name;
    uint32_t (*entry)(void **table, uint32_t handle);
    const char *vendorName;                   // null: the entry makes no vendor call
    uint32_t (*direct)(void *vendorFunction); // resolved before counting
};

const Row kRows[] = {
    {"VerifyPIN",
     [](void **t, uint32_t h) {
         uint32_t retry = 0;
         return reinterpret_cast<PFN_KXF_VerifyPIN>(t[KXF_IDX_VerifyPIN])(h, SKF_USER_TYPE, "123456", &retry);
     },
     "SKF_VerifyPIN",
     [](void *v) {
         uint32_t retry = 0;
         void *app = mock::handleValue(mock::Kind::Application, 1);
         return reinterpret_cast<PFN_SKF_VerifyPIN>(v)(app, SKF_USER_TYPE, "123456", &retry);
     }},
    {"GetSerialNumber",
     [](void **t, uint32_t h) {
         char serial[64];
         uint32_t len = sizeof serial;
         return reinterpret_cast<PFN_KXF_GetSerialNumber>(t[KXF_IDX_GetSerialNumber])(h, serial, &len);
     },
     nullptr, nullptr},
    {"UnknownHandle",
     [](void **t, uint32_t h) { return reinterpret_cast<PFN_KXF_IsConnectDev>(t[KXF_IDX_IsConnectDev])(h + 100); },
     nullptr, nullptr},
};

class Allocations : public ukeytest::HostFixture, public ::testing::WithParamInterface<std::tuple<Row, bool>> {};

TEST_P(Allocations, AnEntryAllocatesNothingOfItsOwn)
{
    if (!allocation::available())
        GTEST_SKIP() << "a sanitizer's allocator cannot be counted";
    const auto &[row, tracing] = GetParam();
    ASSERT_EQ(KXF(Init_SDK)("ukeyskf", MOCK_SKF_PATH, tracing ? &dropLine : nullptr, 0), 0u);
    const uint32_t h = connected();
    void *vendor = dlopen(MOCK_SKF_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(vendor, nullptr);

    row.entry(table_, h); // the mock's first call of a function sets up its scripting
    for (int round = 0; round < 3; ++round) {
        uint64_t vendorOnly = 0;
        if (row.vendorName) {
            void *const function = dlsym(vendor, row.vendorName);
            ASSERT_NE(function, nullptr);
            mock().clearLog();
            const uint64_t before = allocation::count();
            row.direct(function);
            vendorOnly = allocation::count() - before;
            EXPECT_GT(vendorOnly, 0u) << "the mock logs every call, so the counter must see it";
        }
        mock().clearLog();
        const uint64_t before = allocation::count();
        row.entry(table_, h);
        EXPECT_EQ(allocation::count() - before, vendorOnly) << "round " << round;
    }
    dlclose(vendor);
}

INSTANTIATE_TEST_SUITE_P(Entries, Allocations, ::testing::Combine(::testing::ValuesIn(kRows), ::testing::Bool()),
                         [](const auto &p) {
                             return std::string(std::get<0>(p.param).name) +
                                    (std::get<1>(p.param) ? "Traced" : "Silent");
                         });

} // namespace
