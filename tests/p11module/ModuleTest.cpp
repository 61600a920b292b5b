// The module through its function list, against the software token in a fresh folder per test.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "mock/MockControl.h"
#include "p11.h"
#include "support/SoftHsm.h"

namespace {

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/p11moduleXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        store = dir;
        setenv("SKFSOFT_DIR", dir, 1);
        unsetenv("UKEYADAPTOR_PKCS11_CONF");
        void *lib = dlopen(UKEYP11_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
        ASSERT_EQ(reinterpret_cast<CK_C_GetFunctionList>(dlsym(lib, "C_GetFunctionList"))(&f), CKR_OK);
        ASSERT_EQ(f->C_Initialize(nullptr), CKR_OK);
        ASSERT_EQ(f->C_OpenSession(0, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &s), CKR_OK);
    }
    void TearDown() override
    {
        if (f)
            f->C_Finalize(nullptr);
        std::filesystem::remove_all(store);
    }
    CK_RV login(const char *pin, CK_USER_TYPE user = CKU_USER)
    {
        return f->C_Login(s, user, reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char *>(pin)), strlen(pin));
    }
    // A key pair in a container named after the label; returns the private key.
    CK_OBJECT_HANDLE keyPair(CK_MECHANISM_TYPE type, const char *label, CK_OBJECT_HANDLE *pub, CK_RV rv = CKR_OK)
    {
        CK_ULONG bits = 1024;
        CK_ATTRIBUTE pubTmpl[] = {{CKA_LABEL, const_cast<char *>(label), strlen(label)},
                                  type == CKM_RSA_PKCS_KEY_PAIR_GEN
                                      ? CK_ATTRIBUTE{CKA_MODULUS_BITS, &bits, sizeof bits}
                                      : CK_ATTRIBUTE{CKA_EC_PARAMS, const_cast<uint8_t *>(kSm2Oid), sizeof kSm2Oid}};
        CK_MECHANISM m{type, nullptr, 0};
        CK_OBJECT_HANDLE priv = 0;
        EXPECT_EQ(f->C_GenerateKeyPair(s, &m, pubTmpl, 2, nullptr, 0, pub, &priv), rv);
        return priv;
    }
    std::string attribute(CK_OBJECT_HANDLE o, CK_ATTRIBUTE_TYPE type)
    {
        CK_ATTRIBUTE a{type, nullptr, 0};
        EXPECT_EQ(f->C_GetAttributeValue(s, o, &a, 1), CKR_OK);
        std::string v(a.ulValueLen, '\0');
        a.pValue = v.data();
        EXPECT_EQ(f->C_GetAttributeValue(s, o, &a, 1), CKR_OK);
        return v;
    }
    std::vector<CK_OBJECT_HANDLE> find(CK_ATTRIBUTE *tmpl, CK_ULONG count)
    {
        CK_OBJECT_HANDLE h[64];
        EXPECT_EQ(f->C_FindObjectsInit(s, tmpl, count), CKR_OK);
        EXPECT_EQ(f->C_FindObjects(s, h, 64, &count), CKR_OK);
        EXPECT_EQ(f->C_FindObjectsFinal(s), CKR_OK);
        return {h, h + count};
    }
    // Starts the module again with this configuration and opens a session on the first slot: in
    // between nothing answers, and the session open before does not survive.
    void configure(const std::string &text)
    {
        CK_SESSION_INFO info;
        CK_SESSION_HANDLE other;
        ASSERT_EQ(f->C_Finalize(nullptr), CKR_OK);
        EXPECT_EQ(f->C_OpenSession(0, CKF_SERIAL_SESSION, nullptr, nullptr, &other), CKR_CRYPTOKI_NOT_INITIALIZED);
        EXPECT_EQ(f->C_GetSessionInfo(s, &info), CKR_CRYPTOKI_NOT_INITIALIZED);
        EXPECT_EQ(f->C_Finalize(nullptr), CKR_CRYPTOKI_NOT_INITIALIZED);
        std::ofstream(store + "/pkcs11.conf") << text;
        setenv("UKEYADAPTOR_PKCS11_CONF", (store + "/pkcs11.conf").c_str(), 1);
        ASSERT_EQ(f->C_Initialize(nullptr), CKR_OK);
        EXPECT_EQ(f->C_GetSessionInfo(s, &info), CKR_SESSION_HANDLE_INVALID);
        ASSERT_EQ(f->C_OpenSession(0, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &s), CKR_OK);
    }

    static constexpr uint8_t kSm2Oid[] = {0x06, 0x08, 0x2A, 0x81, 0x1C, 0xCF, 0x55, 0x01, 0x82, 0x2D};
    std::string store;
    CK_FUNCTION_LIST_PTR f = nullptr;
    CK_SESSION_HANDLE s = 0;
    CK_OBJECT_CLASS dataClass = CKO_DATA;
    CK_ATTRIBUTE isFile{CKA_CLASS, &dataClass, sizeof dataClass};
};

