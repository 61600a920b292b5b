#include <dlfcn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/HostFixture.h"

namespace ukeytest {
namespace {

constexpr uint32_t kSm2 = 0x00020100, kSm4Ecb = 0x401, kSm3 = 1;
constexpr uint32_t kBufferTooSmall = 0x0A000020, kPinLocked = 0x0A000025;

std::vector<uint8_t> bytes(const char *s)
{
    return std::vector<uint8_t>(s, s + std::strlen(s));
}

class SoftToken : public HostFixture {
protected:
    void SetUp() override
    {
        unsetenv("SKFSOFT_DIR");
        HostFixture::SetUp();
    }

    // Loads the token through the adaptor, connects its one device and logs in as user.
    uint32_t open(const char *pin = "123456")
    {
        EXPECT_EQ(init("ukeyskf", SKFSOFT_PATH), SAR_OK);
        EXPECT_EQ(connect("SoftToken-0", &dev_), SAR_OK);
        uint32_t retry = 0;
        return KXF(VerifyPIN)(dev_, SKF_USER_TYPE, pin, &retry);
    }

    std::vector<uint8_t> digest(const ECCPUBLICKEYBLOB *pub, const char *data)
    {
        SKF_HANDLE hash = nullptr;
        EXPECT_EQ(KXF(DigestInit)(dev_, kSm3, pub, pub ? sizeof *pub : 0, nullptr, 0, &hash), SAR_OK);
        std::vector<uint8_t> out(32);
        uint32_t len = static_cast<uint32_t>(out.size());
        EXPECT_EQ(KXF(Digest)(dev_, hash, reinterpret_cast<const uint8_t *>(data), std::strlen(data), out.data(), &len),
                  SAR_OK);
        EXPECT_EQ(KXF(CloseHandle)(dev_, hash), SAR_OK);
        return out;
    }

    // A fresh adaptor mapping, which releases the token library too.
    void reload()
    {
        KXF(DisConnectDev)(dev_);
        EXPECT_EQ(KXF(Uinit_SDK)(), SAR_OK);
        HostFixture::TearDown();
        HostFixture::SetUp();
    }

    uint32_t dev_ = 0;
};

// The public key as OpenSSL sees it, to check the token's signatures independently.
EVP_PKEY *opensslKey(const ECCPUBLICKEYBLOB &blob)
{
    uint8_t point[65] = {0x04};
    std::memcpy(point + 1, blob.XCoordinate + 32, 32);
    std::memcpy(point + 33, blob.YCoordinate + 32, 32);
    char group[] = SN_sm2;
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
                           OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point),
                           OSSL_PARAM_construct_end()};
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new_from_name(nullptr, "SM2", nullptr);
    EVP_PKEY *key = nullptr;
    EVP_PKEY_fromdata_init(ctx);
    EVP_PKEY_fromdata(ctx, &key, EVP_PKEY_PUBLIC_KEY, params);
    EVP_PKEY_CTX_free(ctx);
    return key;
}

