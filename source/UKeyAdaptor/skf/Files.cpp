#include <cstring>
#include <new>
#include <vector>

#include "library/SkfEntryPoints.h"
#include "skf/Guard.h"
#include "skf/UKeyAdaptorSKF.h"

namespace ukey {
uint32_t UKeyAdaptorSKF::CreateFileW(const char *name, uint32_t size, uint32_t readRights, uint32_t writeRights)
{
    Operation op(UKEY_SITE("UKeyAdaptorSKF::CreateFileW"));
    op.site().format("fileName:%s,size:%d", name, static_cast<int>(size));
    return op.needs(skf().SKF_CreateFile).handles(m_hApp != nullptr).call([&] {
        return skf().SKF_CreateFile(m_hApp, name, size, readRights, writeRights);
    });
}

uint32_t UKeyAdaptorSKF::DeleteFileW(const char *name)
{
    Operation op(UKEY_SITE("UKeyAdaptorSKF::DeleteFileW"));
    op.site().format("szFileName:%s", name);
    return op.needs(skf().SKF_DeleteFile).handles(m_hApp != nullptr).call([&] {
        return skf().SKF_DeleteFile(m_hApp, name);
    });
}

uint32_t UKeyAdaptorSKF::EnumFiles(char *list, uint32_t *pulSize)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::EnumFiles"), skf().SKF_EnumFiles, m_hApp != nullptr,
                       kEndInvalidHandle, m_hApp, list, pulSize);
}

uint32_t UKeyAdaptorSKF::ReadFile(const char *name, uint32_t offset, uint32_t size, uint8_t *out, uint32_t *pulLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::ReadFile"), skf().SKF_ReadFile, m_hApp != nullptr, kEndInvalidHandle,
                       m_hApp, name, offset, size, out, pulLen);
}

uint32_t UKeyAdaptorSKF::WriteFile(const char *name, uint32_t offset, const uint8_t *data, uint32_t len)
{
    Operation op(UKEY_SITE("UKeyAdaptorSKF::WriteFile"));
    op.site().format("fileName:%s,size:%d", name, static_cast<int>(len));
    return op.needs(skf().SKF_WriteFile).handles(m_hApp != nullptr).call([&] {
        return skf().SKF_WriteFile(m_hApp, name, offset, data, len);
    });
}

uint32_t UKeyAdaptorSKF::enumFiles(NameList &names)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::enumFiles");
    site("start");
    return fetchNameList(
        site, {"end.ulRet != SAR_OK", "end ulFileListLen < 2", "end szFileList == NULL", SAR_OK, "end ulRet != SAR_OK"},
        [this](char *list, uint32_t *size) { return EnumFiles(list, size); }, names);
}

uint32_t UKeyAdaptorSKF::IsFileExist(const char *name)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::IsFileExist");
    site("start");
    if (!name) {
        site(kEndInvalidParam);
        return SAR_INVALIDPARAMERR;
    }
    NameList names;
    const uint32_t listed = enumFiles(names);
    uint32_t result = SAR_FILE_NOT_EXIST;
    for (const auto &candidate : names) {
        if (candidate == name) {
            result = listed;
            break;
        }
    }
    site("end");
    return result;
}

} // namespace ukey