TEST_F(ModuleTest, LoginChecksThePinOnTheKey)
{
    for (const auto &[pin, user, rv] :
         {std::tuple<const char *, CK_USER_TYPE, CK_RV>{"00000000", CKU_SO, CKR_PIN_INCORRECT},
          {"123456", CKU_USER, CKR_OK},
          {"123456", CKU_USER, CKR_USER_ALREADY_LOGGED_IN},
          {"12345678", CKU_SO, CKR_USER_ANOTHER_ALREADY_LOGGED_IN}})
        EXPECT_EQ(login(pin, user), rv) << pin;
    CK_SESSION_INFO info{};
    ASSERT_EQ(f->C_GetSessionInfo(s, &info), CKR_OK);
    EXPECT_EQ(info.state, CKS_RW_USER_FUNCTIONS);
    ASSERT_EQ(f->C_Logout(s), CKR_OK);
    CK_OBJECT_HANDLE pub;
    keyPair(CKM_RSA_PKCS_KEY_PAIR_GEN, "logged-out", &pub, CKR_USER_NOT_LOGGED_IN);
    EXPECT_EQ(login("12345678", CKU_SO), CKR_OK);
}

// A null buffer asks for the size, a short one is refused with the size (attributes: unavailable);
// the signing operation outlives both. A template's length without a value is refused unread.
TEST_F(ModuleTest, BuffersFollowTheTwoCallConvention)
{
    ASSERT_EQ(login("123456"), CKR_OK);
    CK_OBJECT_HANDLE pub, priv = keyPair(CKM_RSA_PKCS_KEY_PAIR_GEN, "two-call", &pub);
    CK_MECHANISM m{CKM_SHA256_RSA_PKCS, nullptr, 0};
    ASSERT_EQ(f->C_SignInit(s, &m, priv), CKR_OK);
    CK_BYTE data[] = "data";
    alignas(CK_ULONG) CK_BYTE out[256];
    // Each call's result and the length it leaves.
    using Answer = std::pair<CK_RV, CK_ULONG>;
    const auto twoCalls = [&](const char *what, CK_ULONG size, CK_ULONG shortAnswer, auto call) {
        const auto answer = [&](CK_BYTE *to, CK_ULONG len) { return Answer{call(to, &len), len}; };
        EXPECT_EQ(answer(nullptr, 0), Answer(CKR_OK, size)) << what;
        EXPECT_EQ(answer(out, size - 1), Answer(CKR_BUFFER_TOO_SMALL, shortAnswer)) << what;
        EXPECT_EQ(answer(out, size), Answer(CKR_OK, size)) << what;
    };
    twoCalls("slots", 1, 1, [&](CK_BYTE *to, CK_ULONG *n) { return f->C_GetSlotList(CK_TRUE, (CK_SLOT_ID *)to, n); });
    twoCalls("mechanisms", 7, 7, [&](CK_BYTE *to, CK_ULONG *n) { return f->C_GetMechanismList(0, (CK_ULONG *)to, n); });
    twoCalls("label", 8, CK_UNAVAILABLE_INFORMATION, [&](CK_BYTE *to, CK_ULONG *n) {
        CK_ATTRIBUTE a{CKA_LABEL, to, *n};
        const CK_RV rv = f->C_GetAttributeValue(s, pub, &a, 1);
        *n = a.ulValueLen;
        return rv;
    });
    twoCalls("sign", 128, 128, [&](CK_BYTE *to, CK_ULONG *n) { return f->C_Sign(s, data, 4, to, n); });
    ASSERT_EQ(f->C_VerifyInit(s, &m, pub), CKR_OK);
    EXPECT_EQ(f->C_Verify(s, data, 4, out, 128), CKR_OK); // the signature the last call left
    CK_ATTRIBUTE a = {CKA_PRIVATE_EXPONENT, nullptr, 0};
    EXPECT_EQ(f->C_GetAttributeValue(s, priv, &a, 1), CKR_ATTRIBUTE_SENSITIVE);
    CK_ULONG bits = 1024, cert = CKO_CERTIFICATE;
    CK_MECHANISM rsa{CKM_RSA_PKCS_KEY_PAIR_GEN, nullptr, 0};
    CK_ATTRIBUTE search[] = {{CKA_CLASS, nullptr, sizeof cert}};
    CK_ATTRIBUTE exponent[] = {{CKA_MODULUS_BITS, &bits, sizeof bits}, {CKA_PUBLIC_EXPONENT, nullptr, 3}};
    CK_ATTRIBUTE certType[] = {{CKA_CLASS, &cert, sizeof cert}, {CKA_CERTIFICATE_TYPE, nullptr, sizeof cert}};
    for (const auto &[what, rv] : {std::pair<const char *, CK_RV>{"search", f->C_FindObjectsInit(s, search, 1)},
                                   {"exponent", f->C_GenerateKeyPair(s, &rsa, exponent, 2, nullptr, 0, &pub, &priv)},
                                   {"certificate type", f->C_CreateObject(s, certType, 2, &pub)}})
        EXPECT_EQ(rv, CKR_ARGUMENTS_BAD) << what;
}

