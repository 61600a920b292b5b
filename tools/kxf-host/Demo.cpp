// The guided run: every step is one or two table entries and prints one result line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "Context.h"
#include "KeyCodec.h"
#include "ResultCodes.h"

namespace kxfhost {

namespace {

constexpr uint32_t kPaddingPkcs5 = 1;
constexpr uint32_t kSecureAnyone = 0xFF;
constexpr uint32_t kSecureUser = 0x10;
constexpr char kSignerId[] = "1234567812345678"; // the default SM2 signer identity
constexpr char kContainerName[] = "kxf-host-demo";
constexpr char kFileName[] = "kxfdemo";
constexpr char kDefaultPin[] = "123456";

// Each step is one line, or one record of the JSON document with --json.
class Steps {
public:
    explicit Steps(nlohmann::ordered_json *log) : log_(log) {}
    // Reports the step; true when rc is SAR_OK.
    bool check(const std::string &what, uint32_t rc, const std::string &detail = {})
    {
        if (rc == SAR_OK)
            return pass(what, detail);
        char text[96];
        std::snprintf(text, sizeof text, "FAILED 0x%08X %s", static_cast<unsigned>(rc), resultName(rc));
        return line(what, text, false);
    }
    bool pass(const std::string &what, const std::string &detail = {})
    {
        return line(what, detail.empty() ? "ok" : "ok  " + detail, true);
    }
    bool fail(const std::string &what, const std::string &why) { return line(what, "FAILED " + why, false); }
    // A second line about the step just reported.
    void note(const std::string &text)
    {
        if (log_)
            (*log_)["steps"].back()["note"] = text;
        else
            std::printf("       %s\n", text.c_str());
    }
    int exitCode() const
    {
        if (log_)
            (*log_)["failed"] = failed_;
        else
            std::printf("\n%d step(s), %d failed\n", count_, failed_);
        return failed_ == 0 ? 0 : 1;
    }

private:
    bool line(const std::string &what, const std::string &result, bool ok)
    {
        ++count_;
        failed_ += ok ? 0 : 1;
        if (log_) {
            (*log_)["steps"].push_back({{"step", what}, {"ok", ok}, {"result", result}});
            return ok;
        }
        std::printf("[%2d] %-42s %s\n", count_, what.c_str(), result.c_str());
        std::fflush(stdout);
        return ok;
    }
    nlohmann::ordered_json *log_;
    int count_ = 0;
    int failed_ = 0;
};

std::string hex(const uint8_t *data, size_t size, size_t limit = 16)
{
    const std::string text = toHex(data, std::min(size, limit));
    return size > limit ? text + "..." : text;
}

struct Token {
    Session &s;
    Steps &steps;
    uint32_t dev = 0;
    HCONTAINER container = nullptr;
    ECCPUBLICKEYBLOB publicKey{};
    uint8_t digest[64] = {};
    uint32_t digestLength = 0;
};

void showDevice(Token &t)
{
    std::string label, serial;
    uint32_t total = 0, freeSpace = 0, length = 0;
    DEVINFO info{};
    // Each result is taken before its detail text is built from the outputs.
    uint32_t rc = t.s.label(t.dev, label);
    t.steps.check("read label", rc, "\"" + label + "\"");
    rc = t.s.serial(t.dev, serial);
    t.steps.check("read serial number", rc, serial);
    rc = t.s.kxf().GetTotalSpace(t.dev, &total);
    t.steps.check("read total space", rc, std::to_string(total) + " bytes");
    rc = t.s.kxf().GetFreeSpace(t.dev, &freeSpace);
    t.steps.check("read free space", rc, std::to_string(freeSpace) + " bytes");
    rc = t.s.kxf().GetDevInfo(t.dev, &info, &length);
    if (t.steps.check("read DEVINFO", rc, std::to_string(length) + " bytes"))
        t.steps.note("manufacturer \"" + field(info.Manufacturer, sizeof info.Manufacturer) + "\", issuer \"" +
                     field(info.Issuer, sizeof info.Issuer) + "\", version " + std::to_string(info.Version.major) +
                     "." + std::to_string(info.Version.minor) + ", firmware " +
                     std::to_string(info.FirmwareVersion.major) + "." + std::to_string(info.FirmwareVersion.minor));
}

void signAndVerify(Token &t)
{
    const std::string message = "Signed through the adaptor's 65-entry table.";
    SKF_HANDLE hash = nullptr;
    uint32_t rc = t.s.kxf().DigestInit(t.dev, kSgdSm3, &t.publicKey, sizeof t.publicKey,
                                       reinterpret_cast<const uint8_t *>(kSignerId), sizeof kSignerId - 1, &hash);
    if (!t.steps.check("start SM3 digest with the public key", rc))
        return;
    t.digestLength = sizeof t.digest;
    rc = t.s.kxf().Digest(t.dev, hash, reinterpret_cast<const uint8_t *>(message.data()),
                          static_cast<uint32_t>(message.size()), t.digest, &t.digestLength);
    const bool hashed = t.steps.check("hash the message (SM3)", rc, hex(t.digest, t.digestLength));
    t.steps.check("close the hash handle", t.s.kxf().CloseHandle(t.dev, hash));
    if (!hashed)
        return;

    ECCSIGNATUREBLOB signature{};
    uint32_t signatureLength = 0;
    rc = t.s.kxf().ECCSignData(t.dev, t.container, t.digest, t.digestLength, &signature, &signatureLength);
    if (!t.steps.check("sign the digest (SM2)", rc, "r=" + hex(signature.r + 32, 32, 8)))
        return;
    rc = t.s.kxf().ECCVerify(t.dev, &t.publicKey, sizeof t.publicKey, t.digest, t.digestLength, &signature,
                             signatureLength);
    t.steps.check("verify the signature", rc);
}

void sessionKeyRoundTrip(Token &t)
{
    uint8_t wrapped[SKF_ECC_CIPHER_BLOB_BUFFER_LEN] = {};
    uint32_t wrappedLength = 0;
    SKF_HANDLE key = nullptr;
    uint32_t rc = t.s.kxf().ECCExportSessionKey(t.dev, t.container, kSgdSm4Ecb, &t.publicKey, sizeof t.publicKey,
                                                wrapped, &wrappedLength, &key);
    if (!t.steps.check("export an SM4 session key wrapped by SM2", rc,
                       std::to_string(wrappedLength) + " bytes, key handle set"))
        return;

    const std::string plain = "A secret for SM4 in ECB mode, padded.";
    BLOCKCIPHERPARAM param{};
    param.PaddingType = kPaddingPkcs5;
    std::vector<uint8_t> cipher(plain.size() + 32);
    uint32_t cipherLength = static_cast<uint32_t>(cipher.size());
    std::vector<uint8_t> back(cipher.size());
    uint32_t backLength = static_cast<uint32_t>(back.size());

    if (t.steps.check("start encryption", t.s.kxf().EncryptInit(t.dev, key, &param, sizeof param))) {
        rc = t.s.kxf().Encrypt(t.dev, key, reinterpret_cast<const uint8_t *>(plain.data()),
                               static_cast<uint32_t>(plain.size()), cipher.data(), &cipherLength);
        if (rc == SAR_OK && cipherLength > cipher.size())
            t.steps.fail("encrypt the message", "length " + std::to_string(cipherLength) + " beyond the buffer");
        else if (t.steps.check("encrypt the message", rc, std::to_string(cipherLength) + " bytes") &&
                 t.steps.check("start decryption", t.s.kxf().DecryptInit(t.dev, key, &param, sizeof param))) {
            rc = t.s.kxf().Decrypt(t.dev, key, cipher.data(), cipherLength, back.data(), &backLength);
            if (rc != SAR_OK)
                t.steps.check("decrypt the message", rc);
            else if (backLength == plain.size() && std::memcmp(back.data(), plain.data(), plain.size()) == 0)
                t.steps.pass("decrypt the message", "matches the original");
            else
                t.steps.fail("decrypt the message", "the result differs from the original");
        }
    }
    t.steps.check("close the session key", t.s.kxf().CloseHandle(t.dev, key));
}

void fileRoundTrip(Token &t)
{
    const std::string content = "Written and read back by kxf-host.";
    const auto size = static_cast<uint32_t>(content.size());
    if (t.s.kxf().IsFileExist(t.dev, kFileName) == SAR_OK)
        t.s.kxf().DeleteFile(t.dev, kFileName); // left over from an interrupted run
    if (!t.steps.check(std::string("create file \"") + kFileName + "\"",
                       t.s.kxf().CreateFile(t.dev, kFileName, size, kSecureAnyone, kSecureUser)))
        return;
    uint32_t rc = t.s.kxf().WriteFile(t.dev, kFileName, 0, reinterpret_cast<const uint8_t *>(content.data()), size);
    if (t.steps.check("write the file", rc, std::to_string(size) + " bytes")) {
        t.steps.check("find it with KXF_IsFileExist", t.s.kxf().IsFileExist(t.dev, kFileName));
        std::vector<uint8_t> back(size + 16);
        uint32_t length = static_cast<uint32_t>(back.size());
        rc = t.s.kxf().ReadFile(t.dev, kFileName, 0, size, back.data(), &length);
        if (rc != SAR_OK)
            t.steps.check("read the file back", rc);
        else if (length == size && std::memcmp(back.data(), content.data(), size) == 0)
            t.steps.pass("read the file back", "matches what was written");
        else
            t.steps.fail("read the file back", "the content differs");
    }
    t.steps.check("delete the file", t.s.kxf().DeleteFile(t.dev, kFileName));
}

void useToken(Token &t, const std::string &pin)
{
    showDevice(t);

    uint32_t retry = 0;
    uint32_t rc = t.s.kxf().VerifyPIN(t.dev, SKF_USER_TYPE, pin.c_str(), &retry);
    if (!t.steps.check("verify the user PIN", rc)) {
        if (rc == SAR_PIN_INCORRECT)
            t.steps.note(std::to_string(retry) + " tries left; give it with --pin-file or --pin-env");
        return;
    }

    std::vector<std::string> containers;
    if (t.s.enumContainers(t.dev, containers) == SAR_OK)
        for (const auto &name : containers)
            if (name == kContainerName)
                t.s.kxf().DeleteContainer(t.dev, kContainerName); // left over from an interrupted run
    rc = t.s.kxf().CreateContainer(t.dev, kContainerName, &t.container);
    if (!t.steps.check(std::string("create container \"") + kContainerName + "\"", rc))
        return;

    uint32_t keyLength = 0;
    rc = t.s.kxf().GenECCKeyPair(t.dev, t.container, kSgdSm2Sign, &t.publicKey, &keyLength);
    if (t.steps.check("generate an SM2 key pair", rc,
                      std::to_string(t.publicKey.BitLen) + " bits, X=" + hex(t.publicKey.XCoordinate + 32, 32, 8))) {
        signAndVerify(t);
        sessionKeyRoundTrip(t);
    }
    fileRoundTrip(t);

    t.steps.check("close the container", t.s.kxf().CloseContainer(t.dev, t.container));
    t.steps.check("delete the container", t.s.kxf().DeleteContainer(t.dev, kContainerName));
}

// Enumerates, connects the first device and runs the token steps on it.
void useFirstDevice(Session &session, Steps &steps, const std::string &pin)
{
    std::vector<std::string> devices;
    uint32_t rc = session.enumDevices(devices);
    if (!steps.check("enumerate devices", rc, std::to_string(devices.size()) + " found"))
        return;
    if (devices.empty()) {
        steps.fail("pick the first device", "no device present");
        return;
    }
    const std::string &name = devices.front();
    std::string serial;
    rc = session.serialByDevName(name, serial);
    steps.check("serial number by device name", rc, name + ": " + serial);

    Token token{session, steps};
    rc = session.connect(name, token.dev);
    if (!steps.check("connect \"" + name + "\"", rc, "device handle " + std::to_string(token.dev)))
        return;
    useToken(token, pin);
    steps.check("disconnect", session.kxf().DisConnectDev(token.dev));
}

} // namespace

// Without --pin-file or --pin-env the demo uses the software token's default user PIN.
int cmdDemo(Context &ctx)
{
    const Options &options = ctx.opt;
    std::string pin = kDefaultPin;
    if ((!options.pinFile.empty() || !options.pinEnv.empty()) && !ctx.secret("user PIN", pin))
        return kExitFailed;
    Session &session = ctx.session;
    Steps steps(options.json ? &ctx.out : nullptr);
    steps.pass("load the adaptor, take its table", options.adaptorPath);
    const uint32_t rc = session.init(options.typeName, options.vendorPath, traceCallback(options));
    if (steps.check("KXF_Init_SDK(\"" + options.typeName + "\")", rc, options.vendorPath))
        useFirstDevice(session, steps, pin);
    steps.check("KXF_Uinit_SDK", session.uinit());
    steps.check("KXF_Unload", session.unload());
    ctx.printed = !options.json;
    return steps.exitCode();
}

} // namespace kxfhost
