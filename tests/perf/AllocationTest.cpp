// An entry allocates nothing of its own, with tracing off and with a callback: the allocations
// during the entry equal those of the same vendor call made directly (the mock's own logging).
#include <dlfcn.h>

#include <string>

#include "AllocationCounter.h"
#include "support/HostFixture.h"

namespace {

void KXF_CALL dropLine(int32_t, const char *) {}

using Entry = uint32_t (*)(void **table, uint32_t handle);
using Direct = uint32_t (*)(void *vendorFunction); // resolved before counting

void *app()
{
    return mock::handleValue(mock::Kind::Application, 1);
}

struct Row {
    const char *name;
    Entry entry;
    const char *vendorName; // null: the entry makes no vendor call
    Direct direct;
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
         return reinterpret_cast<PFN_SKF_VerifyPIN>(v)(app(), SKF_USER_TYPE, "123456", &retry);
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

struct Case {
    Row row;
    bool tracing;
};

void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.row.name << (c.tracing ? " traced" : "");
}

class Allocations : public ukeytest::HostFixture, public ::testing::WithParamInterface<Case> {};

TEST_P(Allocations, AnEntryAllocatesNothingOfItsOwn)
{
    if (!allocation::available())
        GTEST_SKIP() << "a sanitizer's allocator cannot be counted";
    const Case &c = GetParam();
    ASSERT_EQ(KXF(Init_SDK)("ukeyskf", MOCK_SKF_PATH, c.tracing ? &dropLine : nullptr, 0), 0u);
    uint32_t h = 0;
    ASSERT_EQ(KXF(ConnectDev)("MockDev1", &h), 0u);
    void *vendor = dlopen(MOCK_SKF_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(vendor, nullptr);

    c.row.entry(table_, h); // the mock's first call of a function sets up its scripting
    for (int round = 0; round < 3; ++round) {
        uint64_t vendorOnly = 0;
        if (c.row.vendorName) {
            void *const function = dlsym(vendor, c.row.vendorName);
            ASSERT_NE(function, nullptr);
            mock().clearLog();
            const uint64_t before = allocation::count();
            c.row.direct(function);
            vendorOnly = allocation::count() - before;
            EXPECT_GT(vendorOnly, 0u) << "the mock logs every call, so the counter must see it";
        }
        mock().clearLog();
        const uint64_t before = allocation::count();
        c.row.entry(table_, h);
        EXPECT_EQ(allocation::count() - before, vendorOnly) << "round " << round;
    }
    dlclose(vendor);
}

std::vector<Case> cases()
{
    std::vector<Case> all;
    for (const Row &row : kRows)
        for (bool tracing : {false, true})
            all.push_back({row, tracing});
    return all;
}

INSTANTIATE_TEST_SUITE_P(Entries, Allocations, ::testing::ValuesIn(cases()), [](const auto &row) {
    return std::string(row.param.row.name) + (row.param.tracing ? "Traced" : "Silent");
});

} // namespace