// SM2 with SM3 and the default signer identity 1234567812345678: OpenSSL verifies what the key signed.
TEST_F(ModuleTest, Sm2SignatureVerifiesWithOpenssl)
{
    ASSERT_EQ(login("123456"), CKR_OK);
    CK_OBJECT_HANDLE pub, priv = keyPair(CKM_EC_KEY_PAIR_GEN, "sm2", &pub);
    CK_MECHANISM m{CKM_UKEY_SM3_SM2, nullptr, 0};
    CK_BYTE msg[] = "message to sign", sig[64];
    CK_ULONG len = sizeof sig;
    ASSERT_EQ(f->C_SignInit(s, &m, priv), CKR_OK);
    ASSERT_EQ(f->C_SignUpdate(s, msg, 7), CKR_OK);
    ASSERT_EQ(f->C_SignUpdate(s, msg + 7, sizeof msg - 7), CKR_OK);
    ASSERT_EQ(f->C_SignFinal(s, sig, &len), CKR_OK);
    ASSERT_EQ(len, 64u);

    const std::string point = attribute(pub, CKA_EC_POINT); // 04 41 04 X Y
    ASSERT_EQ(point.size(), 67u);
    // Its SubjectPublicKeyInfo: id-ecPublicKey on the SM2 curve, then the point.
    std::vector<uint8_t> spki = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01,
                                 0x06, 0x08, 0x2A, 0x81, 0x1C, 0xCF, 0x55, 0x01, 0x82, 0x2D, 0x03, 0x42, 0x00};
    spki.insert(spki.end(), point.begin() + 2, point.end());
    const unsigned char *spkiAt = spki.data();
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(d2i_PUBKEY(nullptr, &spkiAt, long(spki.size())),
                                                            EVP_PKEY_free);
    ASSERT_NE(key, nullptr);
    std::unique_ptr<ECDSA_SIG, decltype(&ECDSA_SIG_free)> esig(ECDSA_SIG_new(), ECDSA_SIG_free);
    ECDSA_SIG_set0(esig.get(), BN_bin2bn(sig, 32, nullptr), BN_bin2bn(sig + 32, 32, nullptr));
    unsigned char der[80], *derEnd = der;
    const int derLen = i2d_ECDSA_SIG(esig.get(), &derEnd);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    char id[] = "1234567812345678";
    const OSSL_PARAM withId[] = {OSSL_PARAM_construct_octet_string("distid", id, 16), OSSL_PARAM_END};
    ASSERT_EQ(EVP_DigestVerifyInit_ex(md.get(), nullptr, "SM3", nullptr, nullptr, key.get(), withId), 1);
    EXPECT_EQ(EVP_DigestVerify(md.get(), der, derLen, msg, sizeof msg), 1);

    for (const CK_RV rv : {CKR_OK, CKR_SIGNATURE_INVALID}) {
        ASSERT_EQ(f->C_VerifyInit(s, &m, pub), CKR_OK);
        EXPECT_EQ(f->C_Verify(s, msg, sizeof msg, sig, 64), rv);
        sig[40] ^= 1;
    }
}

