// Every guarded pass-through of the generic adaptor: the entry test, the handle test and the
// forwarding of the host's arguments, one table row per operation.
#include <tuple>

#include "skf/GenericFixture.h"

namespace ukeytest {
namespace {

// Which handles an operation needs; "object" is its container, key, hash or MAC argument.
enum class Needs {
    App,       // m_hApp
    AppOnly,   // m_hApp; a null object still reaches the vendor
    AppObject, // m_hApp and the object
    Dev,       // m_hDev; a null object still reaches the vendor
    DevObject, // m_hDev and the object
    Refresh,   // none: without m_hDev the cached value and SAR_FAIL, no vendor call
};

// A vendor argument that must be a structure of the adaptor's own, not the host's.
constexpr uint64_t kOwn = ~uint64_t{0};

// The host side of one call: the arguments, and what the vendor should receive.
struct Args {
    void **table = nullptr;
    uint32_t dev = 0;
    void *obj = nullptr;
    uint64_t hDev = 0, hApp = 0;
    char name[8] = "n1", text[8] = "t2";
    alignas(8) uint8_t in[400] = {}, in2[400] = {}, out[400] = {};
    uint32_t len[3] = {};
    int32_t flag = 0;
    void *handleOut = nullptr;
    uintptr_t eps[5] = {0xE1, 0xE2, 0xE3, 0xE4, 0xE5};
    Words expected = {};

