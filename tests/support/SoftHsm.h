#pragma once
// A SoftHSM2 token of a test process's own, and where SoftHSM2's module is.
#include <dlfcn.h>
#include <p11-kit/pkcs11.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace softhsm {

constexpr char kSoPin[] = "12345678";
constexpr char kUserPin[] = "123456";

// The module the build found, else the usual install places.
inline std::string libraryPath()
{
    const char *candidates[] = {
        std::getenv("SOFTHSM2_MODULE"),
        SOFTHSM2_BUILD_PATH,
        "/usr/lib/softhsm/libsofthsm2.so",
        "/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so",
        "/usr/lib/aarch64-linux-gnu/softhsm/libsofthsm2.so",
        "/usr/lib64/softhsm/libsofthsm2.so",
        "/usr/lib64/pkcs11/libsofthsm2.so",
        "/usr/local/lib/softhsm/libsofthsm2.so",
    };
    for (const char *path : candidates) {
        if (path && *path && ::access(path, R_OK) == 0)
            return path;
    }
    return {};
}

// Kept loaded for the process: SoftHSM2 is not built to be unloaded and reloaded.
inline CK_FUNCTION_LIST *load()
{
    void *module = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    auto getList = module ? reinterpret_cast<CK_C_GetFunctionList>(dlsym(module, "C_GetFunctionList")) : nullptr;
    CK_FUNCTION_LIST *f = nullptr;
    return getList && getList(&f) == CKR_OK ? f : nullptr;
}

inline CK_UTF8CHAR *utf8(const char *s)
{
    return reinterpret_cast<CK_UTF8CHAR *>(const_cast<char *>(s));
}

#define SOFTHSM_STEP(t, call) (t).step((call), #call)

struct Token {
    CK_FUNCTION_LIST *f = nullptr;
    std::string error; // the first step that failed
    std::string serial;
    CK_SESSION_HANDLE s = 0; // read-write, user logged in

    void step(CK_RV rv, const char *call)
    {
        if (rv != CKR_OK && error.empty())
            error = std::string(call) + " -> " + std::to_string(rv);
    }
    CK_OBJECT_HANDLE rsaKeyPair(CK_ULONG bits, CK_BBOOL decrypt, CK_OBJECT_HANDLE *pub)
    {
        CK_MECHANISM generate{CKM_RSA_PKCS_KEY_PAIR_GEN, nullptr, 0};
        CK_BYTE e[] = {1, 0, 1};
        CK_BBOOL yes = CK_TRUE;
        CK_ATTRIBUTE pubT[] = {{CKA_TOKEN, &yes, 1},
                               {CKA_ENCRYPT, &yes, 1},
                               {CKA_MODULUS_BITS, &bits, sizeof bits},
                               {CKA_PUBLIC_EXPONENT, e, sizeof e}};
        CK_ATTRIBUTE privT[] = {
            {CKA_TOKEN, &yes, 1}, {CKA_PRIVATE, &yes, 1}, {CKA_SIGN, &yes, 1}, {CKA_DECRYPT, &decrypt, 1}};
        CK_OBJECT_HANDLE priv = 0;
        SOFTHSM_STEP(*this, f->C_GenerateKeyPair(s, &generate, pubT, 4, privT, 4, pub, &priv));
        return priv;
    }
    // RSA PKCS#1 v1.5.
    std::vector<uint8_t> encrypt(CK_OBJECT_HANDLE pub, std::vector<uint8_t> plain)
    {
        CK_MECHANISM pkcs1{CKM_RSA_PKCS, nullptr, 0};
        CK_ULONG len = 512;
        std::vector<uint8_t> out(len);
        SOFTHSM_STEP(*this, f->C_EncryptInit(s, &pkcs1, pub));
        SOFTHSM_STEP(*this, f->C_Encrypt(s, plain.data(), plain.size(), out.data(), &len));
        out.resize(error.empty() ? len : 0);
        return out;
    }
};

// Token "szca" in a fresh dir, found through SOFTHSM2_CONF; SO PIN kSoPin, user PIN kUserPin.
inline Token makeToken(const std::filesystem::path &dir)
{
    namespace fs = std::filesystem;
    Token t;
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir / "tokens", ec);
    std::ofstream(dir / "softhsm2.conf") << "directories.tokendir = " << (dir / "tokens").string()
                                         << "\nobjectstore.backend = file\nlog.level = ERROR\n";
    ::setenv("SOFTHSM2_CONF", (dir / "softhsm2.conf").c_str(), 1);
    if (!(t.f = load())) {
        t.error = "SoftHSM2 does not load from '" + libraryPath() + "'";
        return t;
    }
    CK_FUNCTION_LIST *f = t.f;
    std::string label = "szca";
    label.resize(32, ' ');
    CK_SLOT_ID slot = 0;
    CK_ULONG count = 1;
    SOFTHSM_STEP(t, f->C_Initialize(nullptr));
    SOFTHSM_STEP(t, f->C_GetSlotList(CK_FALSE, &slot, &count));
    SOFTHSM_STEP(t, f->C_InitToken(slot, utf8(kSoPin), 8, utf8(label.c_str())));
    // The initialised token shows up in a slot of its own after a restart.
    SOFTHSM_STEP(t, f->C_Finalize(nullptr));
    SOFTHSM_STEP(t, f->C_Initialize(nullptr));
    CK_SLOT_ID slots[8];
    count = 8;
    SOFTHSM_STEP(t, f->C_GetSlotList(CK_TRUE, slots, &count));
    CK_TOKEN_INFO info{};
    for (CK_ULONG i = 0; i < count && t.error.empty(); ++i) {
        if (f->C_GetTokenInfo(slots[i], &info) == CKR_OK && (info.flags & CKF_TOKEN_INITIALIZED)) {
            slot = slots[i];
            t.serial.assign(reinterpret_cast<const char *>(info.serialNumber), sizeof info.serialNumber);
        }
    }
    SOFTHSM_STEP(t, f->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &t.s));
    SOFTHSM_STEP(t, f->C_Login(t.s, CKU_SO, utf8(kSoPin), 8));
    SOFTHSM_STEP(t, f->C_InitPIN(t.s, utf8(kUserPin), 6));
    SOFTHSM_STEP(t, f->C_Logout(t.s));
    SOFTHSM_STEP(t, f->C_Login(t.s, CKU_USER, utf8(kUserPin), 6));
    return t;
}

} // namespace softhsm
