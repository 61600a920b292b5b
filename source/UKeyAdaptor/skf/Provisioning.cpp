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
    if (op.needs(skf().SKF_DevAuth, skf().SKF_GenRandom, skf().SKF_SetSymmKey, skf().SKF_DeleteApplication)
            .handles(m_hDev != nullptr)
            .failed())
        return op.code();
    return provision(site.function, devInfo.get().DevAuthAlgId, authKeyBase64, adminPin, userPin, appName);
}

uint32_t UKeyAdaptorSKF::provision(const char *function, uint32_t algId, const char *authKeyBase64,
                                   const char *adminPin, const char *userPin, const char *appName)
{
#define UKEY_PROVISION_STEP(call, what)                                                                                \
    do {                                                                                                               \
        const uint32_t stepResult = (call);                                                                            \
        if (stepResult != SAR_OK) {                                                                                    \
            UKEY_TRACEF(function, " " what " failed,ret = %d", static_cast<int>(stepResult));                          \
            return stepResult;                                                                                         \
        }                                                                                                              \
    } while (0)

    QByteArray key = QByteArray::fromBase64(QByteArray(authKeyBase64 ? authKeyBase64 : ""));
    if (key.size() < kMinKeyBuffer)
        key.append(QByteArray(kMinKeyBuffer - key.size(), '\0'));

    SKF_HANDLE hKey = nullptr;
    UKEY_PROVISION_STEP(skf().SKF_SetSymmKey(m_hDev, reinterpret_cast<const uint8_t *>(key.constData()), algId, &hKey),
                        "SKF_SetSymmKey");
    UKEY_PROVISION_STEP(skf().SKF_EncryptInit(hKey, BLOCKCIPHERPARAM{}), "SKF_EncryptInit");

    // 8 random bytes and 8 zero bytes make the one block that is encrypted.
    uint8_t challenge[kBufferLen] = {};
    UKEY_PROVISION_STEP(skf().SKF_GenRandom(m_hDev, challenge, kChallengeLen), "SKF_GenRandom");
    uint8_t response[kBufferLen] = {};
    uint32_t responseLen = kBufferLen;
    UKEY_PROVISION_STEP(Encrypt(hKey, challenge, kBlockLen, response, &responseLen), "Encrypt");
    UKEY_PROVISION_STEP(skf().SKF_DevAuth(m_hDev, response, std::min(responseLen, kBufferLen)), "SKF_DevAuth");

    NameList apps;
    UKEY_PROVISION_STEP(enumApplication(apps), "enumApplication");
    for (const auto &app : apps)
        UKEY_PROVISION_STEP(skf().SKF_DeleteApplication(m_hDev, app.c_str()), "SKF_DeleteApplication");

    UKEY_PROVISION_STEP(skf().SKF_CreateApplication(
                            m_hDev, orDefault(appName, kDefaultAppName), orDefault(adminPin, kDefaultPin), kPinRetries,
                            orDefault(userPin, kDefaultPin), kPinRetries, kCreateFileRights, &m_hApp),
                        "SKF_CreateApplication");
    return SAR_OK;
#undef UKEY_PROVISION_STEP
}

} // namespace ukey
