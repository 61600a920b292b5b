// Key, signature, certificate, digest, cipher and MAC commands: the token works, OpenSSL converts.
#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Commands.h"
#include "ResultCodes.h"

namespace kxfhost {

namespace {

using json = nlohmann::ordered_json;

constexpr size_t kChunk = 4096;
constexpr size_t kBlock = 16;
constexpr uint32_t kPaddingPkcs5 = 1;
constexpr char kEncryptedMagic[4] = {'K', 'X', 'E', '1'};
constexpr char kKeyMagic[4] = {'K', 'X', 'K', '1'};

const std::string &containerName(const Context &ctx)
{
    return ctx.opt.args.front();
}

// The container's public key as the token gives it and as OpenSSL uses it.
struct PublicKey {
    uint32_t type = 0;
    ECCPUBLICKEYBLOB ecc{};
    RSAPUBLICKEYBLOB rsa{};
    Pkey key;

    bool set(Pkey k)
    {
        key = std::move(k);
        type = 0;
        if (key && blobFromKey(key.get(), ecc))
            type = kContainerSm2;
        else if (key && blobFromKey(key.get(), rsa))
            type = kContainerRsa;
        return type != 0;
    }
};

bool exportKey(Context &ctx, const Container &c, bool sign, PublicKey &pub, bool quiet = false)
{
    uint8_t blob[sizeof(RSAPUBLICKEYBLOB)] = {};
    uint32_t length = sizeof blob;
    const uint32_t rc = ctx.session.kxf().ExportPublicKey(ctx.dev, c.handle(), sign ? 1 : 0, blob, &length);
    if (rc != SAR_OK) {
        if (!quiet)
            ctx.failed("KXF_ExportPublicKey", rc, "container \"" + containerName(ctx) + "\"");
        return false;
    }
    if (c.type() == kContainerSm2 && length >= sizeof(ECCPUBLICKEYBLOB)) {
        std::memcpy(&pub.ecc, blob, sizeof pub.ecc);
        pub.type = kContainerSm2;
        pub.key = keyFromBlob(pub.ecc);
    } else if (c.type() == kContainerRsa && length >= sizeof(RSAPUBLICKEYBLOB)) {
        std::memcpy(&pub.rsa, blob, sizeof pub.rsa);
        pub.type = kContainerRsa;
        pub.key = keyFromBlob(pub.rsa);
    }
    if (!pub.key) {
        ctx.error("the container's public key is not one this tool understands");
        return false;
    }
    return true;
}

// The key that decrypts for the container: its exchange key, else its signing key.
bool exportDecryptionKey(Context &ctx, const Container &c, PublicKey &pub)
{
    return exportKey(ctx, c, false, pub, true) || exportKey(ctx, c, true, pub);
}

int emitKey(Context &ctx, const PublicKey &pub)
{
    const Bytes encoded = writePublicKey(pub.key.get(), ctx.opt.der);
    if (!ctx.opt.out.empty())
        return ctx.writeOutput(ctx.opt.out, encoded) ? kExitOk : kExitFailed;
    const Bytes pem = ctx.opt.der ? writePublicKey(pub.key.get(), false) : encoded;
    ctx.out = {{"container", containerName(ctx)},
               {"algorithm", pub.type == kContainerSm2 ? "SM2" : "RSA"},
               {"bits", EVP_PKEY_get_bits(pub.key.get())},
               {"pem", std::string(pem.begin(), pem.end())}};
    ctx.text.assign(pem.begin(), pem.end());
    return kExitOk;
}

// Hashes on the key; with an SM2 public key SM3 starts from Z of the key and the signer identity.
bool hashOnKey(Context &ctx, uint32_t alg, const ECCPUBLICKEYBLOB *pub, const Bytes &data, Bytes &digest)
{
    SKF_HANDLE hash = nullptr;
    const std::string &id = ctx.opt.id;
    uint32_t rc = ctx.session.kxf().DigestInit(ctx.dev, alg, pub, pub ? sizeof *pub : 0,
                                               pub ? reinterpret_cast<const uint8_t *>(id.data()) : nullptr,
                                               pub ? static_cast<uint32_t>(id.size()) : 0, &hash);
    if (rc != SAR_OK) {
        ctx.failed("KXF_DigestInit", rc);
        return false;
    }
    const char *entry = "KXF_DigestUpdate";
    for (size_t at = 0; rc == SAR_OK && at < data.size(); at += kChunk)
        rc = ctx.session.kxf().DigestUpdate(ctx.dev, hash, data.data() + at,
                                            static_cast<uint32_t>(std::min(kChunk, data.size() - at)));
    digest.assign(64, 0);
    uint32_t length = static_cast<uint32_t>(digest.size());
    if (rc == SAR_OK) {
        entry = "KXF_DigestFinal";
        rc = ctx.session.kxf().DigestFinal(ctx.dev, hash, digest.data(), &length);
    }
    ctx.session.kxf().CloseHandle(ctx.dev, hash);
    if (rc != SAR_OK) {
        ctx.failed(entry, rc);
        return false;
    }
    digest.resize(std::min<size_t>(length, digest.size()));
    return true;
}

bool digestInfo(Context &ctx, const Bytes &data, Bytes &info)
{
    const uint32_t alg = hashAlgorithm(ctx.opt.hash.empty() ? "sha256" : ctx.opt.hash);
    info = digestInfoPrefix(alg);
    if (info.empty()) {
        ctx.error("RSA signatures take --hash sha1 or sha256");
        return false;
    }
    Bytes digest;
    if (!hashOnKey(ctx, alg, nullptr, data, digest))
        return false;
    info.insert(info.end(), digest.begin(), digest.end());
    return true;
}

// Runs data through Init/Update/Final of the encrypt or the decrypt entries.
bool runCipher(Context &ctx, SKF_HANDLE key, bool encrypt, const uint8_t iv[kBlock], const Bytes &in, Bytes &out)
{
    BLOCKCIPHERPARAM param{};
    std::memcpy(param.IV, iv, kBlock);
    param.IVLen = kBlock;
    param.PaddingType = kPaddingPkcs5;
    auto init = encrypt ? ctx.session.kxf().EncryptInit : ctx.session.kxf().DecryptInit;
    auto update = encrypt ? ctx.session.kxf().EncryptUpdate : ctx.session.kxf().DecryptUpdate;
    auto final = encrypt ? ctx.session.kxf().EncryptFinal : ctx.session.kxf().DecryptFinal;
    const char *entries[] = {encrypt ? "KXF_EncryptInit" : "KXF_DecryptInit",
                             encrypt ? "KXF_EncryptUpdate" : "KXF_DecryptUpdate",
                             encrypt ? "KXF_EncryptFinal" : "KXF_DecryptFinal"};
    uint32_t rc = init(ctx.dev, key, &param, sizeof param);
    int step = 0;
    uint8_t buffer[kChunk + 2 * kBlock];
    for (size_t at = 0; rc == SAR_OK && at < in.size(); at += kChunk) {
        step = 1;
        uint32_t length = sizeof buffer;
        rc = update(ctx.dev, key, in.data() + at, static_cast<uint32_t>(std::min(kChunk, in.size() - at)), buffer,
                    &length);
        if (rc == SAR_OK)
            out.insert(out.end(), buffer, buffer + std::min<size_t>(length, sizeof buffer));
    }
    if (rc == SAR_OK) {
        step = 2;
        uint32_t length = sizeof buffer;
        rc = final(ctx.dev, key, buffer, &length);
        if (rc == SAR_OK)
            out.insert(out.end(), buffer, buffer + std::min<size_t>(length, sizeof buffer));
    }
    if (rc != SAR_OK)
        ctx.failed(entries[step], rc);
    return rc == SAR_OK;
}

// A new SM4 session key for the container: made and wrapped by the key for SM2, wrapped here for RSA.
bool newSessionKey(Context &ctx, const Container &c, Bytes &wrapped, SKF_HANDLE &key)
{
    PublicKey pub;
    if (!exportDecryptionKey(ctx, c, pub))
        return false;
    uint32_t rc = SAR_OK;
    const char *entry = "KXF_ECCExportSessionKey";
    if (pub.type == kContainerSm2) {
        wrapped.assign(SKF_ECC_CIPHER_BLOB_BUFFER_LEN, 0);
        uint32_t length = 0;
        rc = ctx.session.kxf().ECCExportSessionKey(ctx.dev, c.handle(), kSgdSm4Cbc, &pub.ecc, sizeof pub.ecc,
                                                   wrapped.data(), &length, &key);
        wrapped.resize(std::min<size_t>(length, wrapped.size()));
    } else {
        Bytes plain(kBlock);
        if (RAND_bytes(plain.data(), static_cast<int>(plain.size())) != 1 ||
            !rsaEncrypt(pub.key.get(), plain, wrapped)) {
            ctx.error("cannot wrap a session key to the container's RSA key");
            return false;
        }
        OPENSSL_cleanse(plain.data(), plain.size());
        if (!ctx.login())
            return false;
        entry = "KXF_ImportSessionKey";
        rc = ctx.session.kxf().ImportSessionKey(ctx.dev, c.handle(), kSgdSm4Cbc, wrapped.data(),
                                                static_cast<uint32_t>(wrapped.size()), &key);
    }
    if (rc != SAR_OK)
        ctx.failed(entry, rc);
    return rc == SAR_OK;
}

bool importSessionKey(Context &ctx, const Container &c, const Bytes &wrapped, SKF_HANDLE &key)
{
    const uint32_t rc = ctx.session.kxf().ImportSessionKey(ctx.dev, c.handle(), kSgdSm4Cbc, wrapped.data(),
                                                           static_cast<uint32_t>(wrapped.size()), &key);
    if (rc != SAR_OK)
        ctx.failed("KXF_ImportSessionKey", rc);
    return rc == SAR_OK;
}

void putLength(Bytes &out, size_t n)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(n >> shift));
}