    // The vendor gets prefix, then the host's arguments unchanged.
    template <class F, class... A>
    uint32_t pass(F fn, Words prefix, A... a)
    {
        expected = prefix;
        (expected.push_back(word(a)), ...);
        return fn(dev, a...);
    }
    template <class... A>
    void expect(A... a)
    {
        expected = {word(a)...};
    }
};

struct Row {
    const char *operation, *vendor;
    Needs needs;
    // The invalid-handle message, and the line after "start" on every path; null for none.
    const char *invalidHandle, *formatted;
    uint32_t (*run)(Args &);
};

constexpr const char *kDot = "end.SAR_INVALIDHANDLEERR";
constexpr const char *kBlank = "end SAR_INVALIDHANDLEERR";

// A row runs its entry E with the host arguments of its body. ROW: operation, entry and "SKF_"
// vendor function share the name, and no line is formatted.
#define ROW_AS(operation, vendor, prefix, entry, needs, message, formatted, ...)                                       \
    Row                                                                                                                \
    {                                                                                                                  \
        operation, vendor, Needs::needs, message, formatted, [](Args &a) {                                             \
            const auto E = reinterpret_cast<PFN_##prefix##_##entry>(a.table[prefix##_IDX_##entry]);                    \
            return __VA_ARGS__;                                                                                        \
        }                                                                                                              \
    }
#define ROW(op, needs, message, ...) ROW_AS(#op, "SKF_" #op, KXF, op, needs, message, nullptr, __VA_ARGS__)
#define EPS_ROW(op, needs, ...) ROW_AS("EPS_" #op, "EPS_" #op, KXEPS, op, needs, kDot, nullptr, __VA_ARGS__)

// clang-format off
const Row kRows[] = {
    ROW_AS("GetKeyTotalSpace", "SKF_GetDevInfo", KXF, GetTotalSpace, Refresh, nullptr, nullptr,
           a.expect(a.hDev, kOwn), E(a.dev, a.len)),
    ROW_AS("GetKeyFreeSpace", "SKF_GetDevInfo", KXF, GetFreeSpace, Refresh, nullptr, nullptr,
           a.expect(a.hDev, kOwn), E(a.dev, a.len)),
    ROW(SetLabel, App, kBlank, a.expect(a.hDev, a.text), E(a.dev, a.text)),
    ROW(ChangePIN, App, kBlank, a.pass(E, {a.hApp}, 2u, a.name, a.text, a.len)),
    ROW(VerifyPIN, App, kDot, a.pass(E, {a.hApp}, 2u, a.text, a.len)),
    ROW(GetPINInfo, App, kDot, a.pass(E, {a.hApp}, 2u, a.len, a.len + 1, &a.flag)),
    ROW(UnblockPIN, App, kDot, a.pass(E, {a.hApp}, a.name, a.text, a.len)),
    ROW_AS("CreateFileW", "SKF_CreateFile", KXF, CreateFile, App, kDot, "fileName:n1,size:7",
           a.pass(E, {a.hApp}, a.name, 7u, 0x11u, 0x22u)),
    ROW_AS("DeleteFileW", "SKF_DeleteFile", KXF, DeleteFile, App, kDot, "szFileName:n1", a.pass(E, {a.hApp}, a.name)),
    ROW(EnumFiles, App, kDot, a.pass(E, {a.hApp}, as<char>(a.out), a.len)),
    ROW(ReadFile, App, kDot, a.pass(E, {a.hApp}, a.name, 3u, 9u, a.out, a.len)),
    ROW_AS("WriteFile", "SKF_WriteFile", KXF, WriteFile, App, kDot, "fileName:n1,size:9",
           a.pass(E, {a.hApp}, a.name, 3u, a.in, 9u)),
    ROW(CreateContainer, App, kDot, a.pass(E, {a.hApp}, a.name, &a.handleOut)),
    ROW(DeleteContainer, App, kDot, a.pass(E, {a.hApp}, a.name)),
    ROW(EnumContainer, App, kDot, a.pass(E, {a.hApp}, as<char>(a.out), a.len)),
    ROW(OpenContainer, App, kDot, a.pass(E, {a.hApp}, a.name, &a.handleOut)),
    ROW(CloseContainer, AppOnly, kDot, a.pass(E, {}, a.obj)),
    ROW(GetContainerType, AppOnly, kDot, a.pass(E, {}, a.obj, a.len)),
    ROW(ImportCertificate, AppObject, kDot, a.pass(E, {}, a.obj, int32_t{2}, a.in, 9u)),
    ROW(ExportCertificate, AppObject, kDot, a.pass(E, {}, a.obj, int32_t{2}, a.out, a.len)),
    ROW(GenRSAKeyPair, AppObject, kDot, a.expect(a.obj, 2048u, kOwn),
        E(a.dev, a.obj, 2048u, as<RSAPUBLICKEYBLOB>(a.out), a.len)),
    ROW(ImportRSAKeyPair, AppObject, kDot, a.pass(E, {}, a.obj, 0x401u, a.in, 9u, a.in2, 11u)),
    ROW(RSASignData, AppObject, kDot, a.pass(E, {}, a.obj, a.in, 9u, a.out, a.len)),
    ROW(RSAVerify, Dev, kDot, a.expect(a.hDev, a.in, a.in2, 9u, a.out, 11u),
        E(a.dev, as<RSAPUBLICKEYBLOB>(a.in), 268u, a.in2, 9u, a.out, 11u)),
    ROW(GenECCKeyPair, AppObject, kDot, a.expect(a.obj, 0x20100u, kOwn),
        E(a.dev, a.obj, 0x20100u, as<ECCPUBLICKEYBLOB>(a.out), a.len)),
    ROW(ImportECCKeyPair, AppObject, kDot, a.expect(a.obj, a.in),
        E(a.dev, a.obj, as<ENVELOPEDKEYBLOB>(a.in), 388u)),
    ROW(ECCSignData, AppObject, kDot, a.expect(a.obj, a.in, 9u, kOwn),
        E(a.dev, a.obj, a.in, 9u, as<ECCSIGNATUREBLOB>(a.out), a.len)),
    ROW(ECCVerify, Dev, kDot, a.expect(a.hDev, a.in, a.in2, 9u, a.out),
        E(a.dev, as<ECCPUBLICKEYBLOB>(a.in), 132u, a.in2, 9u, as<ECCSIGNATUREBLOB>(a.out), 128u)),
    ROW(ExportPublicKey, DevObject, kDot, a.expect(a.obj, 1u, a.out, a.len), E(a.dev, a.obj, int32_t{7}, a.out, a.len)),
    ROW(ECCExportSessionKey, AppObject, kDot, a.expect(a.obj, 0x401u, a.in, kOwn, &a.handleOut),
        E(a.dev, a.obj, 0x401u, as<ECCPUBLICKEYBLOB>(a.in), 132u, a.out, a.len, &a.handleOut)),
    ROW(ImportSessionKey, DevObject, kDot, a.pass(E, {}, a.obj, 0x401u, a.in, 9u, &a.handleOut)),
    // The parameter block travels by value; the mock's log reads such an argument as 0.
    ROW(EncryptInit, DevObject, nullptr, a.expect(a.obj, 0u), E(a.dev, a.obj, as<BLOCKCIPHERPARAM>(a.in), 44u)),
    ROW(Encrypt, DevObject, kDot, a.pass(E, {}, a.obj, a.in, 9u, a.out, a.len)),
    ROW(EncryptUpdate, DevObject, kDot, a.pass(E, {}, a.obj, a.in, 9u, a.out, a.len)),
    ROW(EncryptFinal, DevObject, kDot, a.pass(E, {}, a.obj, a.out, a.len)),
    ROW(DecryptInit, DevObject, kDot, a.expect(a.obj, 0u), E(a.dev, a.obj, as<BLOCKCIPHERPARAM>(a.in), 44u)),
    ROW(Decrypt, DevObject, kDot, a.pass(E, {}, a.obj, a.in, 9u, a.out, a.len)),
    ROW(DecryptUpdate, DevObject, kDot, a.pass(E, {}, a.obj, a.in, 9u, a.out, a.len)),
    ROW(DecryptFinal, DevObject, kDot, a.pass(E, {}, a.obj, a.out, a.len)),
    ROW(DigestInit, Dev, kDot, a.expect(a.hDev, 1u, kOwn, a.in2, 9u, &a.handleOut),
        E(a.dev, 1u, as<ECCPUBLICKEYBLOB>(a.in), 132u, a.in2, 9u, &a.handleOut)),
    ROW(Digest, Dev, kDot, a.pass(E, {}, a.obj, a.in, 9u, a.out, a.len)),
    ROW(DigestUpdate, Dev, kDot, a.pass(E, {}, a.obj, a.in, 9u)),
    ROW(DigestFinal, Dev, kDot, a.pass(E, {}, a.obj, a.out, a.len)),
    // The parameter length is not read: 0 still passes the host's block.
    ROW(MacInit, Dev, kDot, a.expect(a.obj, a.in, &a.handleOut),
        E(a.dev, a.obj, as<BLOCKCIPHERPARAM>(a.in), 0u, &a.handleOut)),
    ROW(Mac, Dev, kDot, a.pass(E, {}, a.obj, a.in, 9u, a.out, a.len)),
    ROW(MacUpdate, Dev, kDot, a.pass(E, {}, a.obj, a.in, 9u)),
    ROW(MacFinal, Dev, kDot, a.pass(E, {}, a.obj, a.out, a.len)),
    ROW(CloseHandle, Dev, kDot, a.pass(E, {}, a.obj)),
    EPS_ROW(ImportSymmKey, Dev, a.pass(E, {}, a.eps[0], a.eps[1], a.eps[2], a.eps[3], a.eps[4])),
    EPS_ROW(WriteESealData, App, a.pass(E, {a.hApp}, a.eps[0], a.eps[1], a.eps[2])),
    EPS_ROW(ReadESealData, App, a.pass(E, {a.hApp}, a.eps[0], a.eps[1], a.eps[2], a.eps[3], a.eps[4])),
};
// clang-format on

// Every row traced and untraced: without a callback the same answers come back and no line is made.
class PassThrough : public GenericAdaptor, public ::testing::WithParamInterface<std::tuple<Row, bool>> {
protected:
    PassThrough() { traced_ = std::get<1>(GetParam()); }

