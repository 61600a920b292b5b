// Devices and applications: discovery, connection, information, device authentication.
#include <cstring>
#include <type_traits>

#include "Token.h"

using namespace softtoken;

namespace {

DevObject *devObject(DEVHANDLE h)
{
    DevObject *d = find<DevObject>(h);
    return d && findDevice(d->device) ? d : nullptr;
}

void copyText(char *field, size_t size, const std::string &value)
{
    std::memcpy(field, value.data(), std::min(size, value.size()));
}

} // namespace

SKFSOFT_API uint32_t KXF_CALL SKF_WaitForDevEvent(char *, uint32_t *, uint32_t *)
{
    return SAR_NOTSUPPORTYETERR; // soft devices never arrive or leave
}

SKFSOFT_API uint32_t KXF_CALL SKF_EnumDev(int32_t, char *szNameList, uint32_t *pulSize)
{
    return run([&] {
        std::vector<std::string> names;
        for (const auto &d : devices())
            names.push_back(d.name);
        return putNameList(names, szNameList, pulSize);
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_ConnectDev(const char *szName, DEVHANDLE *phDev)
{
    return run([&] {
        if (!szName || !phDev)
            return SAR_INVALIDPARAMERR;
        if (!findDevice(szName))
            return SAR_DEVICE_REMOVED;
        auto obj = std::make_unique<DevObject>();
        obj->device = szName;
        *phDev = reinterpret_cast<DEVHANDLE>(addObject(std::move(obj)));
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_DisConnectDev(DEVHANDLE hDev)
{
    return run([&] {
        if (!find<DevObject>(hDev))
            return SAR_INVALIDHANDLEERR;
        removeObject(hDev);
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_GetDevState(const char *szDevName, uint32_t *pulDevState)
{
    return run([&] {
        if (!szDevName || !pulDevState)
            return SAR_INVALIDPARAMERR;
        *pulDevState = findDevice(szDevName) ? 1 : 0;
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_SetLabel(DEVHANDLE hDev, const char *szLabel)
{
    return run([&] {
        DevObject *d = devObject(hDev);
        if (!d)
            return SAR_INVALIDHANDLEERR;
        if (!szLabel || strnlen(szLabel, 33) > 32) // a longer one need not be read to its end
            return SAR_INVALIDPARAMERR;
        Device *device = findDevice(d->device);
        device->label = szLabel;
        return saveDevice(*device);
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_GetDevInfo(DEVHANDLE hDev, DEVINFO *pDevInfo)
{
    return run([&] {
        DevObject *d = devObject(hDev);
        if (!d)
            return SAR_INVALIDHANDLEERR;
        if (!pDevInfo)
            return SAR_INVALIDPARAMERR;
        const Device &device = *findDevice(d->device);
        DEVINFO info{};
        info.Version = {1, 0};
        copyText(info.Manufacturer, sizeof info.Manufacturer, device.manufacturer);
        copyText(info.Issuer, sizeof info.Issuer, device.issuer);
        copyText(info.Label, sizeof info.Label, device.label);
        copyText(info.SerialNumber, sizeof info.SerialNumber, device.serial);
        info.HWVersion = {1, 0};
        info.FirmwareVersion = {1, 0};
        info.AlgSymCap = SGD_SM4_ECB | SGD_SM4_CBC | SGD_SM4_MAC;
        info.AlgAsymCap = SGD_RSA | SGD_SM2_1 | SGD_SM2_3;
        info.AlgHashCap = SGD_SM3 | SGD_SHA1 | SGD_SHA256;
        info.DevAuthAlgId = device.devAuthAlg;
        info.TotalSpace = kTotalSpace;
        info.FreeSpace = kTotalSpace - usedSpace(device);
        info.MaxECCBufferSize = 1024;
        info.MaxBufferSize = kTotalSpace;
        *pDevInfo = info;
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_LockDev(DEVHANDLE hDev, uint32_t)
{
    return run([&] { return devObject(hDev) ? SAR_OK : SAR_INVALIDHANDLEERR; });
}

SKFSOFT_API uint32_t KXF_CALL SKF_UnlockDev(DEVHANDLE hDev)
{
    return run([&] { return devObject(hDev) ? SAR_OK : SAR_INVALIDHANDLEERR; });
}

SKFSOFT_API uint32_t KXF_CALL SKF_Transmit(DEVHANDLE, const uint8_t *, uint32_t, uint8_t *, uint32_t *)
{
    return SAR_NOTSUPPORTYETERR;
}

SKFSOFT_API uint32_t KXF_CALL SKF_GenRandom(DEVHANDLE hDev, uint8_t *pbRandom, uint32_t ulRandomLen)
{
    return run([&] {
        DevObject *d = devObject(hDev);
        if (!d)
            return SAR_INVALIDHANDLEERR;
        if (!pbRandom && ulRandomLen)
            return SAR_INVALIDPARAMERR;
        if (!randomBytes(pbRandom, ulRandomLen))
            return SAR_GENRANDERR;
        d->challenge.assign(pbRandom, pbRandom + std::min<uint32_t>(ulRandomLen, 16));
        return SAR_OK;
    });
}

// The answer is the last random value, zero-padded to one block, encrypted under the device key.
SKFSOFT_API uint32_t KXF_CALL SKF_DevAuth(DEVHANDLE hDev, const uint8_t *pbAuthData, uint32_t ulLen)
{
    return run([&] {
        DevObject *d = devObject(hDev);
        if (!d)
            return SAR_INVALIDHANDLEERR;
        if (!pbAuthData || ulLen != 16)
            return SAR_INVALIDPARAMERR;
        const Device &device = *findDevice(d->device);
        uint8_t block[16] = {}, expected[16];
        std::copy(d->challenge.begin(), d->challenge.end(), block);
        const bool fresh = !d->challenge.empty();
        d->challenge.clear();
        d->authenticated = fresh && device.devAuthAlg == SGD_SM4_ECB &&
                           sm4Ecb(device.authKey, block, 16, expected, true) &&
                           std::memcmp(expected, pbAuthData, 16) == 0;
        return d->authenticated ? SAR_OK : SAR_FAIL;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_ChangeDevAuthKey(DEVHANDLE hDev, const uint8_t *pbKeyValue, uint32_t ulKeyLen)
{
    return run([&] {
        DevObject *d = devObject(hDev);
        if (!d)
            return SAR_INVALIDHANDLEERR;
        if (!pbKeyValue || ulKeyLen != 16)
            return SAR_INVALIDPARAMERR;
        if (!d->authenticated)
            return SAR_USER_NOT_LOGGED_IN;
        Device &device = *findDevice(d->device);
        device.authKey.assign(pbKeyValue, pbKeyValue + 16);
        return saveDevice(device);
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_CreateApplication(DEVHANDLE hDev, const char *szAppName, const char *szAdminPin,
                                                    uint32_t dwAdminPinRetryCount, const char *szUserPin,
                                                    uint32_t dwUserPinRetryCount, uint32_t dwCreateFileRights,
                                                    HAPPLICATION *phApp)
{
    return run([&] {
        DevObject *d = devObject(hDev);
        if (!d)
            return SAR_INVALIDHANDLEERR;
        if (!validName(szAppName) || !phApp || dwAdminPinRetryCount == 0 || dwAdminPinRetryCount > 255 ||
            dwUserPinRetryCount == 0 || dwUserPinRetryCount > 255)
            return SAR_INVALIDPARAMERR;
        if (!pinInRange(szAdminPin) || !pinInRange(szUserPin))
            return SAR_PIN_LEN_RANGE;
        if (!d->authenticated)
            return SAR_USER_NOT_LOGGED_IN;
        Device &device = *findDevice(d->device);
        if (findApp(device, szAppName))
            return SAR_APPLICATION_EXISTS;
        Application app = newApplication(device, szAppName, szAdminPin, dwAdminPinRetryCount, szUserPin,
                                         dwUserPinRetryCount, dwCreateFileRights);
        if (app.uid == 0)
            return SAR_FAIL;
        device.apps.push_back(std::move(app));
        if (const uint32_t r = createApp(device, device.apps.back()))
            return r;
        auto obj = std::make_unique<AppObject>();
        obj->device = device.name;
        obj->app = device.apps.back().uid;
        *phApp = reinterpret_cast<HAPPLICATION>(addObject(std::move(obj)));
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_EnumApplication(DEVHANDLE hDev, char *szAppName, uint32_t *pulSize)
{
    return run([&] {
        DevObject *d = devObject(hDev);
        if (!d)
            return SAR_INVALIDHANDLEERR;
        std::vector<std::string> names;
        for (const auto &app : findDevice(d->device)->apps)
            names.push_back(app.name);
        return putNameList(names, szAppName, pulSize);
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_DeleteApplication(DEVHANDLE hDev, const char *szAppName)
{
    return run([&] {
        DevObject *d = devObject(hDev);
        if (!d)
            return SAR_INVALIDHANDLEERR;
        if (!szAppName)
            return SAR_INVALIDPARAMERR;
        if (!d->authenticated)
            return SAR_USER_NOT_LOGGED_IN;
        Device &device = *findDevice(d->device);
        Application *app = findApp(device, szAppName);
        if (!app)
            return SAR_APPLICATION_NOT_EXISTS;
        device.apps.erase(device.apps.begin() + (app - device.apps.data()));
        return deleteApp(device, szAppName);
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_OpenApplication(DEVHANDLE hDev, const char *szAppName, HAPPLICATION *phApp)
{
    return run([&] {
        DevObject *d = devObject(hDev);
        if (!d)
            return SAR_INVALIDHANDLEERR;
        if (!szAppName || !phApp)
            return SAR_INVALIDPARAMERR;
        Application *app = findApp(*findDevice(d->device), szAppName);
        if (!app)
            return SAR_APPLICATION_NOT_EXISTS;
        auto obj = std::make_unique<AppObject>();
        obj->device = d->device;
        obj->app = app->uid;
        *phApp = reinterpret_cast<HAPPLICATION>(addObject(std::move(obj)));
        return SAR_OK;
    });
}

SKFSOFT_API uint32_t KXF_CALL SKF_CloseApplication(HAPPLICATION hApp)
{
    return run([&] {
        if (!find<AppObject>(hApp))
            return SAR_INVALIDHANDLEERR;
        removeObject(hApp);
        return SAR_OK;
    });
}

SKFSOFT_CHECK(SKF_WaitForDevEvent);
SKFSOFT_CHECK(SKF_EnumDev);
SKFSOFT_CHECK(SKF_ConnectDev);
SKFSOFT_CHECK(SKF_DisConnectDev);
SKFSOFT_CHECK(SKF_GetDevState);
SKFSOFT_CHECK(SKF_SetLabel);
SKFSOFT_CHECK(SKF_GetDevInfo);
SKFSOFT_CHECK(SKF_LockDev);
SKFSOFT_CHECK(SKF_UnlockDev);
SKFSOFT_CHECK(SKF_Transmit);
SKFSOFT_CHECK(SKF_GenRandom);
SKFSOFT_CHECK(SKF_DevAuth);
SKFSOFT_CHECK(SKF_ChangeDevAuthKey);
SKFSOFT_CHECK(SKF_CreateApplication);
SKFSOFT_CHECK(SKF_EnumApplication);
SKFSOFT_CHECK(SKF_DeleteApplication);
SKFSOFT_CHECK(SKF_OpenApplication);
SKFSOFT_CHECK(SKF_CloseApplication);