// Our own framing: a magic, the wrapped key's length and the wrapped key; the rest follows.
bool takeWrapped(const Bytes &in, const char magic[4], Bytes &wrapped, size_t &rest)
{
    if (in.size() < 8 || std::memcmp(in.data(), magic, 4) != 0)
        return false;
    const size_t n = (size_t{in[4]} << 24) | (size_t{in[5]} << 16) | (size_t{in[6]} << 8) | in[7];
    if (n > in.size() - 8)
        return false;
    wrapped.assign(in.begin() + 8, in.begin() + 8 + static_cast<std::ptrdiff_t>(n));
    rest = 8 + n;
    return true;
}

Bytes frame(const char magic[4], const Bytes &wrapped)
{
    Bytes out(magic, magic + 4);
    putLength(out, wrapped.size());
    out.insert(out.end(), wrapped.begin(), wrapped.end());
    return out;
}

int emitBytes(Context &ctx, const char *key, const Bytes &data)
{
    if (!ctx.opt.out.empty()) {
        ctx.printed = true;
        return ctx.writeOutput(ctx.opt.out, data) ? kExitOk : kExitFailed;
    }
    ctx.out[key] = toHex(data);
    ctx.text = toHex(data) + "\n";
    return kExitOk;
}

} // namespace

uint32_t hashAlgorithm(const std::string &name)
{
    return name == "sm3" ? kSgdSm3 : name == "sha1" ? kSgdSha1 : name == "sha256" ? kSgdSha256 : 0;
}

