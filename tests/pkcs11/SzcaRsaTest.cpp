// "skf_szca_ft3003" end to end through the host table, with a SoftHSM2 token behind the mock's
// SKF functions.
#include <dlfcn.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "SoftHsmForwarder.h"
#include "support/HostFixture.h"
#include "support/SoftHsm.h"

namespace {

using Bytes = std::vector<uint8_t>;
using softhsm::kUserPin;
using softhsm::token;

constexpr char kType[] = "skf_szca_ft3003";
constexpr char kConnectDev[] = "UKeyAdaptorSKF_SZCA_RSA::ConnectDev";
constexpr uint32_t kUntouched = 0x1234;
constexpr uint8_t kFill = 0xEE;

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
        if (softhsm::libraryPath().empty())
            GTEST_SKIP() << "SoftHSM2 not found: install softhsm2, or set SOFTHSM2_MODULE to libsofthsm2.so";
        ASSERT_EQ(token().error, "");
        mock::State &m = mock(SZCA_VENDOR_PATH);
        m.reset();
        mock::setField(m.dev().info.SerialNumber, token().serial);
        m.app().containers = {{"RSA", 1}, {"ECC", 2}};
        ASSERT_EQ(init(kType, SZCA_VENDOR_PATH), SAR_OK);
    }

    // Ending the SDK finalises the token, which logs it out before the next test.
    void TearDown() override
    {
        EXPECT_EQ(table_ && !IsSkipped() ? KXF(Uinit_SDK)() : SAR_OK, SAR_OK);
        HostFixture::TearDown();
    }

    // The forwarder's switches and counts; mock() holds the library loaded.
    P11Fwd &fwd()
    {
        void *handle = dlopen(SZCA_VENDOR_PATH, RTLD_NOW | RTLD_NOLOAD);
        P11Fwd *state = reinterpret_cast<PFN_p11fwd>(dlsym(handle, "p11fwd"))();
        dlclose(handle);
        return *state;
    }
    uint32_t connectKey(const char *pin = nullptr)
    {
        uint32_t retry = 0, rv = connect("MockDev1", &dev_);
        return rv || !pin ? rv : KXF(VerifyPIN)(dev_, SKF_USER_TYPE, pin, &retry);
    }
    HCONTAINER container(const char *name)
    {
        HCONTAINER h = nullptr;
        EXPECT_EQ(KXF(OpenContainer)(dev_, name, &h), SAR_OK);
        return h;
    }

    uint32_t dev_ = 0;
};

// A key whose serial names no token fails; either way the connection ends with "End".
TEST_F(SzcaRsa, ConnectOpensASessionOnTheTokenOfTheKeysSerialUntilDisconnect)
{
    for (const auto &[flip, result, sessions] : {std::tuple<char, uint32_t, int>{1, SAR_FAIL, 0}, {0, SAR_OK, 1}}) {
        mock(SZCA_VENDOR_PATH).dev().info.SerialNumber[0] = token().serial[0] ^ flip;
        EXPECT_EQ(connectKey(), result);
        EXPECT_EQ(messagesAt(kConnectDev).back(), "End");
        EXPECT_EQ(fwd().openSessions, sessions);
    }
    DEVINFO info{};
    uint32_t len = 0;
    EXPECT_EQ(KXF(GetDevInfo)(dev_, &info, &len), SAR_OK);
    EXPECT_STREQ(info.Manufacturer, "szca_ft3003");

    EXPECT_EQ(KXF(DisConnectDev)(dev_), SAR_OK);
    EXPECT_EQ(fwd().openSessions, 0);
    EXPECT_EQ(KXF(Uinit_SDK)(), SAR_OK);
    CK_ULONG count = 0;
    EXPECT_EQ(token().f->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_CRYPTOKI_NOT_INITIALIZED) << "not finalised";
}

