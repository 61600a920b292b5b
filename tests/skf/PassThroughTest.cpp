// Every guarded pass-through of the generic adaptor: the entry test, the handle test and the
// forwarding of the host's arguments, one table row per operation.
#include <ostream>

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
    char name[8] = "n1";
    char text[8] = "t2";
    alignas(8) uint8_t in[400] = {};
    alignas(8) uint8_t in2[400] = {};
    alignas(8) uint8_t out[400] = {};
    uint32_t len[3] = {};
    int32_t flag = 0;
    void *handleOut = nullptr;
    uintptr_t eps[5] = {0xE1, 0xE2, 0xE3, 0xE4, 0xE5};
    Words expected;

    template <int Index, class Pfn, class... A>
    uint32_t call(A... a)
    {
        return reinterpret_cast<Pfn>(table[Index])(dev, a...);
    }
    // The vendor gets prefix, then the host's arguments unchanged.
    template <int Index, class Pfn, class... A>
    uint32_t pass(Words prefix, A... a)
    {
        expected = prefix;
        (expected.push_back(word(a)), ...);
        return call<Index, Pfn>(a...);
    }
    template <class... A>
    void expect(A... a)
    {
        expected = {word(a)...};
    }
    bool isHostMemory(uint64_t w) const { return w >= word(this) && w < word(this + 1); }
};

#define KX(name) KXF_IDX_##name, PFN_KXF_##name
#define EPS(name) KXEPS_IDX_##name, PFN_KXEPS_##name

struct Row {
    const char *operation;
    const char *vendor;
    Needs needs;
    const char *invalidHandle; // the message, or null for none
    const char *formatted;     // the line after "start" on every path, or null
    uint32_t (*run)(Args &);
};

void PrintTo(const Row &row, std::ostream *os)
{
    *os << row.operation;
}

constexpr const char *kDot = "end.SAR_INVALIDHANDLEERR";
constexpr const char *kBlank = "end SAR_INVALIDHANDLEERR";

template <class T>
T *as(uint8_t *p)
{
    return reinterpret_cast<T *>(p);
}