int cmdKeygen(Context &ctx)
{
    if (!ctx.login())
        return kExitFailed;
    Container c(ctx, containerName(ctx), true);
    if (!c.ok())
        return kExitFailed;
    PublicKey pub;
    uint32_t length = 0, rc = SAR_OK;
    if (ctx.opt.command == "keygen sm2") {
        rc = ctx.session.kxf().GenECCKeyPair(ctx.dev, c.handle(), kSgdSm2Sign, &pub.ecc, &length);
        pub.type = kContainerSm2;
        pub.key = keyFromBlob(pub.ecc);
    } else {
        rc = ctx.session.kxf().GenRSAKeyPair(ctx.dev, c.handle(), ctx.opt.bits, &pub.rsa, &length);
        pub.type = kContainerRsa;
        pub.key = keyFromBlob(pub.rsa);
    }
    if (rc != SAR_OK)
        return ctx.failed(pub.type == kContainerSm2 ? "KXF_GenECCKeyPair" : "KXF_GenRSAKeyPair", rc);
    if (!pub.key)
        return ctx.error("the key answered a public key this tool cannot read");
    return emitKey(ctx, pub);
}

int cmdPubkeyExport(Context &ctx)
{
    Container c(ctx, containerName(ctx));
    PublicKey pub;
    if (!c.ok() || !exportKey(ctx, c, !ctx.opt.exchange, pub))
        return kExitFailed;
    return emitKey(ctx, pub);
}