    // A fresh host argument block aimed at one of the three instances, with the logs emptied.
    Args args(uint32_t dev, void *obj)
    {
        reset();
        if (dev == full_)
            return {table_, dev, obj, kFullDev, kFullApp};
        return {table_, dev, obj, dev == bare_ ? kBareDev : 0};
    }

    Lines expectedLines(std::initializer_list<const char *> tail) const
    {
        if (!traced_)
            return {};
        Lines lines{"start"};
        for (const char *t : tail)
            if (t)
                lines.emplace_back(t);
        return lines;
    }
};

TEST_P(PassThrough, ChecksEntryThenHandleThenForwards)
{
    const Row &row = std::get<0>(GetParam());
    const Needs needs = row.needs;

    const bool app = needs == Needs::App || needs == Needs::AppOnly || needs == Needs::AppObject;

    // A missing handle is answered before the vendor sees anything.
    std::vector<std::pair<uint32_t, void *>> missing{{app ? bare_ : gone_, kObject}}; // instance, object
    if (needs == Needs::AppObject || needs == Needs::DevObject)
        missing.push_back({full_, nullptr});
    for (const auto &[dev, obj] : missing) {
        Args a = args(dev, obj);
        const bool refresh = needs == Needs::Refresh;
        EXPECT_EQ(row.run(a), refresh ? SAR_FAIL : SAR_INVALIDHANDLEERR) << dev;
        const bool itemised = std::string(row.operation) == "ImportECCKeyPair";
        EXPECT_EQ(
            messages(row.operation),
            expectedLines({row.formatted, itemised && dev != full_ ? "end.m_hApp is NULL" : nullptr,
                           itemised && !obj ? "end.hContainer is NULL" : nullptr, refresh ? "end" : row.invalidHandle}))
            << dev;
        EXPECT_TRUE(mock().log.empty()) << dev;
    }

    // The vendor gets the host's arguments in order and its code comes back unchanged.
    const bool objectUntested = needs == Needs::AppOnly || needs == Needs::Dev;
    mock().forceAlways(row.vendor, kVendorCode);
    for (void *obj : {kObject, static_cast<void *>(nullptr)}) {
        if (!obj && !objectUntested)
            break;
        Args a = args(app ? full_ : bare_, obj);
        EXPECT_EQ(row.run(a), kVendorCode);
        ASSERT_EQ(mock().calledNames(), Lines{row.vendor});
        // A copy the adaptor made reads as kOwn: not null, and not inside the host's block.
        Words got = mock().log.front().args;
        for (size_t i = 0; i < got.size() && i < a.expected.size(); ++i)
            if (a.expected[i] == kOwn && got[i] && (got[i] < word(&a) || got[i] >= word(&a + 1)))
                got[i] = kOwn;
        EXPECT_EQ(got, a.expected);
        const Lines lines = messages(row.operation);
        const Lines ends = lines.empty() ? Lines{} : Lines{lines.front(), lines.back()};
        EXPECT_EQ(ends, expectedLines({"end"}));
    }
    mock().always.clear();

    // With the library released the entry test comes first, whatever is open.
    ASSERT_EQ(KXF(Uinit_SDK)(), SAR_OK);
    for (uint32_t dev : {full_, bare_, gone_}) {
        Args a = args(dev, kObject);
        EXPECT_EQ(row.run(a), KX_NOTEXPORTERR) << dev;
        EXPECT_EQ(messages(row.operation), expectedLines({row.formatted, "end.KX_NOTEXPORTERR"})) << dev;
        EXPECT_TRUE(mock().log.empty()) << dev;
    }
}

INSTANTIATE_TEST_SUITE_P(Generic, PassThrough, ::testing::Combine(::testing::ValuesIn(kRows), ::testing::Bool()),
                         [](const auto &p) {
                             return std::get<0>(p.param).operation +
                                    std::string(std::get<1>(p.param) ? "" : "Untraced");
                         });

} // namespace
} // namespace ukeytest
