#include "library/SkfEntryPoints.h"
#include "skf/Guard.h"
#include "skf/UKeyAdaptorSKF.h"

namespace ukey {

uint32_t UKeyAdaptorSKF::CreateContainer(const char *name, HCONTAINER *phContainer)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::CreateContainer"), skf().SKF_CreateContainer, m_hApp != nullptr,
                       kEndInvalidHandle, m_hApp, name, phContainer);
}

uint32_t UKeyAdaptorSKF::DeleteContainer(const char *name)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::DeleteContainer"), skf().SKF_DeleteContainer, m_hApp != nullptr,
                       kEndInvalidHandle, m_hApp, name);
}

uint32_t UKeyAdaptorSKF::EnumContainer(char *list, uint32_t *pulSize)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::EnumContainer"), skf().SKF_EnumContainer, m_hApp != nullptr,
                       kEndInvalidHandle, m_hApp, list, pulSize);
}

uint32_t UKeyAdaptorSKF::OpenContainer(const char *name, HCONTAINER *phContainer)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::OpenContainer"), skf().SKF_OpenContainer, m_hApp != nullptr,
                       kEndInvalidHandle, m_hApp, name, phContainer);
}

// The next two test the application although the vendor call does not use it.
uint32_t UKeyAdaptorSKF::CloseContainer(HCONTAINER hContainer)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::CloseContainer"), skf().SKF_CloseContainer, m_hApp != nullptr,
                       kEndInvalidHandle, hContainer);
}

uint32_t UKeyAdaptorSKF::GetContainerType(HCONTAINER hContainer, uint32_t *type)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::GetContainerType"), skf().SKF_GetContainerType, m_hApp != nullptr,
                       kEndInvalidHandle, hContainer, type);
}

// The signing flag reaches the vendor as the host gave it.
uint32_t UKeyAdaptorSKF::ImportCertificate(HCONTAINER hContainer, int32_t signFlag, const uint8_t *cert,
                                           uint32_t certLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::ImportCertificate"), skf().SKF_ImportCertificate,
                       m_hApp && hContainer, kEndInvalidHandle, hContainer, signFlag, cert, certLen);
}

uint32_t UKeyAdaptorSKF::ExportCertificate(HCONTAINER hContainer, int32_t signFlag, uint8_t *cert, uint32_t *certLen)
{
    return guardedCall(UKEY_SITE("UKeyAdaptorSKF::ExportCertificate"), skf().SKF_ExportCertificate,
                       m_hApp && hContainer, kEndInvalidHandle, hContainer, signFlag, cert, certLen);
}

} // namespace ukey
