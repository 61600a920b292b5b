// "skf_szca_ft3003" end to end through the host table, with a SoftHSM2 token behind the mock's
// SKF functions. Every test process makes its own token.
#include <dlfcn.h>
#include <p11-kit/pkcs11.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "SoftHsmForwarder.h"
#include "SoftHsmLocation.h"
#include "support/HostFixture.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr char kType[] = "skf_szca_ft3003";
constexpr char kDevice[] = "MockDev1";
constexpr char kUserPin[] = "123456"; // the mock application's user PIN as well
constexpr char kConnectDev[] = "UKeyAdaptorSKF_SZCA_RSA::ConnectDev";
constexpr uint32_t kUntouched = 0x1234;
constexpr uint8_t kFill = 0xEE;

const Bytes kSessionKey = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                           0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

struct Token {
    bool found = false;
    std::string error; // the set-up step that failed
    CK_FUNCTION_LIST *hsm = nullptr;
    std::string serial;
    Bytes wrapped; // kSessionKey under the key pair that may decrypt, RSA PKCS#1 v1.5
    std::vector<std::string> seals;
};

struct WorkDir {
    fs::path path = fs::path(SOFTHSM_WORK_DIR) / ("p" + std::to_string(::getpid()));
    ~WorkDir()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

#define CK_STEP(call)                                                                                                  \
    do {                                                                                                               \
        if (const CK_RV rv_ = (call); rv_ != CKR_OK) {                                                                 \
            t.error = #call " -> " + std::to_string(rv_);                                                              \
            return t;                                                                                                  \
        }                                                                                                              \
    } while (0)

CK_UTF8CHAR *utf8(std::string &s)
{
    return reinterpret_cast<CK_UTF8CHAR *>(s.data());
}

// A token "szca" with user PIN kUserPin, a signing-only and a decrypting RSA key pair, and
// three private data objects holding seal bytes.
Token prepareToken(const fs::path &dir)
{
    Token t;
    const std::string module = softHsmLibraryPath();
    if (!(t.found = !module.empty()))
        return t;
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir / "tokens", ec);
    std::ofstream(dir / "softhsm2.conf") << "directories.tokendir = " << (dir / "tokens").string()
                                         << "\nobjectstore.backend = file\nlog.level = ERROR\n";
    ::setenv("SOFTHSM2_CONF", (dir / "softhsm2.conf").c_str(), 1);
    void *lib = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto getList = lib ? reinterpret_cast<CK_C_GetFunctionList>(dlsym(lib, "C_GetFunctionList")) : nullptr;
    if (!getList) {
        t.error = module + " does not load";
        return t;
    }
    CK_STEP(getList(&t.hsm));
    CK_FUNCTION_LIST *f = t.hsm;
    std::string so = "12345678", user = kUserPin, label = "szca", object = "seal";
    label.resize(32, ' ');
    CK_SLOT_ID slot = 0;
    CK_ULONG count = 1;
    CK_STEP(f->C_Initialize(nullptr));
    CK_STEP(f->C_GetSlotList(CK_FALSE, &slot, &count));
    CK_STEP(f->C_InitToken(slot, utf8(so), so.size(), utf8(label)));
    // The initialised token shows up in a slot of its own after a restart.
    CK_STEP(f->C_Finalize(nullptr));
    CK_STEP(f->C_Initialize(nullptr));
    CK_STEP(f->C_GetSlotList(CK_TRUE, nullptr, &count));
    std::vector<CK_SLOT_ID> slots(count);
    CK_STEP(f->C_GetSlotList(CK_TRUE, slots.data(), &count));
    CK_TOKEN_INFO info{};
    for (CK_SLOT_ID s : slots) {
        if (f->C_GetTokenInfo(s, &info) == CKR_OK && (info.flags & CKF_TOKEN_INITIALIZED)) {
            slot = s;
            t.serial.assign(reinterpret_cast<const char *>(info.serialNumber), sizeof info.serialNumber);
        }
    }
    CK_SESSION_HANDLE s = 0;
    CK_STEP(f->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &s));
    CK_STEP(f->C_Login(s, CKU_SO, utf8(so), so.size()));
    CK_STEP(f->C_InitPIN(s, utf8(user), user.size()));
    CK_STEP(f->C_Logout(s));
    CK_STEP(f->C_Login(s, CKU_USER, utf8(user), user.size()));
    CK_OBJECT_HANDLE pub = 0, priv = 0;
    for (CK_BBOOL decrypt = CK_FALSE; decrypt <= CK_TRUE; ++decrypt) {
        CK_MECHANISM generate{CKM_RSA_PKCS_KEY_PAIR_GEN, nullptr, 0};
        CK_ULONG bits = 1024;
        CK_BYTE e[] = {1, 0, 1};
        CK_BBOOL yes = CK_TRUE;
        CK_ATTRIBUTE pubT[] = {{CKA_TOKEN, &yes, 1},
                               {CKA_ENCRYPT, &yes, 1},
                               {CKA_MODULUS_BITS, &bits, sizeof bits},
                               {CKA_PUBLIC_EXPONENT, e, sizeof e}};
        CK_ATTRIBUTE privT[] = {
            {CKA_TOKEN, &yes, 1}, {CKA_PRIVATE, &yes, 1}, {CKA_SIGN, &yes, 1}, {CKA_DECRYPT, &decrypt, 1}};
        CK_STEP(f->C_GenerateKeyPair(s, &generate, pubT, 4, privT, 4, &pub, &priv));
    }
    CK_MECHANISM pkcs1{CKM_RSA_PKCS, nullptr, 0};
    Bytes plain = kSessionKey;
    CK_ULONG wrappedLen = 512;
    t.wrapped.resize(wrappedLen);
    CK_STEP(f->C_EncryptInit(s, &pkcs1, pub));
    CK_STEP(f->C_Encrypt(s, plain.data(), plain.size(), t.wrapped.data(), &wrappedLen));
    t.wrapped.resize(wrappedLen);
    // Bytes a user-data image would trim or split stay whole here.
    t.seals = {"first seal", std::string("\0\xFF@@@@two\xFF", 10), std::string(600, '\xA5')};
    for (std::string &seal : t.seals) {
        CK_OBJECT_CLASS data = CKO_DATA;
        CK_BBOOL yes = CK_TRUE;
        CK_ATTRIBUTE tmpl[] = {{CKA_CLASS, &data, sizeof data},
                               {CKA_TOKEN, &yes, 1},
                               {CKA_PRIVATE, &yes, 1},
                               {CKA_LABEL, object.data(), object.size()},
                               {CKA_VALUE, seal.data(), seal.size()}};
        CK_OBJECT_HANDLE h = 0;
        CK_STEP(f->C_CreateObject(s, tmpl, 5, &h));
    }
    CK_STEP(f->C_Logout(s));
    CK_STEP(f->C_CloseSession(s));
    CK_STEP(f->C_Finalize(nullptr));
    return t;
}

