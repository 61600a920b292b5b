// The software token's cryptographic entry points on fuzzed blobs. One logged-in application with
// an SM2 and an RSA container is set up once; each input is a run of operations on fuzzed or
// token-made cipher blobs, envelopes, wrapped keys, public keys, IVs, padding and buffer sizes.
#include <array>
#include <cstdlib>

#include "SoftToken.h"

extern "C" std::remove_pointer_t<PFN_SKF_PrvKeyDecrypt> SKF_PrvKeyDecrypt;

namespace {

using fuzz::Buf;
using fuzz::pod;
constexpr uint32_t kSm4Ecb = 0x401, kSm4Cbc = 0x402, kSm2 = 0x00020100, kSm3 = 1;

DEVHANDLE g_dev;
HCONTAINER g_ecc, g_rsa, g_import;
ECCPUBLICKEYBLOB g_eccPub;

// Mostly the usual algorithm, sometimes any number.
uint32_t alg(fuzz::Script &s, uint32_t usual)
{
    return (s.byte() & 1) ? usual : s.u32();
}

// Fuzzed bytes, base plus up to range of them; or, with the top bit of the size word, the token's own SM2
// encryption of fuzzed plain text under the SM2 container's key with a few bytes changed, so that decryption
// gets past the point check; the next bit cuts or pads it near its true end.
Buf cipherBytes(fuzz::Script &s, size_t base, size_t range)
{
    const uint16_t w = s.u16();
    if (!(w & 0x8000))
        return Buf(s, base + w % range);
    Buf plain(s, s.byte() % 16 + 1);
    ECCCIPHERBLOB c{};
    SKF_ExtECCEncrypt(g_dev, &g_eccPub, plain.p(), plain.n, &c);
    Buf b(offsetof(ECCCIPHERBLOB, Cipher) + ((w & 0x4000) ? 1 + w % 32 : c.CipherLen));
    std::memcpy(b.p(), &c, std::min(b.v.size(), sizeof c));
    for (int i = s.byte() % 4; i > 0; --i)
        b.v[s.u16() % b.n] ^= s.byte();
    return b;
}

HCONTAINER pick(fuzz::Script &s)
{
    return std::array{g_ecc, g_rsa, g_import}[s.byte() % 3];
}

// Runs data through an initialised cipher, digest or MAC handle with fuzzed sizes on both sides;
// digests and MACs take their updates without output.
void stream(fuzz::Script &s, SKF_HANDLE h, PFN_SKF_Encrypt once, PFN_SKF_Encrypt update, PFN_SKF_MacUpdate plainUpdate,
            PFN_SKF_EncryptFinal final)
{
    for (int i = s.byte() % 4; i >= 0; --i) {
        Buf in(s.u16() % 600), out(s.u16() % 700);
        s.bytes(in.v.data(), in.n);
        if (s.byte() & 1)
            once(h, in.p(), in.n, out.p(), &out.n);
        else if (update)
            update(h, in.p(), in.n, out.p(), &out.n);
        else
            plainUpdate(h, in.p(), in.n);
    }
    Buf out(s.byte());
    final(h, out.p(), &out.n);
}

void useKey(fuzz::Script &s, SKF_HANDLE key)
{
    auto param = pod<BLOCKCIPHERPARAM>(s);
    param.PaddingType %= 3;
    if (s.byte() & 1)
        param.IVLen %= 40;
    SKF_HANDLE mac = nullptr;
    const uint8_t mode = s.byte() % 3;
    if (mode == 0 && SKF_EncryptInit(key, param) == SAR_OK)
        stream(s, key, SKF_Encrypt, SKF_EncryptUpdate, nullptr, SKF_EncryptFinal);
    else if (mode == 1 && SKF_DecryptInit(key, param) == SAR_OK)
        stream(s, key, SKF_Decrypt, SKF_DecryptUpdate, nullptr, SKF_DecryptFinal);
    else if (mode == 2 && SKF_MacInit(key, &param, &mac) == SAR_OK) {
        stream(s, mac, SKF_Mac, nullptr, SKF_MacUpdate, SKF_MacFinal);
        SKF_CloseHandle(mac);
    }
}

void step(fuzz::Script &s)
{
    SKF_HANDLE key = nullptr;
    switch (s.byte() % 9) {
    case 0: { // a wrapped session key: RSA or an SM2 cipher blob, any stated length
        Buf wrapped = cipherBytes(s, 0, 600);
        const uint32_t a = alg(s, kSm4Cbc);
        SKF_ImportSessionKey(pick(s), a, wrapped.p(), wrapped.n, &key);
        break;
    }
    case 1: { // SM2 decryption of a blob whose buffer holds exactly the cipher length it states
        auto c = cipherBytes(s, offsetof(ECCCIPHERBLOB, Cipher), 512).v;
        const auto len = static_cast<uint32_t>(c.size() - offsetof(ECCCIPHERBLOB, Cipher));
        std::memcpy(c.data() + offsetof(ECCCIPHERBLOB, CipherLen), &len, sizeof len);
        Buf plain(s.u16() % 600);
        const PFN_SKF_ECCDecrypt fns[] = {SKF_ECCDecrypt, SKFEX_ECCDecrypt, SKF_PrvKeyDecrypt};
        fns[s.byte() % 3](pick(s), static_cast<int32_t>(s.byte() % 3), c.data(), plain.p(), &plain.n);
        break;
    }
    case 2: { // an enveloped SM2 key pair
        const auto env = pod<ENVELOPEDKEYBLOB>(s);
        SKF_ImportECCKeyPair(g_import, &env);
        break;
    }
    case 3: { // an RSA key pair under a wrapped symmetric key
        Buf wrapped(s, s.u16() % 600), enc(s, s.u16() % 2048);
        SKF_ImportRSAKeyPair(g_import, alg(s, kSm4Ecb), wrapped.p(), wrapped.n, enc.p(), enc.n);
        break;
    }
    case 4: { // verification with fuzzed public keys and signatures
        const auto rsa = pod<RSAPUBLICKEYBLOB>(s);
        const auto ecc = pod<ECCPUBLICKEYBLOB>(s);
        const auto sig = pod<ECCSIGNATUREBLOB>(s);
        Buf data(s, s.byte()), rsaSig(s, s.u16() % 600);
        SKF_RSAVerify(g_dev, &rsa, data.p(), data.n, rsaSig.p(), rsaSig.n);
        SKF_ECCVerify(g_dev, &ecc, data.p(), data.n, &sig);
        break;
    }
    case 5: { // a session key exported to a fuzzed RSA key, into a buffer of fuzzed size
        auto pub = pod<RSAPUBLICKEYBLOB>(s);
        Buf out(s.u16() % 600);
        SKF_RSAExportSessionKey(g_rsa, alg(s, kSm4Ecb), &pub, out.p(), &out.n, &key);
        break;
    }
    case 6: { // SM3 with a fuzzed signer key and ID
        const auto pub = pod<ECCPUBLICKEYBLOB>(s);
        Buf id(s, s.byte());
        SKF_HANDLE hash = nullptr;
        const uint32_t a = alg(s, kSm3);
        if (SKF_DigestInit(g_dev, a, (s.byte() & 1) ? &pub : nullptr, id.p(), id.n, &hash) == SAR_OK) {
            stream(s, hash, SKF_Digest, nullptr, SKF_DigestUpdate, SKF_DigestFinal);
            SKF_CloseHandle(hash);
        }
        break;
    }
    case 7: { // a session key exported to a fuzzed SM2 key
        const auto pub = pod<ECCPUBLICKEYBLOB>(s);
        ECCCIPHERBLOB out{};
        SKF_ECCExportSessionKey(g_ecc, alg(s, kSm4Ecb), &pub, &out, &key);
        break;
    }
    default: {
        const auto k = pod<std::array<uint8_t, 16>>(s);
        SKF_SetSymmKey(g_dev, k.data(), alg(s, kSm4Cbc), &key);
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
    const auto devices = fuzz::names(SKF_EnumDev, int32_t{1});
    RSAPUBLICKEYBLOB rsa{};
    if (devices.empty() || SKF_ConnectDev(devices[0].c_str(), &g_dev) != SAR_OK)
        std::abort();
    const HAPPLICATION app = fuzz::login(g_dev, "SOFTAPP");
    if (SKF_CreateContainer(app, "ecc", &g_ecc) != SAR_OK || SKF_CreateContainer(app, "rsa", &g_rsa) != SAR_OK ||
        SKF_CreateContainer(app, "import", &g_import) != SAR_OK ||
        SKF_GenECCKeyPair(g_ecc, kSm2, &g_eccPub) != SAR_OK || SKF_GenRSAKeyPair(g_rsa, 1024, &rsa) != SAR_OK)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Script s{data, size};
    for (int i = 0; i < 8 && !s.empty(); ++i)
        step(s);
    return 0;
}
