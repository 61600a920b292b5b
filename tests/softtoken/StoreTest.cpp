// The software token's store and cryptography, driven directly through its exported functions:
// durability under SIGKILL, two processes on one folder, secrets at rest, damage, new entries,
// bad input.
#include <dlfcn.h>
#include <malloc.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <openssl/asn1.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "skf.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

constexpr uint32_t kOk = 0, kInvalidParam = 0x0A000006, kReadFileErr = 0x0A000007, kInDataLen = 0x0A000010;
constexpr uint32_t kSm4Ecb = 0x401, kSm4Cbc = 0x402;

using CreateToken = uint32_t (*)(const char *, const char *, const char *, const char *, const char *, const char *);

#define SKF(t, name) reinterpret_cast<PFN_##name>(dlsym((t).lib, #name))

// What the token hands back to OpenSSL (OpenSSL's own copies are not its) or to the C++ heap is
// searched for the secrets held here.
std::vector<std::string> secrets;
int leaks = 0;
void *scan(void *p, bool mine = true)
{
    for (const std::string &s : secrets)
        leaks += p && mine && memmem(p, malloc_usable_size(p), s.data(), s.size());
    return p;
}
const bool hooked = CRYPTO_set_mem_functions(
    nullptr, nullptr, [](void *p, const char *file, int) { free(scan(p, file && strstr(file, "softtoken/"))); });

// A fresh load of the token library.
struct Token {
    void *lib = dlopen(SKFSOFT_PATH, RTLD_NOW | RTLD_LOCAL);
    DEVHANDLE dev = nullptr;
    HAPPLICATION app = nullptr;
    ~Token() { dlclose(lib); }
    // Connects the one device and logs in to its application as user; the first failure, if any.
    uint32_t login(const char *pin = "123456")
    {
        uint32_t retry = 0, r = SKF(*this, SKF_ConnectDev)("SoftToken-0", &dev);
        r = r != kOk ? r : SKF(*this, SKF_OpenApplication)(dev, "SOFTAPP", &app);
        return r != kOk ? r : SKF(*this, SKF_VerifyPIN)(app, SKF_USER_TYPE, pin, &retry);
    }
};

const auto u8 = [](const std::string &s) { return reinterpret_cast<const uint8_t *>(s.data()); };
const auto item = [](char tag, int a, uint32_t b) { return tag + std::to_string(a) + "-" + std::to_string(b); };
const auto slurp = [](const fs::path &p) {
    return std::string(std::istreambuf_iterator<char>(std::ifstream(p, std::ios::binary).rdbuf()), {});
};

// One unit of work: a file holding its own name, or a container whose certificate is its name.
uint32_t writeItem(const Token &t, const std::string &name, bool container)
{
    const auto len = static_cast<uint32_t>(name.size());
    HCONTAINER c = nullptr;
    if (!container) {
        const uint32_t r = SKF(t, SKF_CreateFile)(t.app, name.c_str(), len, 0xFF, 0xFF);
        return r == kOk ? SKF(t, SKF_WriteFile)(t.app, name.c_str(), 0, u8(name), len) : r;
    }
    uint32_t r = SKF(t, SKF_CreateContainer)(t.app, name.c_str(), &c);
    r = r == kOk ? SKF(t, SKF_ImportCertificate)(c, 1, u8(name), len) : r;
    SKF(t, SKF_CloseContainer)(c);
    return r;
}

bool hasItem(const Token &t, const std::string &name, bool container)
{
    Bytes out(name.size() + 8);
    auto len = static_cast<uint32_t>(out.size());
    HCONTAINER c = nullptr;
    uint32_t r = container ? SKF(t, SKF_OpenContainer)(t.app, name.c_str(), &c)
                           : SKF(t, SKF_ReadFile)(t.app, name.c_str(), 0, len, out.data(), &len);
    if (container && r == kOk) {
        r = SKF(t, SKF_ExportCertificate)(c, 1, out.data(), &len);
        SKF(t, SKF_CloseContainer)(c);
    }
    return r == kOk && std::string(out.begin(), out.begin() + len) == name;
}

// Runs body in a child that has logged in; the child's exit code is body's result.
pid_t spawn(const std::function<int(Token &)> &body)
{
    const pid_t pid = fork();
    if (pid == 0) {
        Token t;
        _exit(t.login() != kOk ? 1 : body(t));
    }
    return pid;
}

