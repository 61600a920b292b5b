// The software token's cryptographic entry points on fuzzed blobs. One logged-in application with
// an SM2 and an RSA container is set up once; each input is a run of operations on fuzzed cipher
// blobs, envelopes, wrapped keys, public keys, IVs, padding and buffer sizes.
#include <cstdlib>

#include "SoftToken.h"

extern "C" std::remove_pointer_t<PFN_SKF_PrvKeyDecrypt> SKF_PrvKeyDecrypt;

namespace {

constexpr uint32_t kSm4Ecb = 0x401, kSm4Cbc = 0x402, kSm2 = 0x00020100, kSm3 = 1;
constexpr size_t kEccCipherHeader = offsetof(ECCCIPHERBLOB, Cipher);

DEVHANDLE g_dev;
HCONTAINER g_ecc, g_rsa, g_import;

HCONTAINER container(const char *name)
{
    HAPPLICATION app = nullptr;
    HCONTAINER c = nullptr;
    uint32_t retry = 0;
    SKF_OpenApplication(g_dev, "SOFTAPP", &app);
    SKF_VerifyPIN(app, SKF_USER_TYPE, "123456", &retry);
    if (SKF_CreateContainer(app, name, &c) != SAR_OK)
        std::abort();
    return c;
}

template <class T>
std::vector<uint8_t> blob(fuzz::Script &s, size_t n = sizeof(T))
{
    std::vector<uint8_t> b(n);
    s.bytes(b.data(), n);
    return b;
}

// An ECCCIPHERBLOB whose buffer holds exactly the cipher length it states.
std::vector<uint8_t> eccCipher(fuzz::Script &s)
{
    const uint32_t len = s.u16() % 512;
    std::vector<uint8_t> b(kEccCipherHeader + len);
    s.bytes(b.data(), b.size());
    std::memcpy(b.data() + offsetof(ECCCIPHERBLOB, CipherLen), &len, sizeof len);
    return b;
}

HCONTAINER pick(fuzz::Script &s)
{
    const HCONTAINER all[] = {g_ecc, g_rsa, g_import};
    return all[s.byte() % 3];
}

// Runs data through an initialised cipher, digest or MAC handle with fuzzed sizes on both sides.
void stream(fuzz::Script &s, SKF_HANDLE h, PFN_SKF_Encrypt once, PFN_SKF_Encrypt update, PFN_SKF_EncryptFinal final)
{
    for (int i = s.byte() % 4; i >= 0; --i) {
        std::vector<uint8_t> in(s.u16() % 600), out(s.u16() % 700);
        s.bytes(in.data(), in.size());
        uint32_t outLen = static_cast<uint32_t>(out.size());
        const auto fn = (s.byte() & 1) ? once : update;
        fn(h, in.data(), static_cast<uint32_t>(in.size()), out.empty() ? nullptr : out.data(), &outLen);
    }
    std::vector<uint8_t> out(s.byte());
    uint32_t outLen = static_cast<uint32_t>(out.size());
    final(h, out.empty() ? nullptr : out.data(), &outLen);
}

void useKey(fuzz::Script &s, SKF_HANDLE key)
{
    BLOCKCIPHERPARAM param{};
    s.bytes(&param, sizeof param);
    param.PaddingType %= 3;
    if (s.byte() & 1)
        param.IVLen %= 40;
    switch (s.byte() % 3) {
    case 0:
        if (SKF_EncryptInit(key, param) == SAR_OK)
            stream(s, key, SKF_Encrypt, SKF_EncryptUpdate, SKF_EncryptFinal);
        break;
    case 1:
        if (SKF_DecryptInit(key, param) == SAR_OK)
            stream(s, key, SKF_Decrypt, SKF_DecryptUpdate, SKF_DecryptFinal);
        break;
    default: {
        SKF_HANDLE mac = nullptr;
        if (SKF_MacInit(key, &param, &mac) == SAR_OK) {
            stream(
                s, mac, SKF_Mac,
                [](SKF_HANDLE h, const uint8_t *d, uint32_t n, uint8_t *, uint32_t *) {
                    return SKF_MacUpdate(h, d, n);
                },
                SKF_MacFinal);
            SKF_CloseHandle(mac);
        }
    }
    }
}

void step(fuzz::Script &s)
{
    SKF_HANDLE key = nullptr;
    switch (s.byte() % 9) {
    case 0: { // a wrapped session key: RSA or an SM2 cipher blob, any stated length
        auto wrapped = blob<uint8_t>(s, s.u16() % 600);
        const uint32_t alg = (s.byte() & 1) ? kSm4Cbc : s.u32();
        SKF_ImportSessionKey(pick(s), alg, wrapped.data(), static_cast<uint32_t>(wrapped.size()), &key);
        break;
    }
    case 1: { // SM2 decryption of a blob that states its own length
        auto c = eccCipher(s);
        std::vector<uint8_t> plain(s.u16() % 600);
        uint32_t n = static_cast<uint32_t>(plain.size());
        const PFN_SKF_ECCDecrypt fns[] = {SKF_ECCDecrypt, SKFEX_ECCDecrypt, SKF_PrvKeyDecrypt};
        fns[s.byte() % 3](pick(s), static_cast<int32_t>(s.byte() % 3), c.data(), plain.empty() ? nullptr : plain.data(),
                          &n);
        break;
    }
    case 2: { // an enveloped SM2 key pair
        auto env = blob<ENVELOPEDKEYBLOB>(s);
        SKF_ImportECCKeyPair(g_import, reinterpret_cast<const ENVELOPEDKEYBLOB *>(env.data()));
        break;
    }
    case 3: { // an RSA key pair under a wrapped symmetric key
        auto wrapped = blob<uint8_t>(s, s.u16() % 600);
        auto enc = blob<uint8_t>(s, s.u16() % 2048);
        SKF_ImportRSAKeyPair(g_import, (s.byte() & 1) ? kSm4Ecb : s.u32(), wrapped.data(),
                             static_cast<uint32_t>(wrapped.size()), enc.data(), static_cast<uint32_t>(enc.size()));
        break;
    }
    case 4: { // verification with fuzzed public keys and signatures
        auto rsa = blob<RSAPUBLICKEYBLOB>(s);
        auto ecc = blob<ECCPUBLICKEYBLOB>(s);
        auto sig = blob<ECCSIGNATUREBLOB>(s);
        auto data = blob<uint8_t>(s, s.byte());
        auto rsaSig = blob<uint8_t>(s, s.u16() % 600);
        SKF_RSAVerify(g_dev, reinterpret_cast<const RSAPUBLICKEYBLOB *>(rsa.data()), data.data(),
                      static_cast<uint32_t>(data.size()), rsaSig.data(), static_cast<uint32_t>(rsaSig.size()));
        SKF_ECCVerify(g_dev, reinterpret_cast<const ECCPUBLICKEYBLOB *>(ecc.data()), data.data(),
                      static_cast<uint32_t>(data.size()), reinterpret_cast<const ECCSIGNATUREBLOB *>(sig.data()));
        break;
    }
    case 5: { // a session key exported to a fuzzed RSA key, into a buffer of fuzzed size
        auto pub = blob<RSAPUBLICKEYBLOB>(s);
        std::vector<uint8_t> out(s.u16() % 600);
        uint32_t n = static_cast<uint32_t>(out.size());
        SKF_RSAExportSessionKey(g_rsa, (s.byte() & 1) ? kSm4Ecb : s.u32(),
                                reinterpret_cast<RSAPUBLICKEYBLOB *>(pub.data()), out.empty() ? nullptr : out.data(),
                                &n, &key);
        break;
    }
    case 6: { // SM3 with a fuzzed signer key and ID
        auto pub = blob<ECCPUBLICKEYBLOB>(s);
        auto id = blob<uint8_t>(s, s.byte());
        SKF_HANDLE hash = nullptr;
        if (SKF_DigestInit(g_dev, (s.byte() & 1) ? kSm3 : s.u32(),
                           (s.byte() & 1) ? reinterpret_cast<const ECCPUBLICKEYBLOB *>(pub.data()) : nullptr, id.data(),
                           static_cast<uint32_t>(id.size()), &hash) == SAR_OK) {
            stream(
                s, hash, SKF_Digest,
                [](SKF_HANDLE h, const uint8_t *d, uint32_t n, uint8_t *, uint32_t *) {
                    return SKF_DigestUpdate(h, d, n);
                },
                SKF_DigestFinal);
            SKF_CloseHandle(hash);
        }
        break;
    }
    case 7: { // a session key exported to a fuzzed SM2 key
        auto pub = blob<ECCPUBLICKEYBLOB>(s);
        std::vector<uint8_t> out(sizeof(ECCCIPHERBLOB));
        SKF_ECCExportSessionKey(g_ecc, (s.byte() & 1) ? kSm4Ecb : s.u32(),
                                reinterpret_cast<const ECCPUBLICKEYBLOB *>(pub.data()),
                                reinterpret_cast<ECCCIPHERBLOB *>(out.data()), &key);
        break;
    }
    default: {
        uint8_t k[16];
        s.bytes(k, sizeof k);
        SKF_SetSymmKey(g_dev, k, (s.byte() & 1) ? kSm4Cbc : s.u32(), &key);
    }
    }
    if (key) {
        useKey(s, key);
        SKF_CloseHandle(key);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    unsetenv("SKFSOFT_DIR");
    char list[256];
    uint32_t n = sizeof list;
    RSAPUBLICKEYBLOB rsa{};
    ECCPUBLICKEYBLOB ecc{};
    if (SKF_EnumDev(1, list, &n) != SAR_OK || SKF_ConnectDev(list, &g_dev) != SAR_OK)
        std::abort();
    g_ecc = container("ecc");
    g_rsa = container("rsa");
    g_import = container("import");
    if (SKF_GenECCKeyPair(g_ecc, kSm2, &ecc) != SAR_OK || SKF_GenRSAKeyPair(g_rsa, 1024, &rsa) != SAR_OK)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Script s;
    s.reset(data, size);
    for (int i = 0; i < 8 && !s.empty(); ++i)
        step(s);
    return 0;
}
