#include <QString>
#include <cstring>
#include <new>

#include "library/SkfEntryPoints.h"
#include "skf/Guard.h"
#include "skf/UKeyAdaptorSKF.h"

namespace ukey {
namespace {

constexpr const char kTypeName[] = "ukeyskf";
// A vendor that reports more than this for a name list is not believed.
constexpr uint32_t kMaxListSize = 16u * 1024u * 1024u;

} // namespace

size_t fieldLength(const char *field, size_t capacity)
{
    const void *nul = std::memchr(field, 0, capacity);
    return nul ? static_cast<size_t>(static_cast<const char *>(nul) - field) : capacity;
}

bool allocateList(std::vector<char> &buffer, uint32_t size)
{
    if (size > kMaxListSize)
        return false;
    try {
        buffer.assign(size, '\0');
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

void splitNameList(const char *buffer, uint32_t size, NameList &names)
{
    uint32_t offset = 0;
    do {
        const size_t len = fieldLength(buffer + offset, size - offset);
        names.emplace_back(buffer + offset, len);
        offset += static_cast<uint32_t>(len) + 1;
    } while (offset < size && buffer[offset] != '\0');
}

const AdaptorTypeOps UKeyAdaptorSKF::typeOps = {kTypeName,
                                                &UKeyAdaptorSKF::LoadSKFDll,
                                                &UKeyAdaptorSKF::UnloadSKFDll,
                                                &UKeyAdaptorSKF::EnumDev,
                                                &UKeyAdaptorSKF::CreateUKeyAdaptorDev,
                                                &UKeyAdaptorSKF::GetSerialNumberByDevName};

UKeyAdaptorSKF::UKeyAdaptorSKF()
{
    UKEY_TRACE("UKeyAdaptorSKF::UKeyAdaptorSKF", "start");
    UKEY_TRACE("UKeyAdaptorSKF::UKeyAdaptorSKF", "end");
}

UKeyAdaptorBase *UKeyAdaptorSKF::CreateUKeyAdaptorDev(const char *typeName, const char *devName)
{
    UKEY_TRACE("UKeyAdaptorSKF::CreateUKeyAdaptorDev", "start CreateUKeyAdaptorDev");
    g_currentDeviceName = devName ? devName : "";
    if (!sameTypeName(typeName, kTypeName))
        return nullptr;
    return new (std::nothrow) UKeyAdaptorSKF;
}

uint32_t UKeyAdaptorSKF::LoadSKFDll(const char * /*typeName*/, const char *libraryPath)
{
    UKEY_TRACE("UKeyAdaptorSKF::LoadSKFDll", "start");
    QString path = QString::fromLocal8Bit(libraryPath ? libraryPath : "");
    if (resolveAll(path)) {
        setSkfLibraryLoaded(true);
        return 1;
    }
    // Retry by bare file name so that the loader searches its standard places.
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const uint32_t loaded = resolveAll(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    setSkfLibraryLoaded(loaded == 1);
    return loaded;
}

uint32_t UKeyAdaptorSKF::UnloadSKFDll(const char * /*typeName*/)
{
    UKEY_TRACE("UKeyAdaptorSKF::UnloadSKFDll", "start");
    if (skfLibraryLoaded())
        releaseSkfLibrary();
    setSkfLibraryLoaded(false);
    UKEY_TRACE("UKeyAdaptorSKF::UnloadSKFDll", "end");
    return SAR_OK;
}

uint32_t UKeyAdaptorSKF::EnumDev(char *nameList, uint32_t *pulSize)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::EnumDev");
    site("start");
    uint32_t result = SAR_FAIL;
    if (skfLibraryLoaded() && skf().SKF_EnumDev)
        result = skf().SKF_EnumDev(1, nameList, pulSize);
    site("end");
    return result;
}

uint32_t UKeyAdaptorSKF::serialFromTemporaryConnection(const char *function, const char *devName, char *serial,
                                                       uint32_t *pulLen)
{
    const TraceSite site{function, __LINE__};
    site("start");
    if (!skf().SKF_ConnectDev || !skf().SKF_GetDevInfo) {
        site(kEndNotExported);
        return KX_NOTEXPORTERR;
    }
    if (!pulLen) {
        site(kEndInvalidParam);
        return SAR_INVALIDPARAMERR;
    }
    DEVHANDLE h = nullptr;
    uint32_t result = skf().SKF_ConnectDev(devName, &h);
    if (result != SAR_OK) {
        site("end");
        return result;
    }
    DEVINFO info{};
    skf().SKF_GetDevInfo(h, &info);
    const size_t len = fieldLength(info.SerialNumber, sizeof info.SerialNumber);
    *pulLen = static_cast<uint32_t>(len + 1);
    if (serial) {
        std::memcpy(serial, info.SerialNumber, len);
        serial[len] = '\0';
    }
    result = skf().SKF_DisConnectDev(h);
    site("end");
    return result;
}

uint32_t UKeyAdaptorSKF::GetSerialNumberByDevName(const char * /*typeName*/, const char *devName, char *serial,
                                                  uint32_t *pulLen)
{
    return serialFromTemporaryConnection("UKeyAdaptorSKF::GetSerialNumberByDevName", devName, serial, pulLen);
}

uint32_t UKeyAdaptorSKF::ConnectDev(const char *devName)
{
    return connectWith(UKEY_SITE("UKeyAdaptorSKF::ConnectDev"), devName, true, [] {});
}

uint32_t UKeyAdaptorSKF::DisConnectDev()
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::DisConnectDev");
    site("start");
    if (!skf().SKF_CloseApplication || !skf().SKF_DisConnectDev) {
        site(kEndNotExported);
        return KX_NOTEXPORTERR;
    }
    uint32_t result = SAR_FAIL;
    if (m_hApp) {
        result = skf().SKF_CloseApplication(m_hApp);
        m_hApp = nullptr;
    }
    if (m_hDev) {
        result = skf().SKF_DisConnectDev(m_hDev);
        m_hDev = nullptr;
    }
    devInfo.share();
    site("end");
    return result;
}

void UKeyAdaptorSKF::forgetVendorHandles()
{
    m_hApp = nullptr;
    UKeyAdaptorBase::forgetVendorHandles();
    devInfo.share();
}

uint32_t UKeyAdaptorSKF::IsConnectDev()
{
    uint32_t maxRetry = 0;
    uint32_t remainRetry = 0;
    int32_t isDefault = 0;
    // PIN type 0, the administrator PIN: a probe that changes nothing on the key.
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::IsConnectDev"), skf().SKF_GetPINInfo, m_hApp != nullptr,
                       kEndInvalidHandle, m_hApp, SKF_ADMIN_TYPE, &maxRetry, &remainRetry, &isDefault);
}

uint32_t UKeyAdaptorSKF::enumApplication(NameList &names)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::enumApplication");
    site("start");
    if (!skf().SKF_EnumApplication) {
        site(kEndNotExported);
        return KX_NOTEXPORTERR;
    }
    if (!m_hDev || !skfLibraryLoaded()) {
        site(kEndInvalidHandleBlank);
        return SAR_INVALIDHANDLEERR;
    }
    uint32_t size = 0;
    uint32_t result = skf().SKF_EnumApplication(m_hDev, nullptr, &size);
    if (result != SAR_OK) {
        site("end nRet != SAR_OK");
        return result;
    }
    std::vector<char> buffer;
    if (!allocateList(buffer, size)) {
        site("end SAR_FAIL");
        return SAR_FAIL;
    }
    const uint32_t capacity = size;
    result = skf().SKF_EnumApplication(m_hDev, buffer.data(), &size);
    if (result != SAR_OK) {
        site("end nRet != SAR_OK");
        return result;
    }
    if (capacity > 0)
        splitNameList(buffer.data(), std::min(size, capacity), names);
    site("end");
    return SAR_OK;
}

uint32_t UKeyAdaptorSKF::openApplication(HAPPLICATION *phApp)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::openApplication");
    site("start");
    if (!m_hDev) {
        site(kEndInvalidHandleBlank);
        return SAR_INVALIDHANDLEERR;
    }
    if (m_hApp) {
        site("end");
        return 1;
    }
    NameList names;
    const uint32_t result = enumApplication(names);
    if (names.empty()) {
        site("end ulRet");
        return result;
    }
    const uint32_t opened = openApplication(names.front().c_str(), phApp);
    site("end");
    return opened;
}

uint32_t UKeyAdaptorSKF::openApplication(const char *appName, HAPPLICATION *phApp)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::openApplication");
    site("start");
    if (!skf().SKF_OpenApplication) {
        site(kEndNotExported);
        return KX_NOTEXPORTERR;
    }
    if (!m_hDev) {
        site(kEndInvalidHandleBlank);
        return SAR_INVALIDHANDLEERR;
    }
    if (!appName || !*appName) {
        site("end NULL");
        return SAR_OK;
    }
    site("end");
    return skf().SKF_OpenApplication(m_hDev, appName, phApp);
}

} // namespace ukey