std::string hex(const void *p, size_t n)
{
    std::string s(2 * n + 1, '\0');
    OPENSSL_buf2hexstr_ex(s.data(), s.size(), nullptr, static_cast<const unsigned char *>(p), n, '\0');
    return s.substr(0, 2 * n);
}

// DER for a SEQUENCE of values in OpenSSL's generator syntax, such as "INTEGER:0x01".
Bytes derSequence(std::initializer_list<std::string> values)
{
    ASN1_SEQUENCE_ANY *seq = sk_ASN1_TYPE_new_null();
    for (const std::string &v : values)
        sk_ASN1_TYPE_push(seq, ASN1_generate_nconf(v.c_str(), nullptr));
    unsigned char *der = nullptr;
    const int len = i2d_ASN1_SEQUENCE_ANY(seq, &der);
    Bytes out(der, der + std::max(len, 0));
    OPENSSL_free(der);
    sk_ASN1_TYPE_pop_free(seq, ASN1_TYPE_free);
    return out;
}

Key rsaKey(const RSAPUBLICKEYBLOB &blob)
{
    const Bytes der = derSequence({"INTEGER:0x" + hex(blob.Modulus, sizeof blob.Modulus),
                                   "INTEGER:0x" + hex(blob.PublicExponent, sizeof blob.PublicExponent)});
    const unsigned char *p = der.data();
    return Key(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, static_cast<long>(der.size())), EVP_PKEY_free);
}

// OpenSSL's public-key encryption or decryption in the key's default padding, PKCS#1 v1.5 for RSA;
// empty where it fails.
Bytes pkeyCipher(EVP_PKEY *key, const Bytes &in, bool encrypt)
{
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(key, nullptr);
    size_t len = 512;
    Bytes out(len);
    if ((encrypt ? EVP_PKEY_encrypt_init : EVP_PKEY_decrypt_init)(ctx) != 1 ||
        (encrypt ? EVP_PKEY_encrypt : EVP_PKEY_decrypt)(ctx, out.data(), &len, in.data(), in.size()) != 1)
        len = 0;
    EVP_PKEY_CTX_free(ctx);
    out.resize(len);
    return out;
}

Bytes sm4(uint32_t alg, const Bytes &key, const Bytes &iv, bool pad, const Bytes &in)
{
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    Bytes out(in.size() + 16);
    int n = 0, m = 0;
    EVP_EncryptInit_ex(ctx, alg == kSm4Ecb ? EVP_sm4_ecb() : EVP_sm4_cbc(), nullptr, key.data(),
                       iv.empty() ? nullptr : iv.data());
    EVP_CIPHER_CTX_set_padding(ctx, pad);
    EVP_EncryptUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size()));
    EVP_EncryptFinal_ex(ctx, out.data() + n, &m);
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
        fresh();
        setenv("SKFSOFT_DIR", dir_.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir_); }
    void fresh() const
    {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }

    fs::path dir_;
};

