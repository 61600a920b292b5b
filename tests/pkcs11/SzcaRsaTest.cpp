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
#include "support/HostFixture.h"
#include "support/SoftHsm.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr char kType[] = "skf_szca_ft3003";
constexpr char kDevice[] = "MockDev1";
constexpr const char *kUserPin = softhsm::kUserPin; // the mock application's user PIN as well
constexpr char kConnectDev[] = "UKeyAdaptorSKF_SZCA_RSA::ConnectDev";
constexpr uint32_t kUntouched = 0x1234;
constexpr uint8_t kFill = 0xEE;

const Bytes kSessionKey = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                           0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

struct Token : softhsm::Token {
    Bytes wrapped; // kSessionKey under the key pair that may decrypt
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

// A signing-only and a decrypting RSA key pair, and three private data objects holding seal bytes.
Token prepareToken(const fs::path &dir)
{
    Token t;
    static_cast<softhsm::Token &>(t) = softhsm::makeToken(dir);
    if (!t.error.empty())
        return t;
    CK_OBJECT_HANDLE pub = 0;
    for (CK_BBOOL decrypt = CK_FALSE; decrypt <= CK_TRUE; ++decrypt)
        t.rsaKeyPair(1024, decrypt, &pub);
    t.wrapped = t.encrypt(pub, kSessionKey);
    // Bytes a user-data image would trim or split stay whole here.
    t.seals = {"first seal", std::string("\0\xFF@@@@two\xFF", 10), std::string(600, '\xA5')};
    std::string object = "seal";
    for (std::string &seal : t.seals) {
        CK_OBJECT_CLASS data = CKO_DATA;
        CK_BBOOL yes = CK_TRUE;
        CK_ATTRIBUTE tmpl[] = {{CKA_CLASS, &data, sizeof data},
                               {CKA_TOKEN, &yes, 1},
                               {CKA_PRIVATE, &yes, 1},
                               {CKA_LABEL, object.data(), object.size()},
                               {CKA_VALUE, seal.data(), seal.size()}};
        CK_OBJECT_HANDLE h = 0;
        SOFTHSM_STEP(t, t.f->C_CreateObject(t.s, tmpl, 5, &h));
    }
    SOFTHSM_STEP(t, t.f->C_Logout(t.s));
    SOFTHSM_STEP(t, t.f->C_CloseSession(t.s));
    SOFTHSM_STEP(t, t.f->C_Finalize(nullptr));
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

#define VENDOR(fn) vendor<decltype(&fn)>(#fn)

class SzcaRsa : public ukeytest::HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        if (HasFatalFailure())
            return;
        if (softhsm::libraryPath().empty())
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
    int openSessions() { return VENDOR(p11fwd_openSessions)(); }

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
    EXPECT_EQ(token().f->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_CRYPTOKI_NOT_INITIALIZED) << "not finalised";
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
        VENDOR(p11fwd_setReverseFind)(reversed);
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
        EXPECT_EQ(result, VENDOR(p11fwd_lastResult)()) << "not the token's own code";
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
    VENDOR(p11fwd_setAbsurdValueLength)(1);
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
