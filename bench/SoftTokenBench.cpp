// The software token against OpenSSL's EVP doing the same work in the same process. Each case runs
// the token and EVP in turn inside one loop and reports ratio = token time / EVP time.
#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <unistd.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "skf.h"

namespace {

// CPU time of this thread: other work on a shared machine then slows neither side.
struct Clock {
    using duration = std::chrono::nanoseconds;
    static duration now()
    {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
    }
};
using Bytes = std::vector<uint8_t>;
constexpr size_t kBulk = 64u << 20;
constexpr uint32_t kSm4Cbc = 0x402, kSm3 = 1;

[[noreturn]] void die(const char *why)
{
    std::fprintf(stderr, "softtoken_bench: %s\n", why);
    std::exit(1);
}

void check(bool ok, const char *what)
{
    if (!ok)
        die(what);
}

// The token with a store in a fresh folder, logged in, with one SM2 key pair in a container.
class Token {
public:
    Token()
    {
        // A memory-backed folder where there is one: BM_WriteFile then measures the token's own work,
        // not the disk's flushes.
        std::error_code ec;
        const auto base = std::filesystem::is_directory("/dev/shm", ec) ? std::filesystem::path("/dev/shm")
                                                                        : std::filesystem::temp_directory_path();
        folder_ = base / ("softtoken-bench-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder_);
        setenv("SKFSOFT_DIR", folder_.c_str(), 1);
        // Another build of the token (an older one, say) can be measured the same way.
        const char *other = std::getenv("SOFTTOKEN_BENCH_LIBRARY");
        lib_ = dlopen(other && *other ? other : SKFSOFT_PATH, RTLD_NOW | RTLD_LOCAL);
        check(lib_ != nullptr, "cannot load the token");
        uint32_t retry = 0;
        check(fn<PFN_SKF_ConnectDev>("SKF_ConnectDev")("SoftToken-0", &dev) == 0, "connect");
        check(fn<PFN_SKF_OpenApplication>("SKF_OpenApplication")(dev, "SOFTAPP", &app) == 0, "open");
        check(fn<PFN_SKF_VerifyPIN>("SKF_VerifyPIN")(app, SKF_USER_TYPE, "123456", &retry) == 0, "login");
        check(fn<PFN_SKF_CreateContainer>("SKF_CreateContainer")(app, "bench", &container) == 0, "container");
        check(fn<PFN_SKF_GenECCKeyPair>("SKF_GenECCKeyPair")(container, 0x00020100, &pub) == 0, "key pair");
    }
    ~Token()
    {
        dlclose(lib_);
        std::filesystem::remove_all(folder_);
    }
    template <class F>
    F fn(const char *name) const
    {
        auto f = reinterpret_cast<F>(dlsym(lib_, name));
        check(f != nullptr, name);
        return f;
    }

    DEVHANDLE dev = nullptr;
    HAPPLICATION app = nullptr;
    HCONTAINER container = nullptr;
    ECCPUBLICKEYBLOB pub{};

private:
    std::filesystem::path folder_;
    void *lib_ = nullptr;
};

Token &token()
{
    static Token t;
    return t;
}

// The same public key as an EVP_PKEY, and a private key of OpenSSL's own for the signing side.
EVP_PKEY *publicKey(const ECCPUBLICKEYBLOB &blob)
{
    uint8_t point[65] = {0x04};
    std::memcpy(point + 1, blob.XCoordinate + 32, 32);
    std::memcpy(point + 33, blob.YCoordinate + 32, 32);
    char group[] = "SM2";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
                           OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point),
                           OSSL_PARAM_construct_end()};
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new_from_name(nullptr, "SM2", nullptr);
    EVP_PKEY *key = nullptr;
    check(EVP_PKEY_fromdata_init(ctx) == 1 && EVP_PKEY_fromdata(ctx, &key, EVP_PKEY_PUBLIC_KEY, params) == 1,
          "public key");
    EVP_PKEY_CTX_free(ctx);
    return key;
}