// Two children write files and containers into one folder, each also setting its own byte of a
// shared file to its count, and acknowledge each write over a pipe; the parent kills both at a
// random moment. Everything acknowledged is there afterwards and the store loads.
TEST_F(Store, AcknowledgedWritesOfTwoProcessesSurviveSigkill)
{
    std::mt19937 random(std::random_device{}());
    std::vector<std::pair<std::string, bool>> acked;
    size_t total = 0;
    for (int round = 0; round < 60; ++round) {
        if (round % 10 == 0) { // a fresh store now and then keeps every load short
            fresh();
            total += acked.size();
            acked.clear();
            Token t;
            ASSERT_EQ(t.login(), kOk);
            ASSERT_EQ(SKF(t, SKF_CreateFile)(t.app, "shared", 2, 0xFF, 0xFF), kOk);
        }
        int ack[2][2], go[2];
        pid_t child[2];
        uint8_t last[2] = {};
        ASSERT_EQ(pipe(go), 0);
        for (uint8_t k = 0; k < 2; ++k) {
            ASSERT_EQ(pipe(ack[k]), 0);
            // The first acknowledgement, 0, says the child has logged in; it then waits for go to
            // close. The count stops short of wrapping its byte, which would repeat a name: a child
            // that gets there, as one may while flock keeps the other waiting, waits for its kill.
            child[k] = spawn([&](Token &t) {
                close(go[1]);
                for (uint8_t i = 0; i < 64; ++i) {
                    const bool written = !i || (writeItem(t, item('a' + k, round, i), i % 2) == kOk &&
                                                SKF(t, SKF_WriteFile)(t.app, "shared", k, &i, 1) == kOk);
                    if (!written || write(ack[k][1], &i, 1) != 1 || (!i && read(go[0], &i, 1) != 0))
                        return 2;
                }
                return pause();
            });
            ASSERT_GE(child[k], 0);
            close(ack[k][1]);
        }
        const auto take = [&](uint8_t k, uint8_t i) {
            if (i)
                acked.emplace_back(item('a' + k, round, i), i % 2);
            last[k] = std::max(last[k], i);
        };
        const auto await = [&](int acks) {
            for (uint8_t i = 0; acks > 0; --acks)
                for (uint8_t k = 0; k < 2; ++k)
                    if (read(ack[k][0], &i, 1) != 1)
                        ADD_FAILURE() << "child " << int{k} << " stopped early in round " << round;
                    else
                        take(k, i);
        };
        // Both start writing at once. Most kills land among the writes, after one to three of them
        // whatever the disk's speed; every fourth may land while the store is loading.
        await(round % 4 ? 1 : 0);
        close(go[1]);
        await(round % 4 ? 1 + round % 3 : 0);
        usleep(static_cast<useconds_t>(random() % 2000));
        kill(child[0], SIGKILL); // both, before an assertion can return
        kill(child[1], SIGKILL);
        close(go[0]);
        for (uint8_t k = 0, i = 0; k < 2; ++k) {
            int status = -1;
            waitpid(child[k], &status, 0);
            ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself: " << WEXITSTATUS(status);
            while (read(ack[k][0], &i, 1) == 1)
                take(k, i);
            close(ack[k][0]);
        }

        Token t;
        uint8_t shared[2] = {};
        uint32_t len = 2;
        ASSERT_EQ(t.login(), kOk) << "round " << round;
        for (const auto &[name, container] : acked)
            ASSERT_TRUE(hasItem(t, name, container)) << name << " lost in round " << round;
        ASSERT_EQ(SKF(t, SKF_ReadFile)(t.app, "shared", 0, 2, shared, &len), kOk);
        for (int k = 0; k < 2; ++k) // the last acknowledged count, or the one written after it
            EXPECT_TRUE(!last[k] || shared[k] == last[k] || shared[k] == last[k] + 1) << k << " in round " << round;
    }
    EXPECT_GE(total + acked.size(), 120u);
}

// A damaged store is refused, named on stderr and left as it is; a finished pending copy is taken.
TEST_F(Store, DamageIsReportedAndPendingCopiesAreRecovered)
{
    const fs::path dev = dir_ / "SoftToken-0", app = dev / "SOFTAPP", kept = app / "files" / "kept.ini";
    const fs::path pending = app / "files" / ".kept.ini.new", v1 = dir_ / "v1";
    using Damage = std::function<void(const fs::path &)>;
    const Damage truncate = [](const fs::path &p) { fs::resize_file(p, fs::file_size(p) / 2); };
    const auto edit = [](const std::function<void(std::string &)> &change) {
        return [change](const fs::path &p) {
            std::string s = slurp(p);
            change(s);
            std::ofstream(p, std::ios::binary) << s;
        };
    };
    // A writer killed before its rename: the old copy in place, the new one beside it.
    const Damage asPending = [&](const fs::path &p) { fs::rename(kept, p); };
    const Damage oldBack = [&](const fs::path &) { fs::copy_file(v1, kept); };
    const Damage editCounter = edit([](std::string &s) { s.replace(s.find("userremain=") + 11, 2, "99"); });
    const struct {
        const char *what;
        fs::path file;
        std::vector<Damage> damage; // in this order
        const char *contents;       // what "kept" reads afterwards; none where the store is refused
    } cases[] = {
        {"torn device file", dev / "device.ini", {truncate}, nullptr},
        {"edited retry counter", app / "app.ini", {editCounter}, nullptr},
        {"missing device key", dev / "device.key", {[](const fs::path &p) { fs::remove(p); }}, nullptr},
        {"flipped byte", kept, {edit([](std::string &s) { s[s.size() / 2] ^= 1; })}, nullptr},
        {"finished pending copy", pending, {asPending, oldBack}, "kept-v2"},
        {"torn pending copy", pending, {asPending, oldBack, truncate}, "kept-v1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        {
            Token t;
            ASSERT_EQ(t.login(), kOk);
            ASSERT_EQ(SKF(t, SKF_CreateFile)(t.app, "kept", 7, 0xFF, 0xFF), kOk);
            ASSERT_EQ(SKF(t, SKF_WriteFile)(t.app, "kept", 0, u8("kept-v1"), 7), kOk);
            fs::copy_file(kept, v1);
            ASSERT_EQ(SKF(t, SKF_WriteFile)(t.app, "kept", 5, u8("v2"), 2), kOk);
        }
        for (const Damage &damage : c.damage)
            damage(c.file);
        const std::string before = slurp(c.file);
        testing::internal::CaptureStderr();
        Token t;
        const uint32_t result = t.login();
        const std::string err = testing::internal::GetCapturedStderr();
        if (!c.contents) {
            EXPECT_EQ(result, kReadFileErr);
            EXPECT_NE(err.find(c.file.string()), std::string::npos) << err;
            EXPECT_EQ(slurp(c.file), before) << "the damaged file was replaced";
            continue;
        }
        std::string read(7, '\0');
        uint32_t len = 7;
        ASSERT_EQ(result, kOk);
        ASSERT_EQ(SKF(t, SKF_ReadFile)(t.app, "kept", 0, 7, reinterpret_cast<uint8_t *>(read.data()), &len), kOk);
        EXPECT_EQ(read, c.contents);
        EXPECT_FALSE(fs::exists(pending));
    }
}

