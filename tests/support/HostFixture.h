// The host side of the tests: a fresh copy of the adaptor per test, reached only as a host
// reaches it (KXF_Load and the table), with the host log collected and the mock libraries reset.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "UKeyAdaptor.h"
#include "mock/MockControl.h"
#include "support/TraceLine.h"

// Typed table entries: KXF(ConnectDev)("MockDev1", &handle).
#define KXF(name) entry<PFN_KXF_##name>(KXF_IDX_##name)

namespace ukeytest {

using Lines = std::vector<std::string>;
using Words = std::vector<uint64_t>;

struct LogLine {
    int32_t level;
    std::string text;
};

using mock::word;

inline uint64_t handleWord(mock::Kind kind, uint32_t n)
{
    return word(mock::handleValue(kind, n));
}

// A harmless argument: token handles null, other pointers into zeroed scratch, numbers 0.
template <class T>
T scratchArg(void *scratch)
{
    if constexpr (std::is_same_v<T, void *>)
        return nullptr;
    else if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<T>(scratch);
    else
        return T{};
}

// Calls an instance-bound entry with exactly its arguments: the device handle, then scratch values.
template <class R, class... A>
uint32_t callWithScratch(R(KXF_CALL *fn)(uint32_t, A...), uint32_t dev, [[maybe_unused]] void *scratch)
{
    return fn(dev, scratchArg<A>(scratch)...);
}

// The vendor handles the mock hands out first.
const uint64_t kFirstDev = handleWord(mock::Kind::Device, 1), kFirstApp = handleWord(mock::Kind::Application, 1);

class HostFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Every mock library back to its default world, and the host log collected by this test.
    void resetMocks();

    template <class Pfn>
    Pfn entry(int index) const
    {
        return reinterpret_cast<Pfn>(table_[index]);
    }

    uint32_t init(const char *type = "ukeyskf", const char *library = MOCK_SKF_PATH, bool withCallback = true)
    {
        return KXF(Init_SDK)(type, library, withCallback ? callback() : nullptr, 0);
    }
    uint32_t connect(const char *devName, uint32_t *handle) { return KXF(ConnectDev)(devName, handle); }
    // The handle of a connect that must succeed.
    uint32_t connected(const char *devName = "MockDev1")
    {
        uint32_t handle = 0;
        EXPECT_EQ(connect(devName, &handle), SAR_OK) << devName;
        return handle;
    }

    // The state of the mock library at path; every variant starts each test from the default world.
    mock::State &mock(const char *path = MOCK_SKF_PATH);

    // Forgets the vendor calls and the host log so far.
    void reset()
    {
        mock().clearLog();
        log_.clear();
    }

    // The collected log as "where|message", and the messages located at one place.
    Lines traces() const;
    Lines messagesAt(const std::string &where) const;
    // The vendor calls so far, each as "name" or "name:string>string" with the strings it was given.
    Lines calls();

    static KXF_LogCallback callback() { return &HostFixture::onLog; }

    std::vector<LogLine> log_;
    void *library_ = nullptr;
    PFN_KXF_Load load_ = nullptr;
    PFN_KXF_Unload unload_ = nullptr;
    void **table_ = nullptr;

private:
    static void KXF_CALL onLog(int32_t level, const char *text);
    static HostFixture *current_;
    std::map<std::string, void *> mocks_;
};

} // namespace ukeytest
