// Operations not yet built answer SAR_NOTSUPPORTYETERR.
#include "skf/Guard.h"
#include "skf/UKeyAdaptorSKF.h"

namespace ukey {

uint32_t UKeyAdaptorSKF::GetKeyLabelName(char *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::GetKeyLabelName");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::GetKeySerialNumber(char *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::GetKeySerialNumber");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::GetKeyTotalSpace(uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::GetKeyTotalSpace");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::GetKeyFreeSpace(uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::GetKeyFreeSpace");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::FormatKey(const char *, const char *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::FormatKey");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::InitialKey(const char *, const char *, const char *, const char *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::InitialKey");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::GetDevInfo(DEVINFO *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::GetDevInfo");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::SetLabel(const char *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::SetLabel");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::ChangePIN(uint32_t, const char *, const char *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::ChangePIN");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::VerifyPIN(uint32_t, const char *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::VerifyPIN");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::GetPINInfo(uint32_t, uint32_t *, uint32_t *, int32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::GetPINInfo");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::UnblockPIN(const char *, const char *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::UnblockPIN");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::CreateFileW(const char *, uint32_t, uint32_t, uint32_t)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::CreateFileW");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::DeleteFileW(const char *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::DeleteFileW");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::EnumFiles(char *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::EnumFiles");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::ReadFile(const char *, uint32_t, uint32_t, uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::ReadFile");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::WriteFile(const char *, uint32_t, const uint8_t *, uint32_t)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::WriteFile");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::IsFileExist(const char *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::IsFileExist");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::CreateContainer(const char *, HCONTAINER *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::CreateContainer");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::DeleteContainer(const char *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::DeleteContainer");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::EnumContainer(char *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::EnumContainer");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::OpenContainer(const char *, HCONTAINER *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::OpenContainer");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::CloseContainer(HCONTAINER)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::CloseContainer");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::GetContainerType(HCONTAINER, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::GetContainerType");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::ImportCertificate(HCONTAINER, int32_t, const uint8_t *, uint32_t)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::ImportCertificate");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::ExportCertificate(HCONTAINER, int32_t, uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::ExportCertificate");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::GenRSAKeyPair(HCONTAINER, uint32_t, RSAPUBLICKEYBLOB *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::GenRSAKeyPair");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::ImportRSAKeyPair(HCONTAINER, uint32_t, const uint8_t *, uint32_t, const uint8_t *, uint32_t)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::ImportRSAKeyPair");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::RSASignData(HCONTAINER, const uint8_t *, uint32_t, uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::RSASignData");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::RSAVerify(const RSAPUBLICKEYBLOB *, uint32_t, const uint8_t *, uint32_t, const uint8_t *,
                                   uint32_t)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::RSAVerify");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::GenECCKeyPair(HCONTAINER, uint32_t, ECCPUBLICKEYBLOB *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::GenECCKeyPair");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::ImportECCKeyPair(HCONTAINER, const ENVELOPEDKEYBLOB *, uint32_t)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::ImportECCKeyPair");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::ECCSignData(HCONTAINER, const uint8_t *, uint32_t, ECCSIGNATUREBLOB *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::ECCSignData");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::ECCVerify(const ECCPUBLICKEYBLOB *, uint32_t, const uint8_t *, uint32_t,
                                   const ECCSIGNATUREBLOB *, uint32_t)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::ECCVerify");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::ExportPublicKey(HCONTAINER, int32_t, uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::ExportPublicKey");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::ImportSessionKey(HCONTAINER, uint32_t, const uint8_t *, uint32_t, SKF_HANDLE *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::ImportSessionKey");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::EncryptInit(SKF_HANDLE, const BLOCKCIPHERPARAM *, uint32_t)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::EncryptInit");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::Encrypt(SKF_HANDLE, const uint8_t *, uint32_t, uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::Encrypt");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::EncryptUpdate(SKF_HANDLE, const uint8_t *, uint32_t, uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::EncryptUpdate");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::EncryptFinal(SKF_HANDLE, uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::EncryptFinal");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::DecryptInit(SKF_HANDLE, const BLOCKCIPHERPARAM *, uint32_t)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::DecryptInit");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::Decrypt(SKF_HANDLE, const uint8_t *, uint32_t, uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::Decrypt");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::DecryptUpdate(SKF_HANDLE, const uint8_t *, uint32_t, uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::DecryptUpdate");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::DecryptFinal(SKF_HANDLE, uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::DecryptFinal");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::DigestInit(uint32_t, const ECCPUBLICKEYBLOB *, uint32_t, const uint8_t *, uint32_t,
                                    SKF_HANDLE *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::DigestInit");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::Digest(SKF_HANDLE, const uint8_t *, uint32_t, uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::Digest");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::DigestUpdate(SKF_HANDLE, const uint8_t *, uint32_t)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::DigestUpdate");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::DigestFinal(SKF_HANDLE, uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::DigestFinal");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::MacInit(SKF_HANDLE, BLOCKCIPHERPARAM *, uint32_t, SKF_HANDLE *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::MacInit");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::Mac(SKF_HANDLE, const uint8_t *, uint32_t, uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::Mac");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::MacUpdate(SKF_HANDLE, const uint8_t *, uint32_t)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::MacUpdate");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::MacFinal(SKF_HANDLE, uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::MacFinal");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::CloseHandle(SKF_HANDLE)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::CloseHandle");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::EPS_ImportSymmKey(uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::EPS_ImportSymmKey");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::EPS_WriteESealData(uintptr_t, uintptr_t, uintptr_t)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::EPS_WriteESealData");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::EPS_ReadESealData(uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::EPS_ReadESealData");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::ECCExportSessionKey(HCONTAINER, uint32_t, const ECCPUBLICKEYBLOB *, uint32_t, uint8_t *,
                                             uint32_t *, SKF_HANDLE *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::ECCExportSessionKey");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::ImportSessionKeyWithKeyEx(HCONTAINER, uintptr_t, const uint8_t *, uint32_t, uint32_t *,
                                                   uint8_t *, uint32_t *)
{
    const auto site = UKEY_SITE("UKeyAdaptorSKF::ImportSessionKeyWithKeyEx");
    site("start");
    site("end");
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::enumFiles(NameList &)
{
    return SAR_NOTSUPPORTYETERR;
}

uint32_t UKeyAdaptorSKF::refreshDevInfo()
{
    return SAR_FAIL;
}

} // namespace ukey