// A session key wrapped to the container's exchange key decrypts to the key OpenSSL wrapped.
void expectExchangeKeyWorks(const Token &t, HCONTAINER c, EVP_PKEY *exchange)
{
    const Bytes key(16, 0x5A), block(16, 0x42), wrapped = pkeyCipher(exchange, key, true);
    SKF_HANDLE h = nullptr;
    ASSERT_EQ(SKF(t, SKF_ImportSessionKey)(c, kSm4Ecb, wrapped.data(), static_cast<uint32_t>(wrapped.size()), &h), kOk);
    Bytes out(16);
    uint32_t len = 16;
    ASSERT_EQ(SKF(t, SKF_EncryptInit)(h, BLOCKCIPHERPARAM{}), kOk);
    ASSERT_EQ(SKF(t, SKF_Encrypt)(h, block.data(), 16, out.data(), &len), kOk);
    EXPECT_EQ(out, sm4(kSm4Ecb, key, {}, false, block));
}

// PINs, the device key and private keys never appear on disk as they are, in hex or raw; files
// are the owner's alone. The imported RSA key works, also after the user PIN is unblocked and
// changed.
TEST_F(Store, SecretsAtRestAndRsaImport)
{
    const char *adminPin = "Admin#Pin-417", *userPin = "User#Pin-9053", *newPin = "Fresh#Pin-2210";
    const char *lastPin = "Last#Pin-6604";
    const std::string authKey = "Known-Auth-Key-7";
    const Key exchange(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", size_t{1024}), EVP_PKEY_free);
    unsigned char *derBuf = nullptr;
    const int derLen = i2d_PrivateKey(exchange.get(), &derBuf);
    const Bytes der(derBuf, derBuf + derLen);
    OPENSSL_free(derBuf);
    const std::string inner(der.begin() + derLen / 2, der.begin() + derLen / 2 + 24); // inside a private number
    {
        Token t;
        const auto create = reinterpret_cast<CreateToken>(dlsym(t.lib, "SKFSOFT_CreateToken"));
        ASSERT_EQ(create(dir_.c_str(), "SoftToken-0", "SN-1", "Mine", adminPin, userPin), kOk);
        EXPECT_NE(create(dir_.c_str(), "Other", "SN-2", "x", adminPin, userPin), kOk);
        const std::string ini = slurp(dir_ / "SoftToken-0" / "SOFTAPP" / "app.ini");
        uint8_t salt[16], derived[64]; // the user PIN's verifier, then the key that seals the token key
        OPENSSL_hexstr2buf_ex(salt, 16, nullptr, ini.substr(ini.find("usersalt=") + 9, 32).c_str(), '\0');
        PKCS5_PBKDF2_HMAC(userPin, static_cast<int>(strlen(userPin)), salt, 16,
                          std::stoi(ini.substr(ini.find("useriterations=") + 15)), EVP_sha256(), 64, derived);
        const Bytes symm(16, 0x33), junk = sm4(kSm4Ecb, symm, {}, false, Bytes(32));
        std::vector<std::string> known = {inner, std::string(symm.begin(), symm.end()), {derived + 32, derived + 64}};
        secrets.swap(known); // from here a PIN check, a refused import and a closed session key as well
        ASSERT_EQ(t.login(userPin), kOk);
        uint8_t challenge[16] = {};
        ASSERT_EQ(SKF(t, SKF_GenRandom)(t.dev, challenge, 8), kOk);
        const std::string initial = "1234567812345678";
        const Bytes answer =
            sm4(kSm4Ecb, Bytes(initial.begin(), initial.end()), {}, false, Bytes(challenge, challenge + 16));
        ASSERT_EQ(SKF(t, SKF_DevAuth)(t.dev, answer.data(), 16), kOk);
        ASSERT_EQ(SKF(t, SKF_ChangeDevAuthKey)(t.dev, u8(authKey), 16), kOk);

        HCONTAINER c = nullptr;
        SKF_HANDLE h = nullptr;
        RSAPUBLICKEYBLOB signBlob{}, exchBlob{};
        uint32_t len = sizeof exchBlob, retry = 0;
        ASSERT_EQ(SKF(t, SKF_CreateContainer)(t.app, "rsa", &c), kOk);
        ASSERT_EQ(SKF(t, SKF_GenRSAKeyPair)(c, 1024, &signBlob), kOk);
        const Bytes wrapped = pkeyCipher(rsaKey(signBlob).get(), symm, true),
                    sealed = sm4(kSm4Ecb, symm, {}, true, der);
        ASSERT_EQ(SKF(t, SKF_ImportRSAKeyPair)(c, kSm4Ecb, wrapped.data(), static_cast<uint32_t>(wrapped.size()),
                                               sealed.data(), static_cast<uint32_t>(sealed.size())),
                  kOk);
        EXPECT_EQ(SKF(t, SKF_ImportRSAKeyPair)(c, kSm4Ecb, wrapped.data(), 128, junk.data(), 32), 0x0A000011u);
        ASSERT_EQ(SKF(t, SKF_SetSymmKey)(t.dev, symm.data(), kSm4Ecb, &h), kOk);
        EXPECT_EQ(SKF(t, SKF_CloseHandle)(h), kOk);
        secrets.swap(known);
        EXPECT_TRUE(hooked && leaks == 0) << leaks << " freed copies of a secret";
        ASSERT_EQ(SKF(t, SKF_ExportPublicKey)(c, 0, reinterpret_cast<uint8_t *>(&exchBlob), &len), kOk);
        EXPECT_EQ(EVP_PKEY_eq(rsaKey(exchBlob).get(), exchange.get()), 1);
        expectExchangeKeyWorks(t, c, exchange.get());
        ASSERT_EQ(SKF(t, SKF_UnblockPIN)(t.app, adminPin, newPin, &retry), kOk);
    }
    for (const char *pin : {newPin, lastPin}) {
        Token t;
        HCONTAINER c = nullptr;
        uint32_t retry = 0;
        ASSERT_EQ(t.login(pin), kOk);
        ASSERT_EQ(SKF(t, SKF_OpenContainer)(t.app, "rsa", &c), kOk);
        expectExchangeKeyWorks(t, c, exchange.get());
        if (pin == newPin) {
            ASSERT_EQ(SKF(t, SKF_ChangePIN)(t.app, SKF_USER_TYPE, newPin, lastPin, &retry), kOk);
        }
    }

    std::vector<std::string> needles;
    for (const std::string &s :
         {std::string(adminPin), std::string(userPin), std::string(newPin), std::string(lastPin), authKey, inner}) {
        std::string upper = hex(s.data(), s.size()), lower = upper;
        std::transform(upper.begin(), upper.end(), lower.begin(), [](char ch) { return std::tolower(ch); });
        needles.insert(needles.end(), {s, upper, lower});
    }
    for (const auto &entry : fs::recursive_directory_iterator(dir_)) {
        const auto mode = entry.status().permissions() & fs::perms::all;
        EXPECT_EQ(mode, entry.is_directory() ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write)
            << entry.path();
        const std::string content = entry.is_regular_file() ? slurp(entry.path()) : "";
        for (size_t i = 0; i < needles.size(); ++i)
            EXPECT_EQ(content.find(needles[i]), std::string::npos) << "secret " << i << " in " << entry.path();
    }
}

// Encryption to an outside SM2 key, decrypted by OpenSSL; the blob has room for 16 bytes only.
TEST_F(Store, ExtEccEncryptRoundTripsWithOpenssl)
{
    const Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "SM2"), EVP_PKEY_free);
    uint8_t point[65];
    size_t pointLen = 0;
    ASSERT_TRUE(EVP_PKEY_get_octet_string_param(key.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &pointLen));
    ECCPUBLICKEYBLOB pub{};
    pub.BitLen = 256;
    std::memcpy(pub.XCoordinate + 32, point + 1, 32);
    std::memcpy(pub.YCoordinate + 32, point + 33, 32);
    Token t;
    ASSERT_EQ(SKF(t, SKF_ConnectDev)("SoftToken-0", &t.dev), kOk);
    const std::string plain = "sixteen-bytes--!+";
    for (const auto &[len, expected] :
         {std::pair<uint32_t, uint32_t>{1, kOk}, {16, kOk}, {17, kInDataLen}, {0, kInvalidParam}}) {
        ECCCIPHERBLOB blob{};
        ASSERT_EQ(SKF(t, SKF_ExtECCEncrypt)(t.dev, &pub, u8(plain), len, &blob), expected) << len;
        if (expected != kOk)
            continue;
        // OpenSSL's form: SEQUENCE { INTEGER x, INTEGER y, OCTET STRING hash, OCTET STRING cipher }.
        const Bytes der =
            derSequence({"INTEGER:0x" + hex(blob.XCoordinate + 32, 32), "INTEGER:0x" + hex(blob.YCoordinate + 32, 32),
                         "FORMAT:HEX,OCTETSTRING:" + hex(blob.HASH, 32),
                         "FORMAT:HEX,OCTETSTRING:" + hex(blob.Cipher, blob.CipherLen)});
        const Bytes back = pkeyCipher(key.get(), der, false);
        EXPECT_EQ(std::string(back.begin(), back.end()), plain.substr(0, len));
    }
}

