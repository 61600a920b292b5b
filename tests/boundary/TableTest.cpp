#include <array>
#include <iterator>

#include "support/HostFixture.h"

namespace ukeytest {
namespace {

using Table = HostFixture;

struct InstanceEntry {
    int index;
    const char *entry;
    const char *operation; // of UKeyAdaptorSKF
    uint32_t (*invoke)(void *fn, uint32_t dev, void *scratch);
};

template <class Pfn>
uint32_t invoke(void *fn, uint32_t dev, void *scratch)
{
    return callWithScratch(reinterpret_cast<Pfn>(fn), dev, scratch);
}

#define ROW(prefix, name, operation)                                                                                   \
    InstanceEntry                                                                                                      \
    {                                                                                                                  \
        prefix##_IDX_##name, #prefix "_" #name, operation, &invoke<PFN_##prefix##_##name>                              \
    }

const InstanceEntry kInstanceEntries[] = {
    ROW(KXF, IsConnectDev, "IsConnectDev"),
    ROW(KXF, DisConnectDev, "DisConnectDev"),
    ROW(KXF, GetLabelName, "GetKeyLabelName"),
    ROW(KXF, GetSerialNumber, "GetKeySerialNumber"),
    ROW(KXF, GetTotalSpace, "GetKeyTotalSpace"),
    ROW(KXF, GetFreeSpace, "GetKeyFreeSpace"),
    ROW(KXF, FormatKey, "FormatKey"),
    ROW(KXF, InitialKey, "InitialKey"),
    ROW(KXF, GetDevInfo, "GetDevInfo"),
    ROW(KXF, SetLabel, "SetLabel"),
    ROW(KXF, ChangePIN, "ChangePIN"),
    ROW(KXF, VerifyPIN, "VerifyPIN"),
    ROW(KXF, GetPINInfo, "GetPINInfo"),
    ROW(KXF, UnblockPIN, "UnblockPIN"),
    ROW(KXF, CreateFile, "CreateFileW"),
    ROW(KXF, DeleteFile, "DeleteFileW"),
    ROW(KXF, EnumFiles, "EnumFiles"),
    ROW(KXF, ReadFile, "ReadFile"),
    ROW(KXF, WriteFile, "WriteFile"),
    ROW(KXF, IsFileExist, "IsFileExist"),
    ROW(KXF, CreateContainer, "CreateContainer"),
    ROW(KXF, DeleteContainer, "DeleteContainer"),
    ROW(KXF, EnumContainer, "EnumContainer"),
    ROW(KXF, OpenContainer, "OpenContainer"),
    ROW(KXF, CloseContainer, "CloseContainer"),
    ROW(KXF, GetContainerType, "GetContainerType"),
    ROW(KXF, ImportCertificate, "ImportCertificate"),
    ROW(KXF, ExportCertificate, "ExportCertificate"),
    ROW(KXF, GenRSAKeyPair, "GenRSAKeyPair"),
    ROW(KXF, ImportRSAKeyPair, "ImportRSAKeyPair"),
    ROW(KXF, RSASignData, "RSASignData"),
    ROW(KXF, RSAVerify, "RSAVerify"),
    ROW(KXF, GenECCKeyPair, "GenECCKeyPair"),
    ROW(KXF, ImportECCKeyPair, "ImportECCKeyPair"),
    ROW(KXF, ECCSignData, "ECCSignData"),
    ROW(KXF, ECCVerify, "ECCVerify"),
    ROW(KXF, ExportPublicKey, "ExportPublicKey"),
    ROW(KXF, ImportSessionKey, "ImportSessionKey"),
    ROW(KXF, EncryptInit, "EncryptInit"),
    ROW(KXF, Encrypt, "Encrypt"),
    ROW(KXF, EncryptUpdate, "EncryptUpdate"),
    ROW(KXF, EncryptFinal, "EncryptFinal"),
    ROW(KXF, DecryptInit, "DecryptInit"),
    ROW(KXF, Decrypt, "Decrypt"),
    ROW(KXF, DecryptUpdate, "DecryptUpdate"),
    ROW(KXF, DecryptFinal, "DecryptFinal"),
    ROW(KXF, DigestInit, "DigestInit"),
    ROW(KXF, Digest, "Digest"),
    ROW(KXF, DigestUpdate, "DigestUpdate"),
    ROW(KXF, DigestFinal, "DigestFinal"),
    ROW(KXF, MacInit, "MacInit"),
    ROW(KXF, Mac, "Mac"),
    ROW(KXF, MacUpdate, "MacUpdate"),
    ROW(KXF, MacFinal, "MacFinal"),
    ROW(KXF, CloseHandle, "CloseHandle"),
    ROW(KXF, ECCExportSessionKey, "ECCExportSessionKey"),
    ROW(KXEPS, ImportSymmKey, "EPS_ImportSymmKey"),
    ROW(KXEPS, WriteESealData, "EPS_WriteESealData"),
    ROW(KXEPS, ReadESealData, "EPS_ReadESealData"),
    ROW(KXF, ImportSessionKeyWithKeyEx, "ImportSessionKeyWithKeyEx"),
};
static_assert(std::size(kInstanceEntries) == 60, "every instance-bound entry");

std::string at(const std::string &where, const char *message)
{
    return where + "|" + message;
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
    void **rebuilt = nullptr;
    EXPECT_EQ(load_(&rebuilt), 0u);
    ASSERT_NE(rebuilt, nullptr);
    table_ = rebuilt;
    EXPECT_EQ(init(), SAR_OK);
    uint32_t handle = 0;
    EXPECT_EQ(connect("MockDev1", &handle), SAR_OK);
    EXPECT_EQ(KXF(IsConnectDev)(handle), SAR_OK);
}

// Handle 0 before any connect: each entry is reached at its own index and answers by itself.
TEST_F(Table, EveryInstanceEntryRejectsAnUnknownHandle)
{
    ASSERT_EQ(init("no_such_type"), SAR_FAIL); // installs the callback only
    std::array<uint8_t, 4096> scratch{};
    for (const auto &e : kInstanceEntries) {
        log_.clear();
        EXPECT_EQ(e.invoke(table_[e.index], 0, scratch.data()), SAR_INVALIDHANDLEERR) << e.entry;
        const std::vector<std::string> expected =
            e.index == KXF_IDX_MacUpdate ? std::vector<std::string>{at(e.entry, "end")}
                                         : std::vector<std::string>{at(e.entry, "start"), at(e.entry, "end")};
        EXPECT_EQ(traces(), expected) << e.entry;
    }
}

// On a disconnected instance every entry still reaches the instance and runs its own operation.
TEST_F(Table, EveryInstanceEntryForwardsToItsOperation)
{
    ASSERT_EQ(init(), SAR_OK);
    uint32_t handle = 0;
    ASSERT_EQ(connect("MockDev1", &handle), SAR_OK);
    ASSERT_EQ(KXF(DisConnectDev)(handle), SAR_OK);
    for (const auto &e : kInstanceEntries) {
        std::array<uint8_t, 4096> scratch{};
        log_.clear();
        e.invoke(table_[e.index], handle, scratch.data());
        const auto lines = traces();
        ASSERT_GE(lines.size(), 2u) << e.entry;
        const size_t first = e.index == KXF_IDX_MacUpdate ? 0 : 1;
        if (first) {
            EXPECT_EQ(lines.front(), at(e.entry, "start"));
        }
        EXPECT_EQ(lines[first], at(std::string("UKeyAdaptorSKF::") + e.operation, "start")) << e.entry;
        EXPECT_EQ(lines.back(), at(e.entry, "end"));
    }
}

// Entries that work without a device handle, with no registered type current.
TEST_F(Table, PreConnectionEntriesFailWithoutAType)
{
    ASSERT_EQ(init("no_such_type"), SAR_FAIL);
    log_.clear();
    uint32_t size = 0;
    uint32_t handle = 0xDEADBEEF;
    char serial[40] = {};
    EXPECT_EQ(KXF(EnumDev)(nullptr, &size), SAR_FAIL);
    EXPECT_EQ(connect("MockDev1", &handle), SAR_FAIL);
    EXPECT_EQ(KXF(GetSerialNumberByDevName)("MockDev1", serial, &size), SAR_FAIL);
    EXPECT_EQ(KXF(Uinit_SDK)(), SAR_OK);
    EXPECT_EQ(handle, 0xDEADBEEF);
    EXPECT_EQ(traces(), (std::vector<std::string>{"KXF_EnumDev|start", "KXF_EnumDev|end", "KXF_ConnectDev|start",
                                                  "KXF_ConnectDev|end", "KXF_GetSerialNumberByDevName|start",
                                                  "KXF_GetSerialNumberByDevName|end", "KXF_Uinit_SDK|start",
                                                  "KXF_Uinit_SDK|end"}));
    EXPECT_TRUE(mock().log.empty());
}

// The one place that pins the line format; everything else compares "where|message".
TEST_F(Table, TraceLinesHaveTheHostFormat)
{
    ASSERT_EQ(init(), SAR_OK);
    uint32_t handle = 0;
    ASSERT_EQ(connect("MockDev1", &handle), SAR_OK);
    log_.clear();
    ASSERT_EQ(KXF(DisConnectDev)(handle), SAR_OK);
    ASSERT_GE(log_.size(), 4u);
    for (const auto &l : log_) {
        EXPECT_EQ(l.level, 0);
        EXPECT_TRUE(parseTrace(l.text)) << l.text;
    }
    const auto first = parseTrace(log_.front().text);
    const auto last = parseTrace(log_.back().text);
    ASSERT_TRUE(first && last);
    EXPECT_TRUE(first->entry && last->entry);
    EXPECT_EQ(first->where, "KXF_DisConnectDev");
    EXPECT_EQ(first->message, "start");
    EXPECT_EQ(last->message, "end");
    EXPECT_EQ(first->file.find_first_of("/\\"), std::string::npos) << first->file;
    EXPECT_EQ(log_.front().text, "[" + first->file + ":KXF_DisConnectDev:" + std::to_string(first->line) + "]start");
    EXPECT_EQ(log_[1].text.rfind("[UKeyAdaptorSKF::DisConnectDev:", 0), 0u) << log_[1].text;
}

} // namespace
} // namespace ukeytest