TEST_F(SoftToken, SignsHashesAndWrapsKeysThroughTheAdaptor)
{
    ASSERT_EQ(open(), SAR_OK);
    char serial[64] = {};
    uint32_t len = sizeof serial;
    ASSERT_EQ(KXF(GetSerialNumber)(dev_, serial, &len), SAR_OK);
    EXPECT_STREQ(serial, "SOFT0000000000000001");

    const std::vector<uint8_t> abc = digest(nullptr, "abc");
    EXPECT_EQ(abc, (std::vector<uint8_t>{0x66, 0xc7, 0xf0, 0xf4, 0x62, 0xee, 0xed, 0xd9, 0xd1, 0xf2, 0xd4,
                                         0x6b, 0xdc, 0x10, 0xe4, 0xe2, 0x41, 0x67, 0xc4, 0x87, 0x5c, 0xf2,
                                         0xf7, 0xa2, 0x29, 0x7d, 0xa0, 0x2b, 0x8f, 0x4b, 0xa8, 0xe0}));

    HCONTAINER c = nullptr;
    ASSERT_EQ(KXF(CreateContainer)(dev_, "sm2", &c), SAR_OK);
    ECCPUBLICKEYBLOB pub{};
    ASSERT_EQ(KXF(GenECCKeyPair)(dev_, c, kSm2, &pub, &len), SAR_OK);
    uint32_t type = 0;
    EXPECT_EQ(KXF(GetContainerType)(dev_, c, &type), SAR_OK);
    EXPECT_EQ(type, 2u);

    // Signature over SM3(Z || M): OpenSSL, computing Z itself with the same ID, must accept it.
    std::vector<uint8_t> e = digest(&pub, "message");
    ECCSIGNATUREBLOB sig{};
    ASSERT_EQ(KXF(ECCSignData)(dev_, c, e.data(), 32, &sig, &len), SAR_OK);
    EXPECT_EQ(KXF(ECCVerify)(dev_, &pub, sizeof pub, e.data(), 32, &sig, sizeof sig), SAR_OK);
    EVP_PKEY *key = opensslKey(pub);
    ASSERT_NE(key, nullptr);
    ECDSA_SIG *der = ECDSA_SIG_new();
    ECDSA_SIG_set0(der, BN_bin2bn(sig.r, 64, nullptr), BN_bin2bn(sig.s, 64, nullptr));
    unsigned char *derBytes = nullptr;
    const int derLen = i2d_ECDSA_SIG(der, &derBytes);
    EVP_MD_CTX *md = EVP_MD_CTX_new();
    EVP_PKEY_CTX *verify = nullptr;
    EVP_DigestVerifyInit_ex(md, &verify, "SM3", nullptr, nullptr, key, nullptr);
    EVP_PKEY_CTX_set1_id(verify, "1234567812345678", 16);
    EXPECT_EQ(EVP_DigestVerify(md, derBytes, derLen, reinterpret_cast<const uint8_t *>("message"), 7), 1);
    EVP_MD_CTX_free(md);
    OPENSSL_free(derBytes);
    ECDSA_SIG_free(der);
    EVP_PKEY_free(key);
    e[0] ^= 1;
    EXPECT_NE(KXF(ECCVerify)(dev_, &pub, sizeof pub, e.data(), 32, &sig, sizeof sig), SAR_OK);

    // A session key wrapped to the container's own key: what it encrypts, it decrypts, and the
    // container's private key recovers the same key bytes.
    uint8_t wrapped[SKF_ECC_CIPHER_BLOB_BUFFER_LEN] = {};
    SKF_HANDLE session = nullptr;
    ASSERT_EQ(KXF(ECCExportSessionKey)(dev_, c, kSm4Ecb, &pub, sizeof pub, wrapped, &len, &session), SAR_OK);
    BLOCKCIPHERPARAM param{};
    param.PaddingType = 1;
    const std::vector<uint8_t> plain = bytes("twenty-one bytes long");
    std::vector<uint8_t> cipher(64), back(64);
    uint32_t cipherLen = 4;
    ASSERT_EQ(KXF(EncryptInit)(dev_, session, &param, sizeof param), SAR_OK);
    ASSERT_EQ(KXF(Encrypt)(dev_, session, plain.data(), plain.size(), cipher.data(), &cipherLen), kBufferTooSmall);
    EXPECT_EQ(cipherLen, 32u);
    ASSERT_EQ(KXF(Encrypt)(dev_, session, plain.data(), plain.size(), cipher.data(), &cipherLen), SAR_OK);
    uint32_t backLen = static_cast<uint32_t>(back.size());
    ASSERT_EQ(KXF(DecryptInit)(dev_, session, &param, sizeof param), SAR_OK);
    ASSERT_EQ(KXF(Decrypt)(dev_, session, cipher.data(), cipherLen, back.data(), &backLen), SAR_OK);
    back.resize(backLen);
    EXPECT_EQ(back, plain);

    void *token = dlopen(SKFSOFT_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(token, nullptr);
    auto eccDecrypt = reinterpret_cast<PFN_SKF_ECCDecrypt>(dlsym(token, "SKF_ECCDecrypt"));
    uint8_t sessionKey[16];
    uint32_t keyLen = sizeof sessionKey;
    ASSERT_EQ(eccDecrypt(c, 1, wrapped, sessionKey, &keyLen), SAR_OK);
    ASSERT_EQ(keyLen, 16u);
    EVP_CIPHER_CTX *sm4 = EVP_CIPHER_CTX_new();
    std::vector<uint8_t> outside(64);
    int n = 0, m = 0;
    EVP_DecryptInit_ex(sm4, EVP_sm4_ecb(), nullptr, sessionKey, nullptr);
    EVP_DecryptUpdate(sm4, outside.data(), &n, cipher.data(), static_cast<int>(cipherLen));
    EXPECT_EQ(EVP_DecryptFinal_ex(sm4, outside.data() + n, &m), 1);
    EVP_CIPHER_CTX_free(sm4);
    outside.resize(static_cast<size_t>(n + m));
    EXPECT_EQ(outside, plain);
    dlclose(token);

    const std::vector<uint8_t> text = bytes("file contents");
    ASSERT_EQ(KXF(CreateFile)(dev_, "notes", 32, 0xFF, 0x10), SAR_OK);
    ASSERT_EQ(KXF(WriteFile)(dev_, "notes", 4, text.data(), text.size()), SAR_OK);
    std::vector<uint8_t> read(text.size());
    len = static_cast<uint32_t>(read.size());
    ASSERT_EQ(KXF(ReadFile)(dev_, "notes", 4, len, read.data(), &len), SAR_OK);
    EXPECT_EQ(read, text);

    // Provisioning with the documented device key replaces the application.
    ASSERT_EQ(KXF(InitialKey)(dev_, "MTIzNDU2NzgxMjM0NTY3OA==", "", "", ""), SAR_OK);
    uint32_t retry = 0;
    EXPECT_EQ(KXF(VerifyPIN)(dev_, SKF_USER_TYPE, "731902", &retry), SAR_OK);
    EXPECT_EQ(KXF(ReadFile)(dev_, "notes", 0, 4, read.data(), &len), SAR_FILE_NOT_EXIST);
}

TEST_F(SoftToken, WrongPinsLockTheUserPinUntilUnblocked)
{
    ASSERT_EQ(open("000000"), SAR_PIN_INCORRECT);
    uint32_t retry = 0;
    for (uint32_t left = 8; left != ~0u; --left) {
        EXPECT_EQ(KXF(VerifyPIN)(dev_, SKF_USER_TYPE, "000000", &retry), SAR_PIN_INCORRECT);
        EXPECT_EQ(retry, left);
    }
    EXPECT_EQ(KXF(VerifyPIN)(dev_, SKF_USER_TYPE, "123456", &retry), kPinLocked);
    uint32_t max = 0, remain = 1;
    int32_t isDefault = 0;
    EXPECT_EQ(KXF(GetPINInfo)(dev_, SKF_USER_TYPE, &max, &remain, &isDefault), SAR_OK);
    EXPECT_EQ(max, 10u);
    EXPECT_EQ(remain, 0u);
    EXPECT_EQ(KXF(UnblockPIN)(dev_, "12345678", "654321", &retry), SAR_OK);
    EXPECT_EQ(KXF(VerifyPIN)(dev_, SKF_USER_TYPE, "654321", &retry), SAR_OK);
}

TEST_F(SoftToken, StatePersistsInTheStore)
{
    char dir[] = "/tmp/skfsoft-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("SKFSOFT_DIR", dir, 1);
    const std::vector<uint8_t> text = bytes("kept");
    ASSERT_EQ(open(), SAR_OK);
    ASSERT_EQ(KXF(SetLabel)(dev_, "Renamed"), SAR_OK);
    ASSERT_EQ(KXF(CreateFile)(dev_, "kept", 4, 0xFF, 0xFF), SAR_OK);
    ASSERT_EQ(KXF(WriteFile)(dev_, "kept", 0, text.data(), 4), SAR_OK);
    reload();

    const std::filesystem::path app = std::filesystem::path(dir) / "SoftToken-0" / "SOFTAPP";
    ASSERT_TRUE(std::filesystem::exists(app / "files" / "kept.ini"));
    ASSERT_EQ(open(), SAR_OK);
    char label[64] = {};
    uint32_t len = sizeof label;
    EXPECT_EQ(KXF(GetLabelName)(dev_, label, &len), SAR_OK);
    EXPECT_STREQ(label, "Renamed");
    std::vector<uint8_t> read(4);
    ASSERT_EQ(KXF(ReadFile)(dev_, "kept", 0, 4, read.data(), &len), SAR_OK);
    EXPECT_EQ(read, text);
    reload();
    std::filesystem::remove_all(dir);
}

// Bad input from a host never crashes the token: null pointers, stale handles, short buffers.
TEST_F(SoftToken, RefusesBadInputDirectly)
{
    void *token = dlopen(SKFSOFT_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(token, nullptr);
#define SYM(name) reinterpret_cast<PFN_##name>(dlsym(token, #name))
    DEVHANDLE dev = nullptr;
    ASSERT_EQ(SYM(SKF_ConnectDev)("SoftToken-0", &dev), SAR_OK);
    uint32_t len = 0;
    DEVINFO info;
    void *bogus = reinterpret_cast<void *>(0x1234);
    const struct {
        const char *what;
        uint32_t result, expected;
    } cases[] = {
        {"null name", SYM(SKF_ConnectDev)(nullptr, &dev), SAR_INVALIDPARAMERR},
        {"null info", SYM(SKF_GetDevInfo)(dev, nullptr), SAR_INVALIDPARAMERR},
        {"foreign device", SYM(SKF_GetDevInfo)(bogus, &info), SAR_INVALIDHANDLEERR},
        {"foreign app", SYM(SKF_VerifyPIN)(bogus, 1, "123456", &len), SAR_INVALIDHANDLEERR},
        {"foreign container", SYM(SKF_ECCSignData)(bogus, nullptr, 0, nullptr), SAR_INVALIDHANDLEERR},
        {"foreign key", SYM(SKF_Encrypt)(bogus, nullptr, 0, nullptr, &len), SAR_INVALIDHANDLEERR},
        {"device as key", SYM(SKF_Encrypt)(dev, nullptr, 0, nullptr, &len), SAR_INVALIDHANDLEERR},
        {"unsupported", SYM(SKF_Transmit)(dev, nullptr, 0, nullptr, &len), SAR_NOTSUPPORTYETERR},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.result, c.expected) << c.what;

    char list[4];
    len = sizeof list;
    EXPECT_EQ(SYM(SKF_EnumDev)(1, list, &len), kBufferTooSmall);
    EXPECT_EQ(len, sizeof "SoftToken-0" + 1);
    EXPECT_EQ(SYM(SKF_DisConnectDev)(dev), SAR_OK);
    EXPECT_EQ(SYM(SKF_DisConnectDev)(dev), SAR_INVALIDHANDLEERR);
#undef SYM
    dlclose(token);
}

} // namespace
} // namespace ukeytest