// SM4 through the token equals OpenSSL whatever the split into calls, including a context reused
// by a second initialisation.
TEST_F(Store, Sm4MatchesOpensslInEverySplit)
{
    unsetenv("SKFSOFT_DIR");
    Token t;
    ASSERT_EQ(SKF(t, SKF_ConnectDev)("SoftToken-0", &t.dev), kOk);
    const Bytes key = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
    Bytes data(100);
    std::iota(data.begin(), data.end(), uint8_t{7});
    const struct {
        uint32_t alg, padding, len, split;
    } cases[] = {
        {kSm4Ecb, 0, 16, 16}, {kSm4Ecb, 1, 37, 5}, {kSm4Cbc, 1, 32, 16}, {kSm4Cbc, 0, 96, 40}, {kSm4Cbc, 1, 100, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.alg << "/" << c.padding << "/" << c.len << "/" << c.split);
        SKF_HANDLE h = nullptr;
        ASSERT_EQ(SKF(t, SKF_SetSymmKey)(t.dev, key.data(), c.alg, &h), kOk);
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
    uint32_t len = 0, room = 4;
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
        {"unterminated label", SKF(t, SKF_SetLabel)(dev, std::vector<char>(40, 'L').data()), kInvalidParam},
        {"unterminated PIN",
         SKF(t, SKF_CreateApplication)(dev, "SECOND", std::vector<char>(40, '1').data(), 9, "123456", 9, 0xFF, &bogus),
         0x0A000027},
        {"short list", SKF(t, SKF_EnumDev)(1, std::vector<char>(room).data(), &room), kBufferTooSmall},
        {"disconnect", SKF(t, SKF_DisConnectDev)(dev), kOk},
        {"disconnected", SKF(t, SKF_DisConnectDev)(dev), kInvalidHandle},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.result, c.expected) << c.what;
    EXPECT_EQ(room, sizeof "SoftToken-0" + 1);
}

} // namespace

// Each block is searched before the next operator in line frees it, the sanitizer's where there is one.
void operator delete(void *p) noexcept
{
    static const auto next = reinterpret_cast<void (*)(void *)>(dlsym(RTLD_NEXT, "_ZdlPv"));
    next(scan(p));
}
void operator delete(void *p, size_t) noexcept
{
    operator delete(p);
}
