// The software token's store loader on fuzzed files. The input is a small archive of records
// (relative path, NUL, flag byte, 16-bit length, bytes) written under SKFSOFT_DIR before each run;
// with the flag's low bit the harness closes the file with its checksum line, so that fuzzed
// values reach the parser. The harness then walks every device, application, file and container.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <openssl/crypto.h>
#include <openssl/sha.h>

#include "SoftToken.h"

namespace fs = std::filesystem;

namespace {

fs::path g_dir;

bool safePath(const std::string &p)
{
    return !p.empty() && p.size() <= 96 && p.front() != '/' && p.find("..") == std::string::npos &&
           p.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ._-/") ==
               std::string::npos;
}

// The token's own closing line: sum= and the SHA-256 of the lines before it.
std::string sealed(std::string body)
{
    if (body.empty() || body.back() != '\n')
        body += '\n';
    uint8_t digest[SHA256_DIGEST_LENGTH];
    char hex[2 * sizeof digest + 1];
    SHA256(reinterpret_cast<const uint8_t *>(body.data()), body.size(), digest);
    OPENSSL_buf2hexstr_ex(hex, sizeof hex, nullptr, digest, sizeof digest, '\0');
    return body + "sum=" + hex + '\n';
}

void writeStore(fuzz::Script &s)
{
    // Everything but the lock goes; a new change count in the lock makes the token read again.
    static uint64_t generation = 0;
    fs::create_directories(g_dir);
    for (const auto &entry : fs::directory_iterator(g_dir))
        if (entry.path().filename() != ".lock")
            fs::remove_all(entry.path());
    ++generation;
    std::ofstream(g_dir / ".lock", std::ios::binary | std::ios::in | std::ios::out)
        .write(reinterpret_cast<const char *>(&generation), sizeof generation);
    while (!s.empty()) {
        std::string path;
        for (char c; (c = static_cast<char>(s.byte())) != '\0' && !s.empty();)
            path += c;
        const bool seal = s.byte() & 1;
        std::string body(s.u16(), '\0');
        body.resize(s.bytes(body.data(), body.size()));
        if (!safePath(path))
            continue;
        std::error_code ec;
        fs::create_directories((g_dir / path).parent_path(), ec);
        std::ofstream(g_dir / path, std::ios::binary) << (seal ? sealed(body) : body);
    }
}

void walkContainer(HCONTAINER c)
{
    uint32_t type = 0;
    SKF_GetContainerType(c, &type);
    for (int32_t sign = 0; sign < 2; ++sign) {
        fuzz::Buf cert(4096), pub(4096);
        SKF_ExportCertificate(c, sign, cert.p(), &cert.n);
        SKF_ExportPublicKey(c, sign, pub.p(), &pub.n);
    }
    const uint8_t digest[32] = {1};
    ECCSIGNATUREBLOB sig{};
    fuzz::Buf rsaSig(256);
    SKF_ECCSignData(c, digest, sizeof digest, &sig);
    SKF_RSASignData(c, digest, 20, rsaSig.p(), &rsaSig.n);
}

void walkApp(HAPPLICATION app)
{
    uint32_t maxRetry = 0, left = 0;
    int32_t isDefault = 0;
    SKF_GetPINInfo(app, SKF_USER_TYPE, &maxRetry, &left, &isDefault);
    for (const auto &f : fuzz::names(SKF_EnumFiles, app)) {
        FILEATTRIBUTE info{};
        fuzz::Buf data(512);
        SKF_GetFileInfo(app, f.c_str(), &info);
        SKF_ReadFile(app, f.c_str(), 0, data.n, data.p(), &data.n);
    }
    for (const auto &name : fuzz::names(SKF_EnumContainer, app)) {
        HCONTAINER c = nullptr;
        if (SKF_OpenContainer(app, name.c_str(), &c) == SAR_OK) {
            walkContainer(c);
            SKF_CloseContainer(c);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char tmpl[] = "/tmp/fuzz-store-XXXXXX";
    if (!mkdtemp(tmpl))
        std::abort();
    g_dir = fs::path(tmpl) / "store";
    setenv("SKFSOFT_DIR", g_dir.c_str(), 1);
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(g_dir.parent_path(), ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Script s{data, size};
    writeStore(s);
    for (const auto &name : fuzz::names(SKF_EnumDev, int32_t{1}, 64)) {
        DEVHANDLE dev = nullptr;
        if (SKF_ConnectDev(name.c_str(), &dev) != SAR_OK)
            continue;
        DEVINFO info{};
        SKF_GetDevInfo(dev, &info);
        for (const auto &a : fuzz::names(SKF_EnumApplication, dev))
            if (HAPPLICATION app = fuzz::login(dev, a.c_str())) {
                walkApp(app);
                SKF_CloseApplication(app);
            }
        SKF_DisConnectDev(dev);
    }
    return 0;
}
