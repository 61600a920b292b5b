#include <QByteArray>

#include "library/SkfEntryPoints.h"
#include "skf/Guard.h"
#include "skf/UKeyAdaptorSKF.h"

namespace ukey {
namespace {

constexpr const char kDefaultAppName[] = "tkapp";
constexpr const char kDefaultPin[] = "731902";
constexpr uint32_t kPinRetries = 10;
constexpr uint32_t kCreateFileRights = 0x00000011; // administrator or user
constexpr uint32_t kChallengeLen = 8;
constexpr uint32_t kBlockLen = 16;
constexpr uint32_t kBufferLen = 32;
// The vendor reads the key at the algorithm's length; never let it read past what we own.
constexpr int kMinKeyBuffer = 32;

const char *orDefault(const char *value, const char *fallback)
{
    return value && *value ? value : fallback;
}

} // namespace

uint32_t UKeyAdaptorSKF::FormatKey(const char *newPin, const char *oldPin)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::FormatKey");
    site("start");
    if (!m_hDev) {
        site(kEndInvalidHandleBlank);
        return SAR_INVALIDHANDLEERR;
    }
    if (!newPin) {
        site(kEndInvalidParam);
        return SAR_INVALIDPARAMERR;
    }
    // Files go first, so wrong PINs still leave an empty application.
    NameList files;
    enumFiles(files);
    for (const auto &name : files)
        DeleteFileW(name.c_str());

    uint32_t retries = 0;
    if (VerifyPIN(SKF_USER_TYPE, newPin, &retries) == SAR_OK || !oldPin || !*oldPin) {
        site("end");
        return SAR_OK;
    }
    uint32_t result = VerifyPIN(SKF_USER_TYPE, oldPin, &retries);
    if (result != SAR_OK)
        return result;
    result = ChangePIN(SKF_USER_TYPE, oldPin, newPin, &retries);
    if (result != SAR_OK)
        return result;
    site("end");
    return SAR_OK;
}

uint32_t UKeyAdaptorSKF::InitialKey(const char *authKeyBase64, const char *adminPin, const char *userPin,
                                    const char *appName)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::InitialKey");
    Operation op(site);
    if (const Refusal refused =
            op.needs(skf().SKF_DevAuth, skf().SKF_GenRandom, skf().SKF_SetSymmKey, skf().SKF_DeleteApplication)
                .handles(m_hDev != nullptr)
                .refusal())
        return *refused;
    return provision(site, devInfo.get().DevAuthAlgId, authKeyBase64, adminPin, userPin, appName);
}

uint32_t UKeyAdaptorSKF::provision(const TraceSite &caller, uint32_t algId, const char *authKeyBase64,
                                   const char *adminPin, const char *userPin, const char *appName)
{
    // A step that fails is traced by name and ends provisioning with its result.
    const TraceSite site{caller, __LINE__};
    const auto failed = [&site](uint32_t result, const char *step) {
        if (result != SAR_OK)
            site.format(" %s failed,ret = %d", step, static_cast<int>(result));
        return result != SAR_OK;
    };

    QByteArray key = QByteArray::fromBase64(QByteArray(authKeyBase64 ? authKeyBase64 : ""));
    if (key.size() < kMinKeyBuffer)
        key.append(QByteArray(kMinKeyBuffer - key.size(), '\0'));

    SKF_HANDLE hKey = nullptr;
    uint32_t result = skf().SKF_SetSymmKey(m_hDev, reinterpret_cast<const uint8_t *>(key.constData()), algId, &hKey);
    if (failed(result, "SKF_SetSymmKey"))
        return result;
    result = skf().SKF_EncryptInit(hKey, BLOCKCIPHERPARAM{});
    if (failed(result, "SKF_EncryptInit"))
        return result;

    // 8 random bytes and 8 zero bytes make the one block that is encrypted.
    uint8_t challenge[kBufferLen] = {};
    result = skf().SKF_GenRandom(m_hDev, challenge, kChallengeLen);
    if (failed(result, "SKF_GenRandom"))
        return result;
    uint8_t response[kBufferLen] = {};
    uint32_t responseLen = kBufferLen;
    result = Encrypt(hKey, challenge, kBlockLen, response, &responseLen);
    if (failed(result, "Encrypt"))
        return result;
    result = skf().SKF_DevAuth(m_hDev, response, std::min(responseLen, kBufferLen));
    if (failed(result, "SKF_DevAuth"))
        return result;

    NameList apps;
    result = enumApplication(apps);
    if (failed(result, "enumApplication"))
        return result;
    for (const auto &app : apps) {
        result = skf().SKF_DeleteApplication(m_hDev, app.c_str());
        if (failed(result, "SKF_DeleteApplication"))
            return result;
    }

    result = skf().SKF_CreateApplication(m_hDev, orDefault(appName, kDefaultAppName), orDefault(adminPin, kDefaultPin),
                                         kPinRetries, orDefault(userPin, kDefaultPin), kPinRetries, kCreateFileRights,
                                         &m_hApp);
    if (failed(result, "SKF_CreateApplication"))
        return result;
    return SAR_OK;
}

} // namespace ukey