// clang-format off
const Row kRows[] = {
    {"GetKeyTotalSpace", "SKF_GetDevInfo", Needs::Refresh, nullptr, nullptr, [](Args &a) {
        a.expect(a.hDev, kOwn); return a.call<KX(GetTotalSpace)>(a.len); }},
    {"GetKeyFreeSpace", "SKF_GetDevInfo", Needs::Refresh, nullptr, nullptr, [](Args &a) {
        a.expect(a.hDev, kOwn); return a.call<KX(GetFreeSpace)>(a.len); }},
    {"SetLabel", "SKF_SetLabel", Needs::App, kBlank, nullptr, [](Args &a) {
        a.expect(a.hDev, a.text); return a.call<KX(SetLabel)>(a.text); }},
    {"ChangePIN", "SKF_ChangePIN", Needs::App, kBlank, nullptr, [](Args &a) {
        return a.pass<KX(ChangePIN)>({a.hApp}, 2u, a.name, a.text, a.len); }},
    {"VerifyPIN", "SKF_VerifyPIN", Needs::App, kDot, nullptr, [](Args &a) {
        return a.pass<KX(VerifyPIN)>({a.hApp}, 2u, a.text, a.len); }},
    {"GetPINInfo", "SKF_GetPINInfo", Needs::App, kDot, nullptr, [](Args &a) {
        return a.pass<KX(GetPINInfo)>({a.hApp}, 2u, a.len, a.len + 1, &a.flag); }},
    {"UnblockPIN", "SKF_UnblockPIN", Needs::App, kDot, nullptr, [](Args &a) {
        return a.pass<KX(UnblockPIN)>({a.hApp}, a.name, a.text, a.len); }},
    {"CreateFileW", "SKF_CreateFile", Needs::App, kDot, "fileName:n1,size:7", [](Args &a) {
        return a.pass<KX(CreateFile)>({a.hApp}, a.name, 7u, 0x11u, 0x22u); }},
    {"DeleteFileW", "SKF_DeleteFile", Needs::App, kDot, "szFileName:n1", [](Args &a) {
        return a.pass<KX(DeleteFile)>({a.hApp}, a.name); }},
    {"EnumFiles", "SKF_EnumFiles", Needs::App, kDot, nullptr, [](Args &a) {
        return a.pass<KX(EnumFiles)>({a.hApp}, as<char>(a.out), a.len); }},
    {"ReadFile", "SKF_ReadFile", Needs::App, kDot, nullptr, [](Args &a) {
        return a.pass<KX(ReadFile)>({a.hApp}, a.name, 3u, 9u, a.out, a.len); }},
    {"WriteFile", "SKF_WriteFile", Needs::App, kDot, "fileName:n1,size:9", [](Args &a) {
        return a.pass<KX(WriteFile)>({a.hApp}, a.name, 3u, a.in, 9u); }},
    {"CreateContainer", "SKF_CreateContainer", Needs::App, kDot, nullptr, [](Args &a) {
        return a.pass<KX(CreateContainer)>({a.hApp}, a.name, &a.handleOut); }},
    {"DeleteContainer", "SKF_DeleteContainer", Needs::App, kDot, nullptr, [](Args &a) {
        return a.pass<KX(DeleteContainer)>({a.hApp}, a.name); }},
    {"EnumContainer", "SKF_EnumContainer", Needs::App, kDot, nullptr, [](Args &a) {
        return a.pass<KX(EnumContainer)>({a.hApp}, as<char>(a.out), a.len); }},
    {"OpenContainer", "SKF_OpenContainer", Needs::App, kDot, nullptr, [](Args &a) {
        return a.pass<KX(OpenContainer)>({a.hApp}, a.name, &a.handleOut); }},
    {"CloseContainer", "SKF_CloseContainer", Needs::AppOnly, kDot, nullptr, [](Args &a) {
        return a.pass<KX(CloseContainer)>({}, a.obj); }},
    {"GetContainerType", "SKF_GetContainerType", Needs::AppOnly, kDot, nullptr, [](Args &a) {
        return a.pass<KX(GetContainerType)>({}, a.obj, a.len); }},
    {"ImportCertificate", "SKF_ImportCertificate", Needs::AppObject, kDot, nullptr, [](Args &a) {
        return a.pass<KX(ImportCertificate)>({}, a.obj, int32_t{2}, a.in, 9u); }},
    {"ExportCertificate", "SKF_ExportCertificate", Needs::AppObject, kDot, nullptr, [](Args &a) {
        return a.pass<KX(ExportCertificate)>({}, a.obj, int32_t{2}, a.out, a.len); }},
    {"GenRSAKeyPair", "SKF_GenRSAKeyPair", Needs::AppObject, kDot, nullptr, [](Args &a) {
        a.expect(a.obj, 2048u, kOwn);
        return a.call<KX(GenRSAKeyPair)>(a.obj, 2048u, as<RSAPUBLICKEYBLOB>(a.out), a.len); }},
    {"ImportRSAKeyPair", "SKF_ImportRSAKeyPair", Needs::AppObject, kDot, nullptr, [](Args &a) {
        return a.pass<KX(ImportRSAKeyPair)>({}, a.obj, 0x401u, a.in, 9u, a.in2, 11u); }},
    {"RSASignData", "SKF_RSASignData", Needs::AppObject, kDot, nullptr, [](Args &a) {
        return a.pass<KX(RSASignData)>({}, a.obj, a.in, 9u, a.out, a.len); }},
    {"RSAVerify", "SKF_RSAVerify", Needs::Dev, kDot, nullptr, [](Args &a) {
        a.expect(a.hDev, a.in, a.in2, 9u, a.out, 11u);
        return a.call<KX(RSAVerify)>(as<RSAPUBLICKEYBLOB>(a.in), 268u, a.in2, 9u, a.out, 11u); }},
    {"GenECCKeyPair", "SKF_GenECCKeyPair", Needs::AppObject, kDot, nullptr, [](Args &a) {
        a.expect(a.obj, 0x20100u, kOwn);
        return a.call<KX(GenECCKeyPair)>(a.obj, 0x20100u, as<ECCPUBLICKEYBLOB>(a.out), a.len); }},
    {"ImportECCKeyPair", "SKF_ImportECCKeyPair", Needs::AppObject, kDot, nullptr, [](Args &a) {
        a.expect(a.obj, a.in); return a.call<KX(ImportECCKeyPair)>(a.obj, as<ENVELOPEDKEYBLOB>(a.in), 388u); }},
    {"ECCSignData", "SKF_ECCSignData", Needs::AppObject, kDot, nullptr, [](Args &a) {
        a.expect(a.obj, a.in, 9u, kOwn);
        return a.call<KX(ECCSignData)>(a.obj, a.in, 9u, as<ECCSIGNATUREBLOB>(a.out), a.len); }},
    {"ECCVerify", "SKF_ECCVerify", Needs::Dev, kDot, nullptr, [](Args &a) {
        a.expect(a.hDev, a.in, a.in2, 9u, a.out);
        return a.call<KX(ECCVerify)>(as<ECCPUBLICKEYBLOB>(a.in), 132u, a.in2, 9u, as<ECCSIGNATUREBLOB>(a.out),
                                     128u); }},
    {"ExportPublicKey", "SKF_ExportPublicKey", Needs::DevObject, kDot, nullptr, [](Args &a) {
        a.expect(a.obj, 1u, a.out, a.len); return a.call<KX(ExportPublicKey)>(a.obj, int32_t{7}, a.out, a.len); }},
    {"ECCExportSessionKey", "SKF_ECCExportSessionKey", Needs::AppObject, kDot, nullptr, [](Args &a) {
        a.expect(a.obj, 0x401u, a.in, kOwn, &a.handleOut);
        return a.call<KX(ECCExportSessionKey)>(a.obj, 0x401u, as<ECCPUBLICKEYBLOB>(a.in), 132u, a.out, a.len,
                                               &a.handleOut); }},
    {"ImportSessionKey", "SKF_ImportSessionKey", Needs::DevObject, kDot, nullptr, [](Args &a) {
        return a.pass<KX(ImportSessionKey)>({}, a.obj, 0x401u, a.in, 9u, &a.handleOut); }},
    // The parameter block travels by value; the mock's log reads such an argument as 0.
    {"EncryptInit", "SKF_EncryptInit", Needs::DevObject, nullptr, nullptr, [](Args &a) {
        a.expect(a.obj, 0u); return a.call<KX(EncryptInit)>(a.obj, as<BLOCKCIPHERPARAM>(a.in), 44u); }},
    {"Encrypt", "SKF_Encrypt", Needs::DevObject, kDot, nullptr, [](Args &a) {
        return a.pass<KX(Encrypt)>({}, a.obj, a.in, 9u, a.out, a.len); }},
    {"EncryptUpdate", "SKF_EncryptUpdate", Needs::DevObject, kDot, nullptr, [](Args &a) {
        return a.pass<KX(EncryptUpdate)>({}, a.obj, a.in, 9u, a.out, a.len); }},
    {"EncryptFinal", "SKF_EncryptFinal", Needs::DevObject, kDot, nullptr, [](Args &a) {
        return a.pass<KX(EncryptFinal)>({}, a.obj, a.out, a.len); }},
    {"DecryptInit", "SKF_DecryptInit", Needs::DevObject, kDot, nullptr, [](Args &a) {
        a.expect(a.obj, 0u); return a.call<KX(DecryptInit)>(a.obj, as<BLOCKCIPHERPARAM>(a.in), 44u); }},
    {"Decrypt", "SKF_Decrypt", Needs::DevObject, kDot, nullptr, [](Args &a) {
        return a.pass<KX(Decrypt)>({}, a.obj, a.in, 9u, a.out, a.len); }},
    {"DecryptUpdate", "SKF_DecryptUpdate", Needs::DevObject, kDot, nullptr, [](Args &a) {
        return a.pass<KX(DecryptUpdate)>({}, a.obj, a.in, 9u, a.out, a.len); }},
    {"DecryptFinal", "SKF_DecryptFinal", Needs::DevObject, kDot, nullptr, [](Args &a) {
        return a.pass<KX(DecryptFinal)>({}, a.obj, a.out, a.len); }},
    {"DigestInit", "SKF_DigestInit", Needs::Dev, kDot, nullptr, [](Args &a) {
        a.expect(a.hDev, 1u, kOwn, a.in2, 9u, &a.handleOut);
        return a.call<KX(DigestInit)>(1u, as<ECCPUBLICKEYBLOB>(a.in), 132u, a.in2, 9u, &a.handleOut); }},
    {"Digest", "SKF_Digest", Needs::Dev, kDot, nullptr, [](Args &a) {
        return a.pass<KX(Digest)>({}, a.obj, a.in, 9u, a.out, a.len); }},
    {"DigestUpdate", "SKF_DigestUpdate", Needs::Dev, kDot, nullptr, [](Args &a) {
        return a.pass<KX(DigestUpdate)>({}, a.obj, a.in, 9u); }},
    {"DigestFinal", "SKF_DigestFinal", Needs::Dev, kDot, nullptr, [](Args &a) {
        return a.pass<KX(DigestFinal)>({}, a.obj, a.out, a.len); }},
    // The parameter length is not read: 0 still passes the host's block.
    {"MacInit", "SKF_MacInit", Needs::Dev, kDot, nullptr, [](Args &a) {
        a.expect(a.obj, a.in, &a.handleOut);
        return a.call<KX(MacInit)>(a.obj, as<BLOCKCIPHERPARAM>(a.in), 0u, &a.handleOut); }},
    {"Mac", "SKF_Mac", Needs::Dev, kDot, nullptr, [](Args &a) {
        return a.pass<KX(Mac)>({}, a.obj, a.in, 9u, a.out, a.len); }},
    {"MacUpdate", "SKF_MacUpdate", Needs::Dev, kDot, nullptr, [](Args &a) {
        return a.pass<KX(MacUpdate)>({}, a.obj, a.in, 9u); }},
    {"MacFinal", "SKF_MacFinal", Needs::Dev, kDot, nullptr, [](Args &a) {
        return a.pass<KX(MacFinal)>({}, a.obj, a.out, a.len); }},
    {"CloseHandle", "SKF_CloseHandle", Needs::Dev, kDot, nullptr, [](Args &a) {
        return a.pass<KX(CloseHandle)>({}, a.obj); }},
    {"EPS_ImportSymmKey", "EPS_ImportSymmKey", Needs::Dev, kDot, nullptr, [](Args &a) {
        return a.pass<EPS(ImportSymmKey)>({}, a.eps[0], a.eps[1], a.eps[2], a.eps[3], a.eps[4]); }},
    {"EPS_WriteESealData", "EPS_WriteESealData", Needs::App, kDot, nullptr, [](Args &a) {
        return a.pass<EPS(WriteESealData)>({a.hApp}, a.eps[0], a.eps[1], a.eps[2]); }},
    {"EPS_ReadESealData", "EPS_ReadESealData", Needs::App, kDot, nullptr, [](Args &a) {
        return a.pass<EPS(ReadESealData)>({a.hApp}, a.eps[0], a.eps[1], a.eps[2], a.eps[3], a.eps[4]); }},
};
// clang-format on

