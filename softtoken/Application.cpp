// PINs, security state and the file store of an application.
#include <cstring>
#include <type_traits>

#include "Token.h"

using namespace softtoken;

namespace {

Device &deviceOf(const AppObject &session)
{
    return *findDevice(session.device);
}

// Counts a wrong PIN against its retries; a PIN whose retries are used up stays locked. A right
// PIN hands out the application's token key.
uint32_t checkPin(Pin &pin, const char *value, uint32_t *retry, bool &changed, SecretBytes &tokenKey)
{
    uint32_t result = SAR_OK;
    if (pin.remain == 0) {
        result = SAR_PIN_LOCKED;
    } else if (!pinMatches(pin, value, &tokenKey)) {
        --pin.remain;
        changed = true;
        result = SAR_PIN_INCORRECT;
    } else if (pin.remain != pin.maxRetry) {
        pin.remain = pin.maxRetry;
        changed = true;
    }
    if (retry)
        *retry = pin.remain;
    return result;
}

Pin *pinOf(Application &app, uint32_t type)
{
    return type == SKF_ADMIN_TYPE ? &app.admin : type == SKF_USER_TYPE ? &app.user : nullptr;
}

File *fileOf(Application &app, const char *name)
{
    const auto it = name ? app.files.find(name) : app.files.end();
    return it == app.files.end() ? nullptr : &it->second;
}

// The file a call may read or write, with its application's session, or the code that refuses it.
struct FileAccess {
    AppObject *session = nullptr;
    Application *app = nullptr;
    File *file = nullptr;
    uint32_t refusal = SAR_OK;
};

FileAccess accessFile(HAPPLICATION hApp, const char *name, uint32_t File::*rights)
{
    FileAccess a;
    a.app = appOf(hApp, &a.session);
    if (!a.app)
        a.refusal = SAR_INVALIDHANDLEERR;
    else if (!(a.file = fileOf(*a.app, name)))
        a.refusal = name ? SAR_FILE_NOT_EXIST : SAR_INVALIDPARAMERR;
    else if (!allowed(a.file->*rights, *a.session))
        a.refusal = SAR_USER_NOT_LOGGED_IN;
    return a;
}

} // namespace