TEST_F(SzcaRsa, SessionKeyComesBackInPlainOnlyAfterTheRightPin)
{
    struct {
        const char *pin, *container; // the PIN given to VerifyPIN first unless null
        uint32_t result, keyHandle;
    } rows[] = {{nullptr, "RSA", SAR_PIN_INCORRECT, kUntouched},
                {"654321", "RSA", SAR_PIN_INCORRECT, kUntouched},
                {kUserPin, "RSA", SAR_OK, KXF_PSEUDO_KEY_HANDLE},
                {kUserPin, "ECC", 1, KXF_PSEUDO_KEY_HANDLE}};
    const Bytes &wrapped = token().wrapped;
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.pin ? row.pin : "no PIN") + " " + row.container);
        ASSERT_EQ(connectKey(row.pin), row.pin && row.pin != kUserPin ? SAR_PIN_INCORRECT : SAR_OK);
        // Both search orders, so that the key which may not decrypt is met first in one of them.
        for (const bool reversed : {false, true}) {
            fwd().reverseFind = reversed;
            Bytes plain(256, kFill);
            uint32_t plainLen = 256, hKey = kUntouched;
            const uint32_t result =
                KXF(ImportSessionKeyWithKeyEx)(dev_, container(row.container), 0, wrapped.data(),
                                               uint32_t(wrapped.size()), &hKey, plain.data(), &plainLen);
            // The result, the key handle, the length and the bytes the host gets.
            Bytes expected = row.result ? Bytes() : softhsm::kSessionKey;
            expected.resize(256, kFill);
            EXPECT_EQ(std::tuple(result, hKey, plainLen, plain),
                      std::tuple(row.result, row.keyHandle, row.result ? 256u : 16u, expected))
                << reversed;
        }
        const auto pseudo = reinterpret_cast<SKF_HANDLE>(static_cast<uintptr_t>(KXF_PSEUDO_KEY_HANDLE));
        EXPECT_EQ(row.keyHandle == KXF_PSEUDO_KEY_HANDLE ? KXF(DecryptInit)(dev_, pseudo, nullptr, 0) : SAR_OK, SAR_OK);
        EXPECT_EQ(KXF(DisConnectDev)(dev_), SAR_OK);
    }
}

// A wrapped key longer than the modulus, then a host buffer too small for the key.
TEST_F(SzcaRsa, TokenErrorComesBackUnchangedAndNothingIsWrittenPastTheStatedLength)
{
    ASSERT_EQ(connectKey(kUserPin), SAR_OK);
    for (const auto &[extraWrappedBytes, statedPlainLen] : {std::pair<size_t, uint32_t>{1, 256}, {0, 16}}) {
        Bytes wrapped = token().wrapped;
        wrapped.resize(wrapped.size() + extraWrappedBytes, 0x01);
        Bytes plain(512, kFill);
        uint32_t plainLen = statedPlainLen, hKey = 0;
        const uint32_t result =
            KXF(ImportSessionKeyWithKeyEx)(dev_, container("RSA"), 0, wrapped.data(),
                                           static_cast<uint32_t>(wrapped.size()), &hKey, plain.data(), &plainLen);
        EXPECT_NE(result, SAR_OK) << statedPlainLen;
        EXPECT_EQ(result, fwd().last) << "not the token's own code";
        EXPECT_TRUE(std::all_of(plain.begin() + statedPlainLen, plain.end(), [](uint8_t b) { return b == kFill; }));
    }
}

// A token answering an absurd value length stops the listing with a PKCS#11 error, one that never
// stops finding is not followed for ever; one listing absurdly many slots fails the connect.
TEST_F(SzcaRsa, DataObjectsAreListedAndReadAsNumberedSealRecords)
{
    ASSERT_EQ(connectKey(kUserPin), SAR_OK);
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
    EXPECT_EQ(list, numberedList(n) + std::string(list.size() - size, '\x7F'));

    std::vector<std::string> read;
    for (size_t k = 1; k <= n; ++k) {
        const std::string name = std::to_string(k);
        uint32_t len = 0;
        ASSERT_EQ(KXF(ReadFile)(dev_, name.c_str(), 0, 0, nullptr, &len), SAR_OK);
        std::string &value = read.emplace_back(len, '\0');
        ASSERT_EQ(KXF(ReadFile)(dev_, name.c_str(), 0, len, reinterpret_cast<uint8_t *>(value.data()), &len), SAR_OK);
    }
    EXPECT_TRUE(std::is_permutation(read.begin(), read.end(), token().seals.begin(), token().seals.end()));

    fwd().endlessFind = true; // the listing ends after 4,096 more records
    ASSERT_EQ(KXF(EnumFiles)(dev_, nullptr, &size), SAR_OK);
    EXPECT_EQ(size, numberedList(n + 4096).size());
    fwd().endlessFind = false;
    fwd().absurdLengths = true;
    size = kUntouched;
    std::string untouched(64, '\x7F');
    const uint32_t result = KXF(EnumFiles)(dev_, untouched.data(), &size);
    EXPECT_EQ(std::tuple(result, size, untouched), std::tuple(CKR_HOST_MEMORY, kUntouched, std::string(64, '\x7F')));
    EXPECT_EQ(connectKey(), SAR_FAIL);
}

// A library with SKF alone: the PKCS#11 parts answer without calling anything.
using SzcaRsaSkfOnly = ukeytest::HostFixture;

TEST_F(SzcaRsaSkfOnly, MissingPkcs11FunctionsAreNeverCalled)
{
    ASSERT_EQ(init(kType), SAR_OK);
    uint32_t dev = 0;
    EXPECT_EQ(connect("MockDev1", &dev), KX_NOTEXPORTERR);
    EXPECT_EQ(messagesAt(kConnectDev), (std::vector<std::string>{"start", "end.KX_NOTEXPORTERR"}));
    EXPECT_EQ(mock().count("SKF_ConnectDev"), 0u);
}

} // namespace