const Token &token()
{
    static WorkDir dir;
    static const Token t = prepareToken(dir.path);
    return t;
}

// The listing a host gets for n records.
std::string numberedList(size_t n)
{
    std::string list = n ? std::string("szca_rsa", 9) : "";
    for (size_t i = 1; i <= n; ++i)
        list += std::to_string(i) + '\0';
    return n ? list + '\0' : list;
}

class SzcaRsa : public ukeytest::HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        if (HasFatalFailure())
            return;
        if (!token().found)
            GTEST_SKIP() << "SoftHSM2 not found: install softhsm2, or set SOFTHSM2_MODULE to libsofthsm2.so";
        ASSERT_EQ(token().error, "");
        mock::State &m = mock(SZCA_VENDOR_PATH);
        m.reset();
        std::memcpy(m.dev().info.SerialNumber, token().serial.c_str(), token().serial.size() + 1);
        m.app().containers = {{"RSA", 1}, {"ECC", 2}};
        ASSERT_EQ(init(kType, SZCA_VENDOR_PATH), SAR_OK);
        initialised_ = true;
    }

    void TearDown() override
    {
        if (initialised_) {
            EXPECT_EQ(KXF(Uinit_SDK)(), SAR_OK);
        }
        HostFixture::TearDown();
    }

    // A control of the test vendor library, which mock() holds loaded.
    template <class Fn>
    Fn vendor(const char *name)
    {
        void *handle = dlopen(SZCA_VENDOR_PATH, RTLD_NOW | RTLD_NOLOAD);
        auto fn = handle ? reinterpret_cast<Fn>(dlsym(handle, name)) : nullptr;
        if (handle)
            dlclose(handle);
        if (!fn)
            throw std::runtime_error(std::string("no ") + name + " in the test vendor library");
        return fn;
    }
    int openSessions() { return vendor<decltype(&p11fwd_openSessions)>("p11fwd_openSessions")(); }

    uint32_t connectKey() { return connect(kDevice, &dev_); }
    uint32_t verifyPin(const char *pin)
    {
        uint32_t retry = 0;
        return KXF(VerifyPIN)(dev_, SKF_USER_TYPE, pin, &retry);
    }
    HCONTAINER container(const char *name)
    {
        HCONTAINER h = nullptr;
        EXPECT_EQ(KXF(OpenContainer)(dev_, name, &h), SAR_OK);
        return h;
    }

    uint32_t dev_ = 0;
    bool initialised_ = false;
};