int cmdSign(Context &ctx)
{
    Bytes data;
    if (!ctx.readInput(ctx.opt.in, data) || !ctx.login())
        return kExitFailed;
    Container c(ctx, containerName(ctx));
    PublicKey pub;
    if (!c.ok() || !exportKey(ctx, c, true, pub))
        return kExitFailed;
    Bytes signature;
    if (pub.type == kContainerSm2) {
        if (!ctx.opt.hash.empty() && ctx.opt.hash != "sm3")
            return ctx.error("SM2 signatures hash with SM3 only");
        Bytes digest;
        if (!hashOnKey(ctx, kSgdSm3, &pub.ecc, data, digest))
            return kExitFailed;
        ECCSIGNATUREBLOB blob{};
        uint32_t length = 0;
        const uint32_t rc = ctx.session.kxf().ECCSignData(ctx.dev, c.handle(), digest.data(),
                                                          static_cast<uint32_t>(digest.size()), &blob, &length);
        if (rc != SAR_OK)
            return ctx.failed("KXF_ECCSignData", rc);
        signature = signatureDer(blob);
    } else {
        Bytes info;
        if (!digestInfo(ctx, data, info))
            return kExitFailed;
        signature.assign(SKF_MAX_RSA_MODULUS_LEN, 0);
        uint32_t length = static_cast<uint32_t>(signature.size());
        const uint32_t rc = ctx.session.kxf().RSASignData(
            ctx.dev, c.handle(), info.data(), static_cast<uint32_t>(info.size()), signature.data(), &length);
        if (rc != SAR_OK)
            return ctx.failed("KXF_RSASignData", rc);
        signature.resize(std::min<size_t>(length, signature.size()));
    }
    ctx.out = {{"container", containerName(ctx)}, {"algorithm", pub.type == kContainerSm2 ? "SM2-SM3" : "RSA"}};
    return emitBytes(ctx, "signature", signature);
}

int cmdVerify(Context &ctx)
{
    Bytes data, signature;
    if (ctx.opt.sig.empty() || (ctx.opt.pubkey.empty() && ctx.opt.args.empty()))
        return ctx.error("verify needs --sig FILE and a key: --pubkey FILE or a CONTAINER");
    if (!ctx.readInput(ctx.opt.in, data) || !ctx.readInput(ctx.opt.sig, signature))
        return kExitFailed;
    PublicKey pub;
    if (!ctx.opt.pubkey.empty()) {
        Bytes encoded;
        if (!ctx.readInput(ctx.opt.pubkey, encoded))
            return kExitFailed;
        if (!pub.set(readPublicKey(encoded)))
            return ctx.error(ctx.opt.pubkey + " holds no SM2 or RSA public key or certificate in PEM or DER");
    } else {
        Container c(ctx, containerName(ctx));
        if (!c.ok() || !exportKey(ctx, c, true, pub))
            return kExitFailed;
    }
    uint32_t rc = SAR_OK;
    const char *entry = "KXF_ECCVerify";
    if (pub.type == kContainerSm2) {
        Bytes digest;
        ECCSIGNATUREBLOB blob{};
        if (!signatureFromDer(signature, blob))
            return ctx.error(ctx.opt.sig + " is no DER-encoded SM2 signature");
        if (!hashOnKey(ctx, kSgdSm3, &pub.ecc, data, digest))
            return kExitFailed;
        rc = ctx.session.kxf().ECCVerify(ctx.dev, &pub.ecc, sizeof pub.ecc, digest.data(),
                                         static_cast<uint32_t>(digest.size()), &blob, sizeof blob);
    } else {
        Bytes info;
        if (!digestInfo(ctx, data, info))
            return kExitFailed;
        entry = "KXF_RSAVerify";
        rc = ctx.session.kxf().RSAVerify(ctx.dev, &pub.rsa, sizeof pub.rsa, info.data(),
                                         static_cast<uint32_t>(info.size()), signature.data(),
                                         static_cast<uint32_t>(signature.size()));
    }
    ctx.out = {{"valid", rc == SAR_OK}, {"result", resultName(rc)}};
    ctx.text = rc == SAR_OK ? "signature verified\n" : "";
    return rc == SAR_OK ? kExitOk : ctx.failed(entry, rc, "the signature does not verify");
}

