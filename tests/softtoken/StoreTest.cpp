// The software token's store and cryptography, driven directly through its exported functions:
// durability under SIGKILL, two processes on one folder, secrets at rest, damage, new entries,
// bad input.
#include <dlfcn.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "skf.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kOk = 0, kInvalidParam = 0x0A000006, kReadFileErr = 0x0A000007, kInDataLen = 0x0A000010;
constexpr uint32_t kSm4Ecb = 0x401, kSm4Cbc = 0x402;

using CreateToken = uint32_t (*)(const char *, const char *, const char *, const char *, const char *, const char *);

// A fresh load of the token library.
struct Token {
    void *lib = dlopen(SKFSOFT_PATH, RTLD_NOW | RTLD_LOCAL);
    ~Token() { dlclose(lib); }
    template <class F>
    F fn(const char *name) const
    {
        return reinterpret_cast<F>(dlsym(lib, name));
    }
};
#define SKF(t, name) (t).fn<PFN_##name>(#name)

// Connects the one device and logs in to its application as user; the first failure, if any.
uint32_t login(const Token &t, HAPPLICATION &app, const char *pin = "123456", DEVHANDLE *devOut = nullptr)
{
    DEVHANDLE dev = nullptr;
    uint32_t retry = 0, r = SKF(t, SKF_ConnectDev)("SoftToken-0", &dev);
    if (r == kOk)
        r = SKF(t, SKF_OpenApplication)(dev, "SOFTAPP", &app);
    if (r == kOk)
        r = SKF(t, SKF_VerifyPIN)(app, SKF_USER_TYPE, pin, &retry);
    if (devOut)
        *devOut = dev;
    return r;
}

// One unit of work: a file holding its own name, or a container whose certificate is its name.
uint32_t writeItem(const Token &t, HAPPLICATION app, const std::string &name, bool container)
{
    const auto *data = reinterpret_cast<const uint8_t *>(name.data());
    const auto len = static_cast<uint32_t>(name.size());
    if (container) {
        HCONTAINER c = nullptr;
        uint32_t r = SKF(t, SKF_CreateContainer)(app, name.c_str(), &c);
        if (r == kOk)
            r = SKF(t, SKF_ImportCertificate)(c, 1, data, len);
        SKF(t, SKF_CloseContainer)(c);
        return r;
    }
    const uint32_t r = SKF(t, SKF_CreateFile)(app, name.c_str(), len, 0xFF, 0xFF);
    return r == kOk ? SKF(t, SKF_WriteFile)(app, name.c_str(), 0, data, len) : r;
}

bool hasItem(const Token &t, HAPPLICATION app, const std::string &name, bool container)
{
    Bytes out(name.size() + 8);
    auto len = static_cast<uint32_t>(out.size());
    uint32_t r = kOk;
    if (container) {
        HCONTAINER c = nullptr;
        r = SKF(t, SKF_OpenContainer)(app, name.c_str(), &c);
        if (r == kOk)
            r = SKF(t, SKF_ExportCertificate)(c, 1, out.data(), &len);
        SKF(t, SKF_CloseContainer)(c);
    } else {
        r = SKF(t, SKF_ReadFile)(app, name.c_str(), 0, len, out.data(), &len);
    }
    return r == kOk && std::string(out.begin(), out.begin() + len) == name;
}

std::string slurp(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string hexOf(const Bytes &b, bool upper)
{
    std::string s;
    for (uint8_t c : b) {
        char two[3];
        std::snprintf(two, sizeof two, upper ? "%02X" : "%02x", c);
        s += two;
    }
    return s;
}

Bytes sm4(uint32_t alg, const Bytes &key, const Bytes &iv, bool pad, const Bytes &in, bool encrypt = true)
{
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    Bytes out(in.size() + 16);
    int n = 0, m = 0;
    EVP_CipherInit_ex(ctx, alg == kSm4Ecb ? EVP_sm4_ecb() : EVP_sm4_cbc(), nullptr, key.data(),
                      iv.empty() ? nullptr : iv.data(), encrypt);
    EVP_CIPHER_CTX_set_padding(ctx, pad);
    EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size()));
    EVP_CipherFinal_ex(ctx, out.data() + n, &m);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<size_t>(n + m));
    return out;
}