TEST_F(SzcaRsa, ConnectOpensASessionOnTheTokenOfTheKeysSerialUntilDisconnect)
{
    ASSERT_EQ(connectKey(), SAR_OK);
    EXPECT_EQ(messagesAt(kConnectDev).back(), "End");
    EXPECT_EQ(openSessions(), 1);
    DEVINFO info{};
    uint32_t len = 0;
    EXPECT_EQ(KXF(GetDevInfo)(dev_, &info, &len), SAR_OK);
    EXPECT_STREQ(info.Manufacturer, "szca_ft3003");

    EXPECT_EQ(KXF(DisConnectDev)(dev_), SAR_OK);
    EXPECT_EQ(openSessions(), 0);
    EXPECT_EQ(KXF(Uinit_SDK)(), SAR_OK);
    initialised_ = false;
    CK_ULONG count = 0;
    EXPECT_EQ(token().hsm->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_CRYPTOKI_NOT_INITIALIZED) << "not finalised";
}

TEST_F(SzcaRsa, KeyWithoutAMatchingTokenFailsAndClosesWithEnd)
{
    mock(SZCA_VENDOR_PATH).dev().info.SerialNumber[0] ^= 1;
    EXPECT_EQ(connectKey(), SAR_FAIL);
    EXPECT_EQ(messagesAt(kConnectDev).back(), "End");
    EXPECT_EQ(openSessions(), 0);
}

struct UnwrapCase {
    const char *name;
    const char *pin; // given to VerifyPIN first unless null
    const char *container;
    uint32_t result;
    uint32_t keyHandle;
};

void PrintTo(const UnwrapCase &c, std::ostream *os)
{
    *os << c.name;
}

class SzcaRsaUnwrap : public SzcaRsa, public ::testing::WithParamInterface<UnwrapCase> {};

TEST_P(SzcaRsaUnwrap, SessionKeyComesBackInPlainOnlyAfterTheRightPin)
{
    const UnwrapCase &c = GetParam();
    ASSERT_EQ(connectKey(), SAR_OK);
    if (c.pin)
        verifyPin(c.pin);
    const Bytes &wrapped = token().wrapped;
    // Both search orders, so that the key which may not decrypt is met first in one of them.
    for (int reversed = 0; reversed < 2; ++reversed) {
        SCOPED_TRACE(reversed ? "reversed search" : "token's search order");
        vendor<decltype(&p11fwd_setReverseFind)>("p11fwd_setReverseFind")(reversed);
        Bytes plain(256, kFill);
        uint32_t plainLen = static_cast<uint32_t>(plain.size());
        uint32_t hKey = kUntouched;
        EXPECT_EQ(KXF(ImportSessionKeyWithKeyEx)(dev_, container(c.container), 0, wrapped.data(),
                                                 static_cast<uint32_t>(wrapped.size()), &hKey, plain.data(), &plainLen),
                  c.result);
        EXPECT_EQ(hKey, c.keyHandle);
        if (c.result == SAR_OK) {
            plain.resize(plainLen);
            EXPECT_EQ(plain, kSessionKey);
        } else {
            EXPECT_EQ(plain, Bytes(256, kFill));
        }
    }
    const auto pseudo = reinterpret_cast<SKF_HANDLE>(static_cast<uintptr_t>(KXF_PSEUDO_KEY_HANDLE));
    if (c.keyHandle == KXF_PSEUDO_KEY_HANDLE) {
        EXPECT_EQ(KXF(DecryptInit)(dev_, pseudo, nullptr, 0), SAR_OK);
    }
}

INSTANTIATE_TEST_SUITE_P(Pins, SzcaRsaUnwrap,
                         ::testing::Values(UnwrapCase{"NoPinYet", nullptr, "RSA", SAR_PIN_INCORRECT, kUntouched},
                                           UnwrapCase{"WrongPin", "654321", "RSA", SAR_PIN_INCORRECT, kUntouched},
                                           UnwrapCase{"RightPin", kUserPin, "RSA", SAR_OK, KXF_PSEUDO_KEY_HANDLE},
                                           UnwrapCase{"EccContainer", kUserPin, "ECC", 1, KXF_PSEUDO_KEY_HANDLE}),
                         [](const auto &param) { return param.param.name; });