int cmdCertImport(Context &ctx)
{
    Bytes encoded;
    if (!ctx.readInput(ctx.opt.args[1], encoded))
        return kExitFailed;
    const Bytes der = certificateDer(encoded);
    if (der.empty())
        return ctx.error(ctx.opt.args[1] + " holds no certificate in PEM or DER");
    if (!ctx.login())
        return kExitFailed;
    Container c(ctx, containerName(ctx));
    if (!c.ok())
        return kExitFailed;
    const uint32_t rc = ctx.session.kxf().ImportCertificate(ctx.dev, c.handle(), ctx.opt.exchange ? 0 : 1, der.data(),
                                                            static_cast<uint32_t>(der.size()));
    return rc == SAR_OK ? kExitOk : ctx.failed("KXF_ImportCertificate", rc);
}

int cmdCertExport(Context &ctx)
{
    Container c(ctx, containerName(ctx));
    if (!c.ok())
        return kExitFailed;
    Bytes der(64 * 1024);
    uint32_t length = static_cast<uint32_t>(der.size());
    const uint32_t rc =
        ctx.session.kxf().ExportCertificate(ctx.dev, c.handle(), ctx.opt.exchange ? 0 : 1, der.data(), &length);
    if (rc != SAR_OK)
        return ctx.failed("KXF_ExportCertificate", rc, "container \"" + containerName(ctx) + "\"");
    der.resize(std::min<size_t>(length, der.size()));
    const Bytes pem = certificatePem(der);
    if (pem.empty())
        return ctx.error("the key holds a certificate that is not DER X.509");
    if (!ctx.opt.out.empty())
        return ctx.writeOutput(ctx.opt.out, ctx.opt.der ? der : pem) ? kExitOk : kExitFailed;
    ctx.out = {{"container", containerName(ctx)}, {"pem", std::string(pem.begin(), pem.end())}};
    ctx.text.assign(pem.begin(), pem.end());
    return kExitOk;
}

int cmdDigest(Context &ctx)
{
    const std::string name = ctx.opt.hash.empty() ? "sm3" : ctx.opt.hash;
    const uint32_t alg = hashAlgorithm(name);
    if (alg == 0)
        return ctx.error("unknown hash \"" + name + "\": use sm3, sha1 or sha256");
    Bytes data, digest;
    if (!ctx.readInput(ctx.opt.in, data) || !hashOnKey(ctx, alg, nullptr, data, digest))
        return kExitFailed;
    ctx.out = {{"hash", name}, {"digest", toHex(digest)}};
    ctx.text = toHex(digest) + "\n";
    return kExitOk;
}

int cmdEncrypt(Context &ctx)
{
    Bytes data, wrapped;
    if (!ctx.readInput(ctx.opt.in, data))
        return kExitFailed;
    if (ctx.opt.out.empty())
        return ctx.error("encrypt writes binary data: give --out FILE");
    Container c(ctx, containerName(ctx));
    SKF_HANDLE key = nullptr;
    if (!c.ok() || !newSessionKey(ctx, c, wrapped, key))
        return kExitFailed;
    Bytes out = frame(kEncryptedMagic, wrapped);
    uint8_t iv[kBlock];
    const bool ok = RAND_bytes(iv, sizeof iv) == 1;
    out.insert(out.end(), iv, iv + kBlock);
    const bool done = ok && runCipher(ctx, key, true, iv, data, out);
    ctx.session.kxf().CloseHandle(ctx.dev, key);
    return done && ctx.writeOutput(ctx.opt.out, out) ? kExitOk : kExitFailed;
}