// Files are data objects read from the key; a second session sees what the first wrote.
TEST_F(ModuleTest, DataObjectsAreFilesOnTheKey)
{
    ASSERT_EQ(login("123456"), CKR_OK);
    char name[] = "note", value[] = "kept on the key";
    CK_ATTRIBUTE tmpl[] = {isFile, {CKA_LABEL, name, 4}, {CKA_VALUE, value, sizeof value - 1}};
    CK_OBJECT_HANDLE created;
    CK_SESSION_HANDLE other;
    ASSERT_EQ(f->C_CreateObject(s, tmpl, 3, &created), CKR_OK);
    ASSERT_EQ(f->C_OpenSession(0, CKF_SERIAL_SESSION, nullptr, nullptr, &other), CKR_OK);
    std::swap(s, other);
    ASSERT_EQ(find(tmpl, 2), std::vector<CK_OBJECT_HANDLE>{created});
    EXPECT_EQ(attribute(created, CKA_VALUE), value);
    EXPECT_EQ(attribute(created, CKA_APPLICATION), "SOFTAPP");
    EXPECT_EQ(f->C_DestroyObject(s, created), CKR_SESSION_READ_ONLY);
    EXPECT_EQ(f->C_DestroyObject(other, created), CKR_OK);
    EXPECT_EQ(find(tmpl, 2).size(), 0u);
}

// Sessions of one slot on several threads share its device handle; files written meanwhile make
// every search read the key again.
TEST_F(ModuleTest, ThreadsShareASlot)
{
    ASSERT_EQ(login("123456"), CKR_OK);
    CK_OBJECT_HANDLE pub, priv = keyPair(CKM_RSA_PKCS_KEY_PAIR_GEN, "shared", &pub);
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    CK_MECHANISM m{CKM_SHA256_RSA_PKCS, nullptr, 0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            CK_SESSION_HANDLE own;
            CK_OBJECT_HANDLE h[64];
            CK_ULONG n = 0, len = 128;
            CK_BYTE sig[128];
            failures[t] += f->C_OpenSession(0, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &own) != CKR_OK;
            for (int i = 0; i < 8; ++i) {
                std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
                CK_ATTRIBUTE file[] = {isFile, {CKA_LABEL, &name[0], name.size()}, {CKA_VALUE, &name[0], name.size()}};
                failures[t] += f->C_CreateObject(own, file, 3, h) != CKR_OK;
                for (int k = 0; k < 8; ++k)
                    failures[t] += f->C_FindObjectsInit(own, nullptr, 0) != CKR_OK ||
                                   f->C_FindObjects(own, h, 64, &n) != CKR_OK || f->C_FindObjectsFinal(own) != CKR_OK ||
                                   f->C_SignInit(own, &m, priv) != CKR_OK ||
                                   f->C_Sign(own, sig, 8, sig, &len) != CKR_OK;
            }
        });
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
    EXPECT_EQ(find(&isFile, 1).size(), 32u);
}

// Each configuration line is one key kind with its own copy of the adaptor; bad lines are skipped.
TEST_F(ModuleTest, ConfigurationNamesTheKeysAfterARestart)
{
    CK_ULONG count = 0;
    for (const char *text : {"# no key named: the bundled token\n",
                             "# two kinds\nukeyskf " SKFSOFT_PATH "\nskf_gdca " SKFSOFT_PATH " GDCA_APP\nukeyskf\n"
                             "ukeyskf /nonexistent/libskf.so\n"}) {
        configure(text);
        ASSERT_EQ(f->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
        EXPECT_EQ(count, text[2] == 'n' ? 1u : 2u) << text;
    }
    CK_TOKEN_INFO info;
    ASSERT_EQ(f->C_GetTokenInfo(1, &info), CKR_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(info.model), 8), "skf_gdca");
    ASSERT_EQ(f->C_OpenSession(1, CKF_SERIAL_SESSION, nullptr, nullptr, &s), CKR_OK);
    EXPECT_EQ(login("000000"), CKR_PIN_INCORRECT);
    EXPECT_EQ(login("123456"), CKR_OK);
}