// A wrapped key longer than the modulus, then a host buffer too small for the key.
TEST_F(SzcaRsa, TokenErrorComesBackUnchangedAndNothingIsWrittenPastTheStatedLength)
{
    ASSERT_EQ(connectKey(), SAR_OK);
    ASSERT_EQ(verifyPin(kUserPin), SAR_OK);
    for (const auto &[extraWrappedBytes, statedPlainLen] : {std::pair<size_t, uint32_t>{1, 256}, {0, 16}}) {
        Bytes wrapped = token().wrapped;
        wrapped.resize(wrapped.size() + extraWrappedBytes, 0x01);
        Bytes plain(512, kFill);
        uint32_t plainLen = statedPlainLen;
        uint32_t hKey = 0;
        const uint32_t result =
            KXF(ImportSessionKeyWithKeyEx)(dev_, container("RSA"), 0, wrapped.data(),
                                           static_cast<uint32_t>(wrapped.size()), &hKey, plain.data(), &plainLen);
        EXPECT_NE(result, SAR_OK) << statedPlainLen;
        EXPECT_EQ(result, vendor<decltype(&p11fwd_lastResult)>("p11fwd_lastResult")()) << "not the token's own code";
        EXPECT_TRUE(std::all_of(plain.begin() + statedPlainLen, plain.end(), [](uint8_t b) { return b == kFill; }));
    }
}

TEST_F(SzcaRsa, DataObjectsAreListedAndReadAsNumberedSealRecords)
{
    ASSERT_EQ(connectKey(), SAR_OK);
    ASSERT_EQ(verifyPin(kUserPin), SAR_OK);
    const size_t n = token().seals.size();
    uint32_t size = 0;
    ASSERT_EQ(KXF(EnumFiles)(dev_, nullptr, &size), SAR_OK);
    EXPECT_EQ(size, numberedList(n).size());
    // Size queries keep adding to the cache; a call with a buffer starts it afresh.
    ASSERT_EQ(KXF(EnumFiles)(dev_, nullptr, &size), SAR_OK);
    EXPECT_EQ(size, numberedList(2 * n).size());
    std::string list(size, '\x7F');
    ASSERT_EQ(KXF(EnumFiles)(dev_, list.data(), &size), SAR_OK);
    ASSERT_EQ(size, numberedList(n).size());
    EXPECT_EQ(list.substr(0, size), numberedList(n));
    EXPECT_EQ(list.substr(size), std::string(list.size() - size, '\x7F'));

    std::vector<std::string> read;
    for (size_t k = 1; k <= n; ++k) {
        const std::string name = std::to_string(k);
        uint32_t len = 0;
        ASSERT_EQ(KXF(ReadFile)(dev_, name.c_str(), 0, 0, nullptr, &len), SAR_OK);
        std::string value(len, '\0');
        ASSERT_EQ(KXF(ReadFile)(dev_, name.c_str(), 0, len, reinterpret_cast<uint8_t *>(value.data()), &len), SAR_OK);
        read.push_back(value);
    }
    std::vector<std::string> expected = token().seals;
    std::sort(read.begin(), read.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(read, expected);
}

TEST_F(SzcaRsa, AbsurdValueLengthStopsTheListingWithAPkcs11Error)
{
    ASSERT_EQ(connectKey(), SAR_OK);
    ASSERT_EQ(verifyPin(kUserPin), SAR_OK);
    vendor<decltype(&p11fwd_setAbsurdValueLength)>("p11fwd_setAbsurdValueLength")(1);
    uint32_t size = kUntouched;
    std::string list(64, '\x7F');
    EXPECT_EQ(KXF(EnumFiles)(dev_, list.data(), &size), CKR_HOST_MEMORY);
    EXPECT_EQ(size, kUntouched);
    EXPECT_EQ(list, std::string(64, '\x7F'));
}

// A library with SKF alone: the PKCS#11 parts answer without calling anything.
using SzcaRsaSkfOnly = ukeytest::HostFixture;

TEST_F(SzcaRsaSkfOnly, MissingPkcs11FunctionsAreNeverCalled)
{
    ASSERT_EQ(init(kType), SAR_OK);
    uint32_t dev = 0;
    EXPECT_EQ(connect(kDevice, &dev), KX_NOTEXPORTERR);
    EXPECT_EQ(messagesAt(kConnectDev), (std::vector<std::string>{"start", "end.KX_NOTEXPORTERR"}));
    EXPECT_EQ(mock().count("SKF_ConnectDev"), 0u);
    EXPECT_EQ(KXF(Uinit_SDK)(), SAR_OK);
}

} // namespace