class Store : public ::testing::Test {
protected:
    void SetUp() override
    {
        // SIGKILL keeps the page cache, so flushes do not decide these tests; a memory-backed
        // folder keeps the rounds fast where there is one.
        std::error_code ec;
        const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::path(::testing::TempDir());
        dir_ = base / ("skfsoft-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        setenv("SKFSOFT_DIR", dir_.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
};

// A child writes files and containers and acknowledges each over a pipe; the parent kills it at a
// random moment. Everything acknowledged is there afterwards and the store loads.
TEST_F(Store, EveryAcknowledgedWriteSurvivesSigkill)
{
    std::mt19937 random(std::random_device{}());
    std::vector<std::pair<std::string, bool>> acked;
    size_t total = 0;
    for (int round = 0; round < 60; ++round) {
        if (round % 10 == 0) { // a fresh store now and then keeps every load short
            fs::remove_all(dir_);
            fs::create_directories(dir_);
            total += acked.size();
            acked.clear();
        }
        int ack[2];
        ASSERT_EQ(pipe(ack), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(ack[0]);
            Token t;
            HAPPLICATION app = nullptr;
            const uint32_t ready = ~0u;
            if (login(t, app) != kOk || write(ack[1], &ready, sizeof ready) != sizeof ready)
                _exit(1);
            for (uint32_t i = 0;; ++i) {
                if (writeItem(t, app, "r" + std::to_string(round) + "-" + std::to_string(i), i % 2) != kOk)
                    _exit(2);
                if (write(ack[1], &i, sizeof i) != sizeof i)
                    _exit(3);
            }
        }
        close(ack[1]);
        // Most kills land among the writes, after one to three of them whatever the disk's speed;
        // every fourth may land while the store is loading.
        uint32_t i = 0;
        const auto take = [&] {
            if (i != ~0u)
                acked.emplace_back("r" + std::to_string(round) + "-" + std::to_string(i), i % 2);
        };
        for (int wait = round % 4 ? 2 + round % 3 : 0; wait > 0; --wait)
            if (read(ack[0], &i, sizeof i) != sizeof i)
                ADD_FAILURE() << "the child stopped early in round " << round;
            else
                take();
        usleep(static_cast<useconds_t>(random() % 8000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself: " << WEXITSTATUS(status);
        while (read(ack[0], &i, sizeof i) == sizeof i)
            take();
        close(ack[0]);

        Token t;
        HAPPLICATION app = nullptr;
        ASSERT_EQ(login(t, app), kOk) << "round " << round;
        for (const auto &[name, container] : acked)
            ASSERT_TRUE(hasItem(t, app, name, container)) << name << " lost in round " << round;
    }
    EXPECT_GE(total + acked.size(), 60u);
}

// Both write their own files and containers and their own bytes of one shared file.
TEST_F(Store, TwoProcessesOnOneFolderLoseNothing)
{
    constexpr int kWrites = 30;
    {
        Token t;
        HAPPLICATION app = nullptr;
        ASSERT_EQ(login(t, app), kOk);
        ASSERT_EQ(SKF(t, SKF_CreateFile)(app, "shared", 2, 0xFF, 0xFF), kOk);
    }
    pid_t children[2];
    for (uint8_t k = 0; k < 2; ++k) {
        children[k] = fork();
        ASSERT_GE(children[k], 0);
        if (children[k] == 0) {
            Token t;
            HAPPLICATION app = nullptr;
            if (login(t, app) != kOk)
                _exit(1);
            for (uint8_t i = 1; i <= kWrites; ++i)
                if (writeItem(t, app, "p" + std::to_string(k) + "-" + std::to_string(i), i % 2) != kOk ||
                    SKF(t, SKF_WriteFile)(app, "shared", k, &i, 1) != kOk)
                    _exit(2);
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    Token t;
    HAPPLICATION app = nullptr;
    ASSERT_EQ(login(t, app), kOk);
    for (int k = 0; k < 2; ++k)
        for (int i = 1; i <= kWrites; ++i)
            EXPECT_TRUE(hasItem(t, app, "p" + std::to_string(k) + "-" + std::to_string(i), i % 2)) << k << " " << i;
    uint8_t shared[2] = {};
    uint32_t len = 2;
    ASSERT_EQ(SKF(t, SKF_ReadFile)(app, "shared", 0, 2, shared, &len), kOk);
    EXPECT_EQ(shared[0], kWrites);
    EXPECT_EQ(shared[1], kWrites);
}

// A damaged store is refused, named on stderr and left as it is; a finished pending copy is taken.
TEST_F(Store, DamageIsReportedAndPendingCopiesAreRecovered)
{
    const fs::path app = dir_ / "SoftToken-0" / "SOFTAPP", kept = app / "files" / "kept.ini";
    const fs::path pending = app / "files" / ".kept.ini.new";
    const auto truncate = [](const fs::path &p) { fs::resize_file(p, fs::file_size(p) / 2); };
    const auto rewrite = [](const fs::path &p, const std::function<void(std::string &)> &edit) {
        std::string s = slurp(p);
        edit(s);
        std::ofstream(p, std::ios::binary) << s;
    };
    const struct {
        const char *what;
        fs::path file;
        std::function<void()> damage;
        uint32_t expected;
        const char *contents; // what "kept" reads afterwards
    } cases[] = {
        {"torn device file", dir_ / "SoftToken-0" / "device.ini",
         [&] { truncate(dir_ / "SoftToken-0" / "device.ini"); }, kReadFileErr, nullptr},
        {"edited retry counter", app / "app.ini",
         [&] { rewrite(app / "app.ini", [](std::string &s) { s.replace(s.find("userremain=") + 11, 2, "99"); }); },
         kReadFileErr, nullptr},
        {"missing device key", dir_ / "SoftToken-0" / "device.key",
         [&] { fs::remove(dir_ / "SoftToken-0" / "device.key"); }, kReadFileErr, nullptr},
        {"flipped byte", kept, [&] { rewrite(kept, [](std::string &s) { s[s.size() / 2] ^= 1; }); }, kReadFileErr,
         nullptr},
        {"finished pending copy", pending, [&] { fs::rename(kept, pending), fs::copy_file(dir_ / "v1", kept); }, kOk,
         "kept-v2"},
        {"torn pending copy", pending,
         [&] { fs::rename(kept, pending), fs::copy_file(dir_ / "v1", kept), truncate(pending); }, kOk, "kept-v1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        {
            Token t;
            HAPPLICATION h = nullptr;
            ASSERT_EQ(login(t, h), kOk);
            ASSERT_EQ(SKF(t, SKF_CreateFile)(h, "kept", 7, 0xFF, 0xFF), kOk);
            ASSERT_EQ(SKF(t, SKF_WriteFile)(h, "kept", 0, reinterpret_cast<const uint8_t *>("kept-v1"), 7), kOk);
            fs::copy_file(kept, dir_ / "v1");
            ASSERT_EQ(SKF(t, SKF_WriteFile)(h, "kept", 5, reinterpret_cast<const uint8_t *>("v2"), 2), kOk);
        }
        c.damage();
        const std::string before = fs::exists(c.file) ? slurp(c.file) : "";
        const fs::path err = dir_ / "stderr";
        fflush(stderr);
        const int saved = dup(2);
        freopen(err.c_str(), "w", stderr);
        Token t;
        HAPPLICATION h = nullptr;
        const uint32_t result = login(t, h);
        fflush(stderr);
        dup2(saved, 2);
        close(saved);
        EXPECT_EQ(result, c.expected);
        if (c.expected != kOk) {
            EXPECT_NE(slurp(err).find(c.file.string()), std::string::npos) << slurp(err);
            EXPECT_EQ(fs::exists(c.file) ? slurp(c.file) : "", before) << "the damaged file was replaced";
            continue;
        }
        char read[8] = {};
        uint32_t len = 7;
        ASSERT_EQ(SKF(t, SKF_ReadFile)(h, "kept", 0, 7, reinterpret_cast<uint8_t *>(read), &len), kOk);
        EXPECT_STREQ(read, c.contents);
        EXPECT_FALSE(fs::exists(pending));
    }
}

EVP_PKEY *rsaKey(const RSAPUBLICKEYBLOB &blob)
{
    OSSL_PARAM_BLD *bld = OSSL_PARAM_BLD_new();
    BIGNUM *n = BN_bin2bn(blob.Modulus, sizeof blob.Modulus, nullptr);
    BIGNUM *e = BN_bin2bn(blob.PublicExponent, sizeof blob.PublicExponent, nullptr);
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, n);
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, e);
    OSSL_PARAM *params = OSSL_PARAM_BLD_to_param(bld);
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY *key = nullptr;
    EVP_PKEY_fromdata_init(ctx);
    EVP_PKEY_fromdata(ctx, &key, EVP_PKEY_PUBLIC_KEY, params);
    EVP_PKEY_CTX_free(ctx);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(bld);
    BN_free(n);
    BN_free(e);
    return key;
}

Bytes rsaEncrypt(EVP_PKEY *key, const Bytes &plain)
{
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(key, nullptr);
    size_t len = 512;
    Bytes out(len);
    EVP_PKEY_encrypt_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    EVP_PKEY_encrypt(ctx, out.data(), &len, plain.data(), plain.size());
    EVP_PKEY_CTX_free(ctx);
    out.resize(len);
    return out;
}

// A session key wrapped to the container's exchange key decrypts to the key OpenSSL wrapped.
void expectExchangeKeyWorks(const Token &t, HCONTAINER c, EVP_PKEY *exchange)
{
    const Bytes key(16, 0x5A), block(16, 0x42);
    const Bytes wrapped = rsaEncrypt(exchange, key);
    SKF_HANDLE h = nullptr;
    ASSERT_EQ(SKF(t, SKF_ImportSessionKey)(c, kSm4Ecb, wrapped.data(), static_cast<uint32_t>(wrapped.size()), &h), kOk);
    Bytes out(16);
    uint32_t len = 16;
    ASSERT_EQ(SKF(t, SKF_EncryptInit)(h, BLOCKCIPHERPARAM{}), kOk);
    ASSERT_EQ(SKF(t, SKF_Encrypt)(h, block.data(), 16, out.data(), &len), kOk);
    EXPECT_EQ(out, sm4(kSm4Ecb, key, {}, false, block));
}

// PINs, the device key and private keys never appear on disk as they are, in hex or raw; files
// are the owner's alone. The imported RSA key works, also after the user PIN is unblocked.
TEST_F(Store, SecretsAtRestAndRsaImport)
{
    const char *adminPin = "Admin#Pin-417", *userPin = "User#Pin-9053", *newPin = "Fresh#Pin-2210";
    const char *lastPin = "Last#Pin-6604";
    const std::string authText = "Known-Auth-Key-7";
    const Bytes authKey(authText.begin(), authText.end());
    EVP_PKEY *exchange = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", size_t{1024});
    unsigned char *derBuf = nullptr;
    const int derLen = i2d_PrivateKey(exchange, &derBuf);
    const Bytes der(derBuf, derBuf + derLen);
    OPENSSL_free(derBuf);
    {
        Token t;
        ASSERT_EQ(
            t.fn<CreateToken>("SKFSOFT_CreateToken")(dir_.c_str(), "SoftToken-0", "SN-1", "Mine", adminPin, userPin),
            kOk);
        EXPECT_NE(t.fn<CreateToken>("SKFSOFT_CreateToken")(dir_.c_str(), "Other", "SN-2", "x", adminPin, userPin), kOk);
        DEVHANDLE dev = nullptr;
        HAPPLICATION app = nullptr;
        ASSERT_EQ(login(t, app, userPin, &dev), kOk);
        uint8_t challenge[16] = {};
        ASSERT_EQ(SKF(t, SKF_GenRandom)(dev, challenge, 8), kOk);
        const std::string initial = "1234567812345678";
        const Bytes answer =
            sm4(kSm4Ecb, Bytes(initial.begin(), initial.end()), {}, false, Bytes(challenge, challenge + 16));
        ASSERT_EQ(SKF(t, SKF_DevAuth)(dev, answer.data(), 16), kOk);
        ASSERT_EQ(SKF(t, SKF_ChangeDevAuthKey)(dev, authKey.data(), 16), kOk);

        HCONTAINER c = nullptr;
        RSAPUBLICKEYBLOB signBlob{};
        ASSERT_EQ(SKF(t, SKF_CreateContainer)(app, "rsa", &c), kOk);
        ASSERT_EQ(SKF(t, SKF_GenRSAKeyPair)(c, 1024, &signBlob), kOk);
        EVP_PKEY *sign = rsaKey(signBlob);
        const Bytes symm(16, 0x33);
        const Bytes wrapped = rsaEncrypt(sign, symm), sealed = sm4(kSm4Ecb, symm, {}, true, der);
        EVP_PKEY_free(sign);
        ASSERT_EQ(SKF(t, SKF_ImportRSAKeyPair)(c, kSm4Ecb, wrapped.data(), static_cast<uint32_t>(wrapped.size()),
                                               sealed.data(), static_cast<uint32_t>(sealed.size())),
                  kOk);
        RSAPUBLICKEYBLOB exchBlob{};
        uint32_t len = sizeof exchBlob;
        ASSERT_EQ(SKF(t, SKF_ExportPublicKey)(c, 0, reinterpret_cast<uint8_t *>(&exchBlob), &len), kOk);
        EVP_PKEY *exported = rsaKey(exchBlob);
        EXPECT_EQ(EVP_PKEY_eq(exported, exchange), 1);
        EVP_PKEY_free(exported);
        expectExchangeKeyWorks(t, c, exchange);
        uint32_t retry = 0;
        ASSERT_EQ(SKF(t, SKF_UnblockPIN)(app, adminPin, newPin, &retry), kOk);
    }
    {
        Token t;
        HAPPLICATION app = nullptr;
        uint32_t retry = 0;
        ASSERT_EQ(login(t, app, newPin), kOk);
        ASSERT_EQ(SKF(t, SKF_ChangePIN)(app, SKF_USER_TYPE, newPin, lastPin, &retry), kOk);
    }
    {
        Token t;
        HAPPLICATION app = nullptr;
        HCONTAINER c = nullptr;
        ASSERT_EQ(login(t, app, lastPin), kOk);
        ASSERT_EQ(SKF(t, SKF_OpenContainer)(app, "rsa", &c), kOk);
        expectExchangeKeyWorks(t, c, exchange);
    }
    EVP_PKEY_free(exchange);

    const std::string inner(der.begin() + derLen / 2, der.begin() + derLen / 2 + 24); // inside a private number
    const std::string secrets[] = {adminPin, userPin, newPin, lastPin, authText, inner};
    std::vector<std::string> needles;
    for (const auto &s : secrets)
        for (const auto &form : {s, hexOf(Bytes(s.begin(), s.end()), false), hexOf(Bytes(s.begin(), s.end()), true)})
            needles.push_back(form);
    for (const auto &entry : fs::recursive_directory_iterator(dir_)) {
        const auto mode = entry.status().permissions() & fs::perms::all;
        EXPECT_EQ(mode, entry.is_directory() ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write)
            << entry.path();
        if (!entry.is_regular_file())
            continue;
        const std::string content = slurp(entry.path());
        for (size_t i = 0; i < needles.size(); ++i)
            EXPECT_EQ(content.find(needles[i]), std::string::npos) << "secret " << i << " in " << entry.path();
    }
}

// Encryption to an outside SM2 key, decrypted by OpenSSL; the blob has room for 16 bytes only.
TEST_F(Store, ExtEccEncryptRoundTripsWithOpenssl)
{
    EVP_PKEY *key = EVP_PKEY_Q_keygen(nullptr, nullptr, "SM2");
    uint8_t point[65];
    size_t pointLen = 0;
    ASSERT_TRUE(EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &pointLen));
    ECCPUBLICKEYBLOB pub{};
    pub.BitLen = 256;
    std::memcpy(pub.XCoordinate + 32, point + 1, 32);
    std::memcpy(pub.YCoordinate + 32, point + 33, 32);
    Token t;
    DEVHANDLE dev = nullptr;
    ASSERT_EQ(SKF(t, SKF_ConnectDev)("SoftToken-0", &dev), kOk);
    const Bytes plain = {'s', 'i', 'x', 't', 'e', 'e', 'n', '-', 'b', 'y', 't', 'e', 's', '-', '-', '!', '+'};
    const struct {
        uint32_t len, expected;
    } cases[] = {{1, kOk}, {16, kOk}, {17, kInDataLen}, {0, kInvalidParam}};
    for (const auto &c : cases) {
        ECCCIPHERBLOB blob{};
        ASSERT_EQ(SKF(t, SKF_ExtECCEncrypt)(dev, &pub, plain.data(), c.len, &blob), c.expected) << c.len;
        if (c.expected != kOk)
            continue;
        // OpenSSL's form: SEQUENCE { INTEGER x, INTEGER y, OCTET STRING hash, OCTET STRING cipher }, all short.
        const auto tlv = [](uint8_t tag, Bytes body) {
            body.insert(body.begin(), {tag, static_cast<uint8_t>(body.size())});
            return body;
        };
        const auto integer = [&](const uint8_t *p) {
            Bytes b(p, p + 32);
            while (b.size() > 1 && b[0] == 0 && !(b[1] & 0x80))
                b.erase(b.begin());
            if (b[0] & 0x80)
                b.insert(b.begin(), 0);
            return tlv(2, b);
        };
        Bytes body = integer(blob.XCoordinate + 32);
        for (const Bytes &part : {integer(blob.YCoordinate + 32), tlv(4, Bytes(blob.HASH, blob.HASH + 32)),
                                  tlv(4, Bytes(blob.Cipher, blob.Cipher + blob.CipherLen))})
            body.insert(body.end(), part.begin(), part.end());
        const Bytes der = tlv(0x30, body);
        EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(key, nullptr);
        Bytes back(64);
        size_t backLen = back.size();
        EVP_PKEY_decrypt_init(ctx);
        EXPECT_EQ(EVP_PKEY_decrypt(ctx, back.data(), &backLen, der.data(), der.size()), 1);
        EVP_PKEY_CTX_free(ctx);
        back.resize(backLen);
        EXPECT_EQ(back, Bytes(plain.begin(), plain.begin() + c.len));
    }
    EVP_PKEY_free(key);
}

// SM4 through the token equals OpenSSL whatever the split into calls, including a context reused
// by a second initialisation.
TEST_F(Store, Sm4MatchesOpensslInEverySplit)
{
    unsetenv("SKFSOFT_DIR");
    Token t;
    DEVHANDLE dev = nullptr;
    ASSERT_EQ(SKF(t, SKF_ConnectDev)("SoftToken-0", &dev), kOk);
    const Bytes key = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
    Bytes data(100);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7);
    const struct {
        uint32_t alg, padding, len, split;
    } cases[] = {
        {kSm4Ecb, 0, 16, 16}, {kSm4Ecb, 1, 37, 5}, {kSm4Cbc, 1, 32, 16}, {kSm4Cbc, 0, 96, 40}, {kSm4Cbc, 1, 100, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.alg << "/" << c.padding << "/" << c.len << "/" << c.split);
        SKF_HANDLE h = nullptr;
        ASSERT_EQ(SKF(t, SKF_SetSymmKey)(dev, key.data(), c.alg, &h), kOk);
        BLOCKCIPHERPARAM param{};
        param.IVLen = c.alg == kSm4Cbc ? 16 : 0;
        std::memset(param.IV, 0x11, 16);
        param.PaddingType = c.padding;
        const Bytes in(data.begin(), data.begin() + c.len);
        const Bytes expected = sm4(c.alg, key, c.alg == kSm4Cbc ? Bytes(16, 0x11) : Bytes{}, c.padding, in);
        for (int pass = 0; pass < 2; ++pass) {
            ASSERT_EQ(SKF(t, SKF_EncryptInit)(h, param), kOk);
            Bytes out(128);
            uint32_t first = 128, second = 128, last = 128;
            ASSERT_EQ(SKF(t, SKF_EncryptUpdate)(h, in.data(), c.split, out.data(), &first), kOk);
            ASSERT_EQ(SKF(t, SKF_EncryptUpdate)(h, in.data() + c.split, c.len - c.split, out.data() + first, &second),
                      kOk);
            ASSERT_EQ(SKF(t, SKF_EncryptFinal)(h, out.data() + first + second, &last), kOk);
            out.resize(first + second + last);
            EXPECT_EQ(out, expected);
            Bytes back(out.size());
            uint32_t backLen = static_cast<uint32_t>(back.size());
            ASSERT_EQ(SKF(t, SKF_DecryptInit)(h, param), kOk);
            ASSERT_EQ(SKF(t, SKF_Decrypt)(h, out.data(), static_cast<uint32_t>(out.size()), back.data(), &backLen),
                      kOk);
            back.resize(backLen);
            EXPECT_EQ(back, in);
        }
        SKF(t, SKF_CloseHandle)(h);
    }
}

// Bad input from a host never crashes the token: null pointers, stale handles, short buffers.
TEST_F(Store, RefusesBadInputDirectly)
{
    constexpr uint32_t kNotSupported = 0x0A000003, kInvalidHandle = 0x0A000005, kBufferTooSmall = 0x0A000020;
    Token t;
    DEVHANDLE dev = nullptr;
    ASSERT_EQ(SKF(t, SKF_ConnectDev)("SoftToken-0", &dev), kOk);
    uint32_t len = 0;
    DEVINFO info;
    void *bogus = reinterpret_cast<void *>(0x1234);
    const struct {
        const char *what;
        uint32_t result, expected;
    } cases[] = {
        {"null name", SKF(t, SKF_ConnectDev)(nullptr, &dev), kInvalidParam},
        {"null info", SKF(t, SKF_GetDevInfo)(dev, nullptr), kInvalidParam},
        {"foreign device", SKF(t, SKF_GetDevInfo)(bogus, &info), kInvalidHandle},
        {"foreign app", SKF(t, SKF_VerifyPIN)(bogus, 1, "123456", &len), kInvalidHandle},
        {"foreign container", SKF(t, SKF_ECCSignData)(bogus, nullptr, 0, nullptr), kInvalidHandle},
        {"foreign key", SKF(t, SKF_Encrypt)(bogus, nullptr, 0, nullptr, &len), kInvalidHandle},
        {"device as key", SKF(t, SKF_Encrypt)(dev, nullptr, 0, nullptr, &len), kInvalidHandle},
        {"unsupported", SKF(t, SKF_Transmit)(dev, nullptr, 0, nullptr, &len), kNotSupported},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.result, c.expected) << c.what;

    char list[4];
    len = sizeof list;
    EXPECT_EQ(SKF(t, SKF_EnumDev)(1, list, &len), kBufferTooSmall);
    EXPECT_EQ(len, sizeof "SoftToken-0" + 1);
    EXPECT_EQ(SKF(t, SKF_DisConnectDev)(dev), kOk);
    EXPECT_EQ(SKF(t, SKF_DisConnectDev)(dev), kInvalidHandle);
}

} // namespace