class PassThrough : public GenericAdaptor, public ::testing::WithParamInterface<Row> {
protected:
    // A fresh host argument block aimed at one of the three instances.
    Args args(uint32_t dev, void *obj) const
    {
        Args a;
        a.table = table_;
        a.dev = dev;
        a.obj = obj;
        if (dev == full_) {
            a.hDev = kFullDev;
            a.hApp = kFullApp;
        } else if (dev == bare_) {
            a.hDev = kBareDev;
        }
        return a;
    }

    Lines expectedLines(std::initializer_list<const char *> tail) const
    {
        Lines lines{"start"};
        if (GetParam().formatted)
            lines.emplace_back(GetParam().formatted);
        for (const char *t : tail)
            if (t)
                lines.emplace_back(t);
        return lines;
    }
};

void *const kObject = reinterpret_cast<void *>(uintptr_t{0xC0DE});

TEST_P(PassThrough, ChecksEntryThenHandleThenForwards)
{
    const Row &row = GetParam();
    const Needs needs = row.needs;

    // A missing handle is answered before the vendor sees anything.
    struct Missing {
        uint32_t dev;
        void *obj;
    };
    std::vector<Missing> missing;
    if (needs == Needs::App || needs == Needs::AppOnly || needs == Needs::AppObject)
        missing.push_back({bare_, kObject});
    if (needs == Needs::Dev || needs == Needs::DevObject || needs == Needs::Refresh)
        missing.push_back({gone_, kObject});
    if (needs == Needs::AppObject || needs == Needs::DevObject)
        missing.push_back({full_, nullptr});
    for (const auto &m : missing) {
        Args a = args(m.dev, m.obj);
        reset();
        const bool refresh = needs == Needs::Refresh;
        EXPECT_EQ(row.run(a), refresh ? SAR_FAIL : SAR_INVALIDHANDLEERR) << m.dev;
        const bool noApp = m.dev != full_;
        const bool itemised = std::string(row.operation) == "ImportECCKeyPair";
        EXPECT_EQ(messages(row.operation), expectedLines({itemised && noApp ? "end.m_hApp is NULL" : nullptr,
                                                          itemised && !m.obj ? "end.hContainer is NULL" : nullptr,
                                                          refresh ? "end" : row.invalidHandle}))
            << m.dev;
        EXPECT_TRUE(mock().log.empty()) << m.dev;
    }

    // The vendor gets the host's arguments in order and its code comes back unchanged.
    const bool app = needs == Needs::App || needs == Needs::AppOnly || needs == Needs::AppObject;
    const bool objectUntested = needs == Needs::AppOnly || needs == Needs::Dev;
    mock().forceAlways(row.vendor, kVendorCode);
    for (void *obj : {kObject, static_cast<void *>(nullptr)}) {
        if (!obj && !objectUntested)
            break;
        Args a = args(app ? full_ : bare_, obj);
        reset();
        EXPECT_EQ(row.run(a), kVendorCode);
        ASSERT_EQ(mock().calledNames(), Lines{row.vendor});
        const Words &got = mock().log.front().args;
        ASSERT_EQ(got.size(), a.expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            if (a.expected[i] == kOwn) {
                EXPECT_NE(got[i], 0u) << "argument " << i;
                EXPECT_FALSE(a.isHostMemory(got[i])) << "argument " << i << " should be the adaptor's copy";
            } else {
                EXPECT_EQ(got[i], a.expected[i]) << "argument " << i;
            }
        }
        const Lines lines = messages(row.operation);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), "start");
        EXPECT_EQ(lines.back(), "end");
    }
    mock().always.clear();

    // With the library released the entry test comes first, whatever is open.
    ASSERT_EQ(KXF(Uinit_SDK)(), SAR_OK);
    for (uint32_t dev : {full_, bare_, gone_}) {
        Args a = args(dev, kObject);
        reset();
        EXPECT_EQ(row.run(a), KX_NOTEXPORTERR) << dev;
        EXPECT_EQ(messages(row.operation), expectedLines({"end.KX_NOTEXPORTERR"})) << dev;
        EXPECT_TRUE(mock().log.empty()) << dev;
    }
}

INSTANTIATE_TEST_SUITE_P(Generic, PassThrough, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row> &p) { return std::string(p.param.operation); });

} // namespace
} // namespace ukeytest
