#pragma once
// One SoftHSM2 token per test process, behind the test vendor library's PKCS#11 side.
#include <dlfcn.h>
#include <p11-kit/pkcs11.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace softhsm {

constexpr char kUserPin[] = "123456"; // the mock application's user PIN as well

// The module the build found, else the usual install places.
inline std::string libraryPath()
{
    for (const char *path : {static_cast<const char *>(getenv("SOFTHSM2_MODULE")), SOFTHSM2_BUILD_PATH,
                             "/usr/lib/softhsm/libsofthsm2.so", "/usr/lib64/pkcs11/libsofthsm2.so"})
        if (path && *path && access(path, R_OK) == 0)
            return path;
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

struct Token {
    CK_FUNCTION_LIST *f = nullptr;
    std::string error; // the first step that failed
    std::string serial;
    std::vector<uint8_t> wrapped; // kSessionKey under the key pair that may decrypt
    std::vector<std::string> seals;
    std::filesystem::path dir;
    CK_SESSION_HANDLE s = 0;

    void step(CK_RV rv, const char *call)
    {
        if (rv != CKR_OK && error.empty())
            error = std::string(call) + " -> " + std::to_string(rv);
    }
    ~Token()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

const std::vector<uint8_t> kSessionKey = {'s', 'i', 'x', 't', 'e', 'e', 'n', ' ',
                                          'b', 'y', 't', 'e', ' ', 'k', 'e', 'y'};

#define SOFTHSM_STEP(call) t.step((call), #call)

// Token "szca", user PIN kUserPin, left finalised: a signing-only and a decrypting RSA key pair,
// and three private data objects holding seal bytes.
inline const Token &token()
{
    static Token t;
    if (t.f || !t.error.empty())
        return t;
    char dir[] = "/tmp/softhsmXXXXXX";
    t.dir = mkdtemp(dir);
    std::filesystem::create_directories(t.dir / "tokens");
    std::ofstream(t.dir / "softhsm2.conf") << "directories.tokendir = " << (t.dir / "tokens").string()
                                           << "\nobjectstore.backend = file\nlog.level = ERROR\n";
    setenv("SOFTHSM2_CONF", (t.dir / "softhsm2.conf").c_str(), 1);
    if (!(t.f = load())) {
        t.error = "SoftHSM2 does not load from '" + libraryPath() + "'";
        return t;
    }
    CK_FUNCTION_LIST *f = t.f;
    auto utf8 = [](const char *s) { return reinterpret_cast<CK_UTF8CHAR *>(const_cast<char *>(s)); };
    CK_SLOT_ID slots[8];
    CK_ULONG count = 1;
    SOFTHSM_STEP(f->C_Initialize(nullptr));
    SOFTHSM_STEP(f->C_GetSlotList(CK_FALSE, slots, &count));
    SOFTHSM_STEP(f->C_InitToken(slots[0], utf8("12345678"), 8, utf8("szca                            ")));
    // The initialised token shows up in a slot of its own after a restart.
    SOFTHSM_STEP(f->C_Finalize(nullptr));
    SOFTHSM_STEP(f->C_Initialize(nullptr));
    count = 8;
    SOFTHSM_STEP(f->C_GetSlotList(CK_TRUE, slots, &count));
    CK_TOKEN_INFO info{};
    CK_ULONG i = 0;
    while (i < count && !(f->C_GetTokenInfo(slots[i], &info) == CKR_OK && (info.flags & CKF_TOKEN_INITIALIZED)))
        ++i;
    t.serial.assign(reinterpret_cast<const char *>(info.serialNumber), sizeof info.serialNumber);
    SOFTHSM_STEP(i < count ? f->C_OpenSession(slots[i], CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &t.s)
                           : CKR_TOKEN_NOT_PRESENT);
    SOFTHSM_STEP(f->C_Login(t.s, CKU_SO, utf8("12345678"), 8));
    SOFTHSM_STEP(f->C_InitPIN(t.s, utf8(kUserPin), 6));
    SOFTHSM_STEP(f->C_Logout(t.s));
    SOFTHSM_STEP(f->C_Login(t.s, CKU_USER, utf8(kUserPin), 6));

    CK_MECHANISM generate{CKM_RSA_PKCS_KEY_PAIR_GEN, nullptr, 0}, pkcs1{CKM_RSA_PKCS, nullptr, 0};
    CK_ULONG bits = 2048, len = 256;
    CK_BYTE e[] = {1, 0, 1};
    CK_BBOOL yes = CK_TRUE;
    CK_OBJECT_HANDLE pub = 0, priv = 0;
    for (CK_BBOOL decrypt = CK_FALSE; decrypt <= CK_TRUE; ++decrypt) {
        CK_ATTRIBUTE pubT[] = {{CKA_TOKEN, &yes, 1},
                               {CKA_ENCRYPT, &yes, 1},
                               {CKA_MODULUS_BITS, &bits, sizeof bits},
                               {CKA_PUBLIC_EXPONENT, e, sizeof e}};
        CK_ATTRIBUTE privT[] = {
            {CKA_TOKEN, &yes, 1}, {CKA_PRIVATE, &yes, 1}, {CKA_SIGN, &yes, 1}, {CKA_DECRYPT, &decrypt, 1}};
        SOFTHSM_STEP(f->C_GenerateKeyPair(t.s, &generate, pubT, 4, privT, 4, &pub, &priv));
    }
    t.wrapped.resize(len);
    std::vector<uint8_t> plain = kSessionKey;
    SOFTHSM_STEP(f->C_EncryptInit(t.s, &pkcs1, pub));
    SOFTHSM_STEP(f->C_Encrypt(t.s, plain.data(), plain.size(), t.wrapped.data(), &len));
    // Bytes a user-data image would trim or split stay whole here.
    t.seals = {"first seal", std::string("\0\xFF@@@@two\xFF", 10), std::string(600, '\xA5')};
    for (std::string &seal : t.seals) {
        CK_OBJECT_CLASS data = CKO_DATA;
        CK_ATTRIBUTE tmpl[] = {{CKA_CLASS, &data, sizeof data},
                               {CKA_TOKEN, &yes, 1},
                               {CKA_PRIVATE, &yes, 1},
                               {CKA_LABEL, const_cast<char *>("seal"), 4},
                               {CKA_VALUE, seal.data(), seal.size()}};
        SOFTHSM_STEP(f->C_CreateObject(t.s, tmpl, 5, &priv));
    }
    SOFTHSM_STEP(f->C_Finalize(nullptr));
    return t;
}

} // namespace softhsm