SKFSOFT_API uint32_t KXF_CALL SKF_VerifyPIN(HAPPLICATION hApp, uint32_t ulPINType, const char *szPIN,
                                            uint32_t *pulRetryCount)
{
    return run([&] {
        AppObject *session = nullptr;
        Application *app = appOf(hApp, &session);
        if (!app)
            return SAR_INVALIDHANDLEERR;
        Pin *pin = pinOf(*app, ulPINType);
        if (!pin)
            return SAR_USER_TYPE_INVALID;
        if (!szPIN)
            return SAR_INVALIDPARAMERR;
        bool changed = false;
        SecretBytes tokenKey;
        const uint32_t result = checkPin(*pin, szPIN, pulRetryCount, changed, tokenKey);
        (ulPINType == SKF_ADMIN_TYPE ? session->admin : session->user) = result == SAR_OK;
        if (result == SAR_OK)
            session->tokenKey = std::move(tokenKey);
        else if (!session->admin && !session->user)
            session->tokenKey = SecretBytes();
        if (changed)
            if (const uint32_t r = saveApp(deviceOf(*session), *app))
                return r;
        return result;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_ChangePIN(HAPPLICATION hApp, uint32_t ulPINType, const char *szOldPin,
                                            const char *szNewPin, uint32_t *pulRetryCount)
{
    return run([&] {
        AppObject *session = nullptr;
        Application *app = appOf(hApp, &session);
        if (!app)
            return SAR_INVALIDHANDLEERR;
        Pin *pin = pinOf(*app, ulPINType);
        if (!pin)
            return SAR_USER_TYPE_INVALID;
        if (!szOldPin || !szNewPin)
            return SAR_INVALIDPARAMERR;
        if (!pinInRange(szNewPin))
            return SAR_PIN_LEN_RANGE;
        bool changed = false;
        SecretBytes tokenKey;
        const uint32_t result = checkPin(*pin, szOldPin, pulRetryCount, changed, tokenKey);
        if (result == SAR_OK) {
            Pin fresh;
            if (!makePin(szNewPin, pin->maxRetry, tokenKey, fresh))
                return SAR_FAIL;
            fresh.isDefault = false;
            *pin = std::move(fresh);
            changed = true;
        }
        if (changed)
            if (const uint32_t r = saveApp(deviceOf(*session), *app))
                return r;
        return result;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_GetPINInfo(HAPPLICATION hApp, uint32_t ulPINType, uint32_t *pulMaxRetryCount,
                                             uint32_t *pulRemainRetryCount, int32_t *pbDefaultPin)
{
    return run([&] {
        Application *app = appOf(hApp);
        if (!app)
            return SAR_INVALIDHANDLEERR;
        const Pin *pin = pinOf(*app, ulPINType);
        if (!pin)
            return SAR_USER_TYPE_INVALID;
        if (!pulMaxRetryCount || !pulRemainRetryCount || !pbDefaultPin)
            return SAR_INVALIDPARAMERR;
        *pulMaxRetryCount = pin->maxRetry;
        *pulRemainRetryCount = pin->remain;
        *pbDefaultPin = pin->isDefault ? 1 : 0;
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_UnblockPIN(HAPPLICATION hApp, const char *szAdminPIN, const char *szNewUserPIN,
                                             uint32_t *pulRetryCount)
{
    return run([&] {
        AppObject *session = nullptr;
        Application *app = appOf(hApp, &session);
        if (!app)
            return SAR_INVALIDHANDLEERR;
        if (!szAdminPIN || !szNewUserPIN)
            return SAR_INVALIDPARAMERR;
        if (!pinInRange(szNewUserPIN))
            return SAR_PIN_LEN_RANGE;
        bool changed = false;
        SecretBytes tokenKey;
        const uint32_t result = checkPin(app->admin, szAdminPIN, pulRetryCount, changed, tokenKey);
        if (result == SAR_OK) {
            // The token key, unsealed by the administrator PIN, is sealed again for the new user PIN.
            Pin fresh;
            if (!makePin(szNewUserPIN, app->user.maxRetry, tokenKey, fresh))
                return SAR_FAIL;
            fresh.isDefault = false;
            app->user = std::move(fresh);
            changed = true;
        }
        if (changed)
            if (const uint32_t r = saveApp(deviceOf(*session), *app))
                return r;
        return result;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_GenRemoteUnblockRequest(HAPPLICATION, uint8_t *, uint32_t)
{
    return SAR_NOTSUPPORTYETERR;
}

SKFSOFT_API uint32_t KXF_CALL SKF_RemoteUnblockPIN(HAPPLICATION, const uint8_t *, uint32_t)
{
    return SAR_NOTSUPPORTYETERR;
}

SKFSOFT_API uint32_t KXF_CALL SKF_ClearSecureState(HAPPLICATION hApp)
{
    return run([&] {
        AppObject *session = nullptr;
        if (!appOf(hApp, &session))
            return SAR_INVALIDHANDLEERR;
        session->admin = session->user = false;
        session->tokenKey = SecretBytes();
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_CreateFile(HAPPLICATION hApp, const char *szFileName, uint32_t ulFileSize,
                                             uint32_t ulReadRights, uint32_t ulWriteRights)
{
    return run([&] {
        AppObject *session = nullptr;
        Application *app = appOf(hApp, &session);
        if (!app)
            return SAR_INVALIDHANDLEERR;
        if (!validName(szFileName))
            return SAR_INVALIDPARAMERR;
        if (!allowed(app->createFileRights, *session))
            return SAR_USER_NOT_LOGGED_IN;
        if (fileOf(*app, szFileName))
            return SAR_FILE_ALREADY_EXIST;
        if (ulFileSize > kTotalSpace - usedSpace(deviceOf(*session)))
            return SAR_NO_ROOM;
        app->files[szFileName] = File{Bytes(ulFileSize, 0), ulReadRights, ulWriteRights};
        return saveFile(deviceOf(*session), *app, szFileName);
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_DeleteFile(HAPPLICATION hApp, const char *szFileName)
{
    return run([&] {
        const FileAccess a = accessFile(hApp, szFileName, &File::writeRights);
        if (a.refusal != SAR_OK)
            return a.refusal;
        a.app->files.erase(szFileName);
        return saveFile(deviceOf(*a.session), *a.app, szFileName);
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_EnumFiles(HAPPLICATION hApp, char *szFileList, uint32_t *pulSize)
{
    return run([&] {
        Application *app = appOf(hApp);
        if (!app)
            return SAR_INVALIDHANDLEERR;
        std::vector<std::string> names;
        for (const auto &f : app->files)
            names.push_back(f.first);
        return putNameList(names, szFileList, pulSize);
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_GetFileInfo(HAPPLICATION hApp, const char *szFileName, FILEATTRIBUTE *pFileInfo)
{
    return run([&] {
        Application *app = appOf(hApp);
        if (!app)
            return SAR_INVALIDHANDLEERR;
        if (!szFileName || !pFileInfo)
            return SAR_INVALIDPARAMERR;
        const File *file = fileOf(*app, szFileName);
        if (!file)
            return SAR_FILE_NOT_EXIST;
        FILEATTRIBUTE info{};
        std::memcpy(info.FileName, szFileName, std::min(std::strlen(szFileName), sizeof info.FileName));
        info.FileSize = static_cast<uint32_t>(file->data.size());
        info.ReadRights = file->readRights;
        info.WriteRights = file->writeRights;
        *pFileInfo = info;
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_ReadFile(HAPPLICATION hApp, const char *szFileName, uint32_t ulOffset,
                                           uint32_t ulSize, uint8_t *pbOutData, uint32_t *pulOutLen)
{
    return run([&] {
        const FileAccess a = accessFile(hApp, szFileName, &File::readRights);
        if (a.refusal != SAR_OK)
            return a.refusal;
        const File *file = a.file;
        if (ulOffset > file->data.size())
            return SAR_INDATALENERR;
        const size_t n = std::min<size_t>(ulSize, file->data.size() - ulOffset);
        return putBytes(Bytes(file->data.begin() + ulOffset, file->data.begin() + ulOffset + n), pbOutData, pulOutLen);
    });
}

// Files keep the size they were created with; a write past the end is refused.
SKFSOFT_API uint32_t KXF_CALL SKF_WriteFile(HAPPLICATION hApp, const char *szFileName, uint32_t ulOffset,
                                            const uint8_t *pbData, uint32_t ulSize)
{
    return run([&] {
        const FileAccess a = accessFile(hApp, szFileName, &File::writeRights);
        if (a.refusal != SAR_OK)
            return a.refusal;
        File *file = a.file;
        if (!pbData && ulSize)
            return SAR_INVALIDPARAMERR;
        if (uint64_t{ulOffset} + ulSize > file->data.size())
            return SAR_INDATALENERR;
        if (ulSize)
            std::memcpy(file->data.data() + ulOffset, pbData, ulSize);
        return saveFile(deviceOf(*a.session), *a.app, szFileName);
    });
}

SKFSOFT_CHECK(SKF_VerifyPIN);
SKFSOFT_CHECK(SKF_ChangePIN);
SKFSOFT_CHECK(SKF_GetPINInfo);
SKFSOFT_CHECK(SKF_UnblockPIN);
SKFSOFT_CHECK(SKF_GenRemoteUnblockRequest);
SKFSOFT_CHECK(SKF_RemoteUnblockPIN);
SKFSOFT_CHECK(SKF_ClearSecureState);
SKFSOFT_CHECK(SKF_CreateFile);
SKFSOFT_CHECK(SKF_DeleteFile);
SKFSOFT_CHECK(SKF_EnumFiles);
SKFSOFT_CHECK(SKF_GetFileInfo);
SKFSOFT_CHECK(SKF_ReadFile);
SKFSOFT_CHECK(SKF_WriteFile);