// Times a (the token) and b (EVP) in turn, iteration by iteration, so that load on the machine hits
// both alike.
template <class A, class B>
void sideBySide(benchmark::State &state, A &&a, B &&b, size_t bytes = 0)
{
    Clock::duration tokenTime{}, evpTime{};
    bool tokenFirst = true; // taking turns to go first cancels what the first one pays for the second
    for (auto _ : state) {
        const auto t0 = Clock::now();
        tokenFirst ? a() : b();
        const auto t1 = Clock::now();
        tokenFirst ? b() : a();
        const auto t2 = Clock::now();
        tokenTime += tokenFirst ? t1 - t0 : t2 - t1;
        evpTime += tokenFirst ? t2 - t1 : t1 - t0;
        tokenFirst = !tokenFirst;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["token_us"] = std::chrono::duration<double, std::micro>(tokenTime).count() / n;
    state.counters["evp_us"] = std::chrono::duration<double, std::micro>(evpTime).count() / n;
    state.counters["ratio"] = static_cast<double>(tokenTime.count()) / static_cast<double>(evpTime.count());
    if (bytes)
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_Sm2Sign(benchmark::State &state)
{
    Token &t = token();
    auto sign = t.fn<PFN_SKF_ECCSignData>("SKF_ECCSignData");
    EVP_PKEY *evpKey = EVP_PKEY_Q_keygen(nullptr, nullptr, "SM2");
    uint8_t digest[32] = {1, 2, 3};
    ECCSIGNATUREBLOB sig{};
    uint8_t der[80];
    sideBySide(
        state, [&] { check(sign(t.container, digest, 32, &sig) == 0, "sign"); },
        [&] {
            EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(evpKey, nullptr);
            size_t len = sizeof der;
            check(EVP_PKEY_sign_init(ctx) == 1 && EVP_PKEY_sign(ctx, der, &len, digest, 32) == 1, "evp sign");
            EVP_PKEY_CTX_free(ctx);
        });
    EVP_PKEY_free(evpKey);
}

void BM_Sm2Verify(benchmark::State &state)
{
    Token &t = token();
    auto verify = t.fn<PFN_SKF_ECCVerify>("SKF_ECCVerify");
    uint8_t digest[32] = {4, 5, 6};
    ECCSIGNATUREBLOB sig{};
    check(t.fn<PFN_SKF_ECCSignData>("SKF_ECCSignData")(t.container, digest, 32, &sig) == 0, "sign");
    EVP_PKEY *evpKey = publicKey(t.pub);
    ECDSA_SIG *s = ECDSA_SIG_new();
    ECDSA_SIG_set0(s, BN_bin2bn(sig.r, 64, nullptr), BN_bin2bn(sig.s, 64, nullptr));
    unsigned char *der = nullptr;
    const int derLen = i2d_ECDSA_SIG(s, &der);
    sideBySide(
        state, [&] { check(verify(t.dev, &t.pub, digest, 32, &sig) == 0, "verify"); },
        [&] {
            EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(evpKey, nullptr);
            check(EVP_PKEY_verify_init(ctx) == 1 &&
                      EVP_PKEY_verify(ctx, der, static_cast<size_t>(derLen), digest, 32) == 1,
                  "evp verify");
            EVP_PKEY_CTX_free(ctx);
        });
    OPENSSL_free(der);
    ECDSA_SIG_free(s);
    EVP_PKEY_free(evpKey);
}

// SM4-CBC with padding over 64 MiB, one call, into a buffer the caller owns.
void BM_Sm4Cbc64MiB(benchmark::State &state)
{
    Token &t = token();
    auto init = t.fn<PFN_SKF_EncryptInit>("SKF_EncryptInit");
    auto encrypt = t.fn<PFN_SKF_Encrypt>("SKF_Encrypt");
    const uint8_t key[16] = {9, 8, 7};
    SKF_HANDLE h = nullptr;
    check(t.fn<PFN_SKF_SetSymmKey>("SKF_SetSymmKey")(t.dev, key, kSm4Cbc, &h) == 0, "key");
    BLOCKCIPHERPARAM param{};
    param.IVLen = 16;
    param.PaddingType = 1;
    Bytes in(kBulk, 0x5A), out(kBulk + 16), evpOut(kBulk + 16);
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    sideBySide(
        state,
        [&] {
            uint32_t len = static_cast<uint32_t>(out.size());
            check(init(h, param) == 0 && encrypt(h, in.data(), kBulk, out.data(), &len) == 0, "encrypt");
        },
        [&] {
            int n = 0, m = 0;
            check(EVP_EncryptInit_ex(ctx, EVP_sm4_cbc(), nullptr, key, param.IV) == 1 &&
                      EVP_EncryptUpdate(ctx, evpOut.data(), &n, in.data(), static_cast<int>(kBulk)) == 1 &&
                      EVP_EncryptFinal_ex(ctx, evpOut.data() + n, &m) == 1,
                  "evp encrypt");
        },
        kBulk);
    check(out == evpOut, "different cipher text");
    EVP_CIPHER_CTX_free(ctx);
}

void BM_Sm3_64MiB(benchmark::State &state)
{
    Token &t = token();
    auto init = t.fn<PFN_SKF_DigestInit>("SKF_DigestInit");
    auto digest = t.fn<PFN_SKF_Digest>("SKF_Digest");
    auto close = t.fn<PFN_SKF_CloseHandle>("SKF_CloseHandle");
    Bytes in(kBulk, 0xA5);
    uint8_t out[32], evpOut[32];
    sideBySide(
        state,
        [&] {
            SKF_HANDLE h = nullptr;
            uint32_t len = 32;
            check(init(t.dev, kSm3, nullptr, nullptr, 0, &h) == 0 && digest(h, in.data(), kBulk, out, &len) == 0,
                  "digest");
            close(h);
        },
        [&] {
            unsigned int len = 0;
            check(EVP_Digest(in.data(), kBulk, evpOut, &len, EVP_sm3(), nullptr) == 1, "evp digest");
        },
        kBulk);
    check(std::memcmp(out, evpOut, 32) == 0, "different digests");
}

// One durable write of a 64-byte file with 10 or 1,000 files stored: no EVP side, the number to
// compare is between the two arguments.
void BM_WriteFile(benchmark::State &state)
{
    Token &t = token();
    auto create = t.fn<PFN_SKF_CreateFile>("SKF_CreateFile");
    auto write = t.fn<PFN_SKF_WriteFile>("SKF_WriteFile");
    const uint8_t data[64] = {1};
    for (int64_t i = 0; i < state.range(0); ++i)
        create(t.app, ("f" + std::to_string(i)).c_str(), sizeof data, 0xFF, 0xFF); // already there: refused
    for (auto _ : state)
        check(write(t.app, "f0", 0, data, sizeof data) == 0, "write");
}

BENCHMARK(BM_Sm2Sign)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sm2Verify)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sm4Cbc64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sm3_64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteFile)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
