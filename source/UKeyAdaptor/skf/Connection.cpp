#include <cstring>
#include <new>

#include "library/SkfEntryPoints.h"
#include "skf/Guard.h"
#include "skf/UKeyAdaptorSKF.h"

namespace ukey {
namespace {

constexpr const char kTypeName[] = "ukeyskf";

} // namespace

const AdaptorTypeOps UKeyAdaptorSKF::typeOps = {kTypeName,
                                                &UKeyAdaptorSKF::LoadSKFDll,
                                                &UKeyAdaptorSKF::UnloadSKFDll,
                                                &UKeyAdaptorSKF::EnumDev,
                                                &UKeyAdaptorSKF::CreateUKeyAdaptorDev,
                                                &UKeyAdaptorSKF::GetSerialNumberByDevName};

UKeyAdaptorSKF::UKeyAdaptorSKF()
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::UKeyAdaptorSKF");
    site("start");
    site("end");
}

UKeyAdaptorBase *UKeyAdaptorSKF::CreateUKeyAdaptorDev(const char *typeName, const char *devName)
{
    UKEY_SITE("UKeyAdaptorSKF::CreateUKeyAdaptorDev")("start CreateUKeyAdaptorDev");
    setCurrentDeviceName(devName);
    if (!sameTypeName(typeName, kTypeName))
        return nullptr;
    return new (std::nothrow) UKeyAdaptorSKF;
}

uint32_t UKeyAdaptorSKF::LoadSKFDll(const char * /*typeName*/, const char *libraryPath)
{
    UKEY_SITE("UKeyAdaptorSKF::LoadSKFDll")("start");
    return loadSkfLibrary(libraryPath, LoadRetry::ByFileName);
}

uint32_t UKeyAdaptorSKF::UnloadSKFDll(const char * /*typeName*/)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::UnloadSKFDll");
    site("start");
    unloadSkfLibrary();
    site("end");
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

uint32_t UKeyAdaptorSKF::serialFromTemporaryConnection(const TraceSite &caller, const char *devName, char *serial,
                                                       uint32_t *pulLen)
{
    const TraceSite site{caller, __LINE__};
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
    copyText(info.SerialNumber, sizeof info.SerialNumber, serial, pulLen);
    result = skf().SKF_DisConnectDev(h);
    site("end");
    return result;
}

uint32_t UKeyAdaptorSKF::GetSerialNumberByDevName(const char * /*typeName*/, const char *devName, char *serial,
                                                  uint32_t *pulLen)
{
    return serialFromTemporaryConnection(UKEY_SITE("UKeyAdaptorSKF::GetSerialNumberByDevName"), devName, serial,
                                         pulLen);
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
    return fetchNameList(
        site, {"end nRet != SAR_OK", nullptr, "end SAR_FAIL", SAR_FAIL, "end nRet != SAR_OK"},
        [this](char *list, uint32_t *size) { return skf().SKF_EnumApplication(m_hDev, list, size); }, names);
}

uint32_t fetchNameList(const TraceSite &site, const ListFetchTexts &texts, const ListFetch &fetch, NameList &names)
{
    uint32_t size = 0;
    uint32_t result = fetch(nullptr, &size);
    if (result != SAR_OK) {
        site(texts.queryFailed);
        return result;
    }
    if (texts.tooShort && size < 2) {
        site(texts.tooShort);
        return SAR_OK;
    }
    std::vector<char> buffer;
    if (!allocateList(buffer, size)) {
        site(texts.noBuffer);
        return texts.noBufferResult;
    }
    const uint32_t capacity = size;
    result = fetch(buffer.data(), &size);
    if (result != SAR_OK) {
        site(texts.fillFailed);
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
