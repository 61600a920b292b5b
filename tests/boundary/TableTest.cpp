#include <array>
#include <map>

#include "support/HostFixture.h"

namespace ukeytest {
namespace {

using Table = HostFixture;

using Invoker = uint32_t (*)(void *fn, uint32_t dev, void *scratch);

struct InstanceEntry {
    int index;
    std::string entry, operation; // the operation of UKeyAdaptorSKF
    Invoker invoke;
};

// Calls an entry whose first argument is a device handle; other entries have no invoker.
template <class R, class... A>
constexpr Invoker invoker(R(KXF_CALL *)(uint32_t, A...))
{
    return [](void *fn, uint32_t dev, void *scratch) -> uint32_t {
        return callWithScratch(reinterpret_cast<R(KXF_CALL *)(uint32_t, A...)>(fn), dev, scratch);
    };
}
template <class F>
constexpr Invoker invoker(F)
{
    return nullptr;
}

TEST_F(Table, LoadAndUnloadKeepOneTable)
{
    void **again = nullptr;
    EXPECT_EQ(load_(&again), 0u);
    EXPECT_EQ(again, table_);
    EXPECT_EQ(load_(nullptr), 0u);
    const auto isConnectDev = KXF(IsConnectDev);

    EXPECT_EQ(unload_(), 0u);
    EXPECT_EQ(unload_(), 0u);
    // The entries outlive the table while the library stays mapped.
    EXPECT_EQ(isConnectDev(0), SAR_INVALIDHANDLEERR);

    EXPECT_EQ(load_(nullptr), 0u);
    table_ = nullptr;
    EXPECT_EQ(load_(&table_), 0u);
    ASSERT_NE(table_, nullptr);
    EXPECT_EQ(init(), SAR_OK);
    EXPECT_EQ(KXF(IsConnectDev)(connected()), SAR_OK);
}

// Disconnecting closes the application and the device. Each entry is reached at its own index:
// handle 0 it answers by itself; a disconnected instance still gets the call and runs its own
// operation. MacUpdate traces no "start" of its own.
TEST_F(Table, EveryInstanceEntryChecksItsHandleAndForwardsToItsOperation)
{
    ASSERT_EQ(init(), SAR_OK);
    const uint32_t handle = connected();
    reset();
    ASSERT_EQ(KXF(DisConnectDev)(handle), SAR_OK);
    EXPECT_EQ(mock().calledNames(), (Lines{"SKF_CloseApplication", "SKF_DisConnectDev"}));
    // The one place that pins the line format; everything else compares "where|message".
    ASSERT_GE(log_.size(), 4u);
    for (const auto &l : log_)
        EXPECT_TRUE(l.level == 0 && parseTrace(l.text)) << l.text;
    const auto first = parseTrace(log_.front().text);
    ASSERT_TRUE(first && first->entry && parseTrace(log_.back().text)->entry);
    EXPECT_EQ(first->file.find_first_of("/\\"), std::string::npos) << first->file;
    EXPECT_EQ(log_.front().text, "[" + first->file + ":KXF_DisConnectDev:" + std::to_string(first->line) + "]start");
    EXPECT_EQ(log_[1].text.rfind("[UKeyAdaptorSKF::DisConnectDev:", 0), 0u) << log_[1].text;
    log_.clear();
    EXPECT_EQ(KXF(IsConnectDev)(handle), SAR_INVALIDHANDLEERR);
    EXPECT_EQ(traces(), (Lines{"KXF_IsConnectDev|start", "UKeyAdaptorSKF::IsConnectDev|start",
                               "UKeyAdaptorSKF::IsConnectDev|end.SAR_INVALIDHANDLEERR", "KXF_IsConnectDev|end"}));
    EXPECT_EQ(KXF(DisConnectDev)(handle), SAR_FAIL);
    // The entries taking a device handle; a KXEPS_ entry runs the EPS_ operation of its name.
    const std::map<std::string, std::string> renamed = {
        {"GetLabelName", "GetKeyLabelName"},   {"GetSerialNumber", "GetKeySerialNumber"},
        {"GetTotalSpace", "GetKeyTotalSpace"}, {"GetFreeSpace", "GetKeyFreeSpace"},
        {"CreateFile", "CreateFileW"},         {"DeleteFile", "DeleteFileW"}};
    std::vector<InstanceEntry> entries;
#define INSTANCE_ENTRY(prefix, name, index, params)                                                                    \
    if (auto invoke = invoker(PFN_##prefix##_##name{}))                                                                \
        entries.push_back({index, #prefix "_" #name,                                                                   \
                           renamed.count(#name) ? renamed.at(#name) : (#prefix[2] == 'E' ? "EPS_" #name : #name),      \
                           invoke});
    KXF_ENTRIES(INSTANCE_ENTRY)
#undef INSTANCE_ENTRY
    ASSERT_EQ(entries.size(), 60u);
    for (const auto &e : entries) {
        std::array<uint8_t, 4096> scratch{};
        const bool starts = e.index != KXF_IDX_MacUpdate;
        log_.clear();
        EXPECT_EQ(e.invoke(table_[e.index], 0, scratch.data()), SAR_INVALIDHANDLEERR) << e.entry;
        const Lines expected{e.entry + "|start", e.entry + "|end"};
        EXPECT_EQ(traces(), Lines(expected.begin() + !starts, expected.end())) << e.entry;

        log_.clear();
        e.invoke(table_[e.index], handle, scratch.data());
        const auto lines = traces();
        ASSERT_GE(lines.size(), 2u) << e.entry;
        const std::string operation = "UKeyAdaptorSKF::" + e.operation + "|start";
        EXPECT_EQ(lines.front(), starts ? expected.front() : operation);
        EXPECT_EQ(lines[starts], operation) << e.entry;
        EXPECT_EQ(lines.back(), expected.back());
    }
    // Untraced, the same answer and not a line.
    ASSERT_EQ(init("ukeyskf", MOCK_SKF_PATH, false), SAR_OK);
    log_.clear();
    std::array<uint8_t, 4096> scratch{};
    for (const auto &e : entries)
        EXPECT_EQ(e.invoke(table_[e.index], 0, scratch.data()), SAR_INVALIDHANDLEERR) << e.entry;
    EXPECT_TRUE(log_.empty());
}

// Entries that work without a device handle, with no registered type current.
TEST_F(Table, PreConnectionEntriesFailWithoutAType)
{
    ASSERT_EQ(init("no_such_type"), SAR_FAIL);
    log_.clear();
    uint32_t size = 0, handle = 0xDEADBEEF;
    char serial[40] = {};
    EXPECT_EQ(KXF(EnumDev)(nullptr, &size), SAR_FAIL);
    EXPECT_EQ(connect("MockDev1", &handle), SAR_FAIL);
    EXPECT_EQ(KXF(GetSerialNumberByDevName)("MockDev1", serial, &size), SAR_FAIL);
    EXPECT_EQ(KXF(Uinit_SDK)(), SAR_OK);
    EXPECT_EQ(handle, 0xDEADBEEF);
    EXPECT_EQ(traces(), (Lines{"KXF_EnumDev|start", "KXF_EnumDev|end", "KXF_ConnectDev|start", "KXF_ConnectDev|end",
                               "KXF_GetSerialNumberByDevName|start", "KXF_GetSerialNumberByDevName|end",
                               "KXF_Uinit_SDK|start", "KXF_Uinit_SDK|end"}));
    EXPECT_TRUE(mock().log.empty());
}

} // namespace
} // namespace ukeytest