// RSA decryption exists only for the key kind whose vendor library also speaks PKCS#11: here the
// test vendor library, SKF from the mock and C_* from SoftHSM2, which holds the private key.
TEST_F(ModuleTest, RsaDecryptsThroughTheKeyKindThatHandsPlainDataBack)
{
    const softhsm::Token &hsm = softhsm::token();
    ASSERT_EQ(hsm.error, "") << "softhsm2 is installed by scripts/install-deps.sh";
    std::vector<uint8_t> wrapped = hsm.wrapped;
    void *vendor = dlopen(SZCA_VENDOR_PATH, RTLD_NOW | RTLD_LOCAL); // the adaptor's load finds this copy
    mock::State &m = *reinterpret_cast<PFN_mock_state>(dlsym(vendor, "mock_state"))();
    mock::setField(m.dev().info.SerialNumber, hsm.serial);
    m.dev().info.AlgAsymCap = 0x00010000; // RSA
    m.app().containers = {{"RSA", 1}};
    configure("skf_szca_ft3003 " SZCA_VENDOR_PATH "\n");
    ASSERT_EQ(login("123456"), CKR_OK);
    CK_OBJECT_CLASS cls = CKO_PRIVATE_KEY;
    CK_ATTRIBUTE privateKeys{CKA_CLASS, &cls, sizeof cls};
    const std::vector<CK_OBJECT_HANDLE> keys = find(&privateKeys, 1);
    ASSERT_FALSE(keys.empty());
    CK_MECHANISM pkcs1{CKM_RSA_PKCS, nullptr, 0};
    CK_ULONG len = 0;
    CK_BYTE plain[256];
    ASSERT_EQ(f->C_DecryptInit(s, &pkcs1, keys[0]), CKR_OK);
    EXPECT_EQ(f->C_Decrypt(s, wrapped.data(), wrapped.size(), nullptr, &len), CKR_OK);
    EXPECT_EQ(len, 256u);
    ASSERT_EQ(f->C_Decrypt(s, wrapped.data(), wrapped.size(), plain, &len), CKR_OK);
    EXPECT_EQ(std::vector<uint8_t>(plain, plain + len), softhsm::kSessionKey);
}

// The mock signs 256 bytes whatever its key's length: nothing is written past a buffer sized by the key.
TEST_F(ModuleTest, ASignatureLongerThanItsKeyIsRefused)
{
    void *vendor = dlopen(SZCA_VENDOR_PATH, RTLD_NOW | RTLD_LOCAL);
    reinterpret_cast<PFN_mock_state>(dlsym(vendor, "mock_state"))()->dev().info.AlgAsymCap = 0x00010000; // RSA
    configure("skf_gdca " SZCA_VENDOR_PATH "\n");
    ASSERT_EQ(login("123456"), CKR_OK);
    CK_OBJECT_HANDLE pub;
    const CK_OBJECT_HANDLE priv = keyPair(CKM_RSA_PKCS_KEY_PAIR_GEN, "short", &pub);
    CK_MECHANISM pkcs1{CKM_RSA_PKCS, nullptr, 0};
    CK_BYTE data[4] = {1, 2, 3, 4}, sig[256];
    CK_ULONG len = 0;
    ASSERT_EQ(f->C_SignInit(s, &pkcs1, priv), CKR_OK);
    ASSERT_EQ(f->C_Sign(s, data, 4, nullptr, &len), CKR_OK);
    ASSERT_EQ(len, 128u);
    std::fill(std::begin(sig), std::end(sig), 0xA5);
    EXPECT_EQ(f->C_Sign(s, data, 4, sig, &len), CKR_DEVICE_ERROR);
    EXPECT_EQ(std::count(sig + 128, std::end(sig), 0xA5), 128);
}

} // namespace