int cmdDecrypt(Context &ctx)
{
    Bytes in, wrapped, plain;
    size_t rest = 0;
    if (!ctx.readInput(ctx.opt.in, in))
        return kExitFailed;
    if (!takeWrapped(in, kEncryptedMagic, wrapped, rest) || in.size() - rest < kBlock)
        return ctx.error(ctx.opt.in + " was not written by kxf-host encrypt");
    if (!ctx.login())
        return kExitFailed;
    Container c(ctx, containerName(ctx));
    SKF_HANDLE key = nullptr;
    if (!c.ok() || !importSessionKey(ctx, c, wrapped, key))
        return kExitFailed;
    const Bytes body(in.begin() + static_cast<std::ptrdiff_t>(rest + kBlock), in.end());
    const bool done = runCipher(ctx, key, false, in.data() + rest, body, plain);
    ctx.session.kxf().CloseHandle(ctx.dev, key);
    if (!done)
        return kExitFailed;
    if (!ctx.opt.out.empty())
        return ctx.writeOutput(ctx.opt.out, plain) ? kExitOk : kExitFailed;
    std::fwrite(plain.data(), 1, plain.size(), stdout);
    ctx.printed = true;
    return kExitOk;
}

int cmdMac(Context &ctx)
{
    Bytes data, keyFile, wrapped;
    size_t rest = 0;
    if (ctx.opt.keyFile.empty())
        return ctx.error("mac needs --key FILE: the wrapped session key, made there when the file is absent");
    if (!ctx.readInput(ctx.opt.in, data))
        return kExitFailed;
    Container c(ctx, containerName(ctx));
    if (!c.ok())
        return kExitFailed;
    SKF_HANDLE key = nullptr;
    std::FILE *existing = std::fopen(ctx.opt.keyFile.c_str(), "rb");
    if (existing) {
        std::fclose(existing);
        if (!ctx.readInput(ctx.opt.keyFile, keyFile) || !takeWrapped(keyFile, kKeyMagic, wrapped, rest))
            return ctx.error(ctx.opt.keyFile + " was not written by kxf-host mac");
        if (!ctx.login() || !importSessionKey(ctx, c, wrapped, key))
            return kExitFailed;
    } else if (!newSessionKey(ctx, c, wrapped, key) || !ctx.writeOutput(ctx.opt.keyFile, frame(kKeyMagic, wrapped))) {
        return kExitFailed;
    }
    BLOCKCIPHERPARAM param{};
    param.IVLen = kBlock;
    param.PaddingType = kPaddingPkcs5;
    SKF_HANDLE mac = nullptr;
    uint32_t rc = ctx.session.kxf().MacInit(ctx.dev, key, &param, sizeof param, &mac);
    const char *entry = "KXF_MacInit";
    if (rc == SAR_OK) {
        entry = "KXF_MacUpdate";
        for (size_t at = 0; rc == SAR_OK && at < data.size(); at += kChunk)
            rc = ctx.session.kxf().MacUpdate(ctx.dev, mac, data.data() + at,
                                             static_cast<uint32_t>(std::min(kChunk, data.size() - at)));
    }
    Bytes value(2 * kBlock);
    uint32_t length = static_cast<uint32_t>(value.size());
    if (rc == SAR_OK) {
        entry = "KXF_MacFinal";
        rc = ctx.session.kxf().MacFinal(ctx.dev, mac, value.data(), &length);
    }
    if (mac)
        ctx.session.kxf().CloseHandle(ctx.dev, mac);
    ctx.session.kxf().CloseHandle(ctx.dev, key);
    if (rc != SAR_OK)
        return ctx.failed(entry, rc);
    value.resize(std::min<size_t>(length, value.size()));
    ctx.out = {{"container", containerName(ctx)}, {"mac", toHex(value)}};
    ctx.text = toHex(value) + "\n";
    return kExitOk;
}

} // namespace kxfhost
