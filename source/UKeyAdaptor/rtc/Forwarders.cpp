#include "registry/AdaptorRegistry.h"
#include "registry/UKeyAdaptorBase.h"
#include "rtc/Entries.h"
#include "trace/TraceSite.h"
#include "rtc/Sdk.h"

namespace ukey::rtc {
namespace {

template <typename Op, typename... Args>
uint32_t forwardWithoutStart(const TraceSite &site, uint32_t dev, Op op, Args... args)
{
    UKeyAdaptorBase *adaptor = findAdaptor(dev);
    if (!trace::enabled()) // nothing to write after the operation: leave by its call
        return adaptor ? (adaptor->*op)(args...) : SAR_INVALIDHANDLEERR;
    const uint32_t result = adaptor ? (adaptor->*op)(args...) : SAR_INVALIDHANDLEERR;
    site.atSite("end");
    return result;
}

// Finds the instance that owns the device handle and hands it the remaining arguments unchanged.
template <typename Op, typename... Args>
uint32_t forward(const TraceSite &site, uint32_t dev, Op op, Args... args)
{
    site.atSite("start");
    return forwardWithoutStart(site, dev, op, args...);
}

} // namespace

uint32_t KXF_CALL KXF_EnumDev(char *nameList, uint32_t *pulSize)
{
    const auto site = UKEY_ENTRY_SITE("KXF_EnumDev");
    site("start");
    const uint32_t result = registry::enumDevices(currentTypeName(), nameList, pulSize);
    site("end");
    return result;
}

uint32_t KXF_CALL KXF_GetSerialNumberByDevName(const char *devName, char *serial, uint32_t *pulLen)
{
    const auto site = UKEY_ENTRY_SITE("KXF_GetSerialNumberByDevName");
    site("start");
    const uint32_t result = registry::serialByDevName(currentTypeName(), devName, serial, pulLen);
    site("end");
    return result;
}

uint32_t KXF_CALL KXF_ConnectDev(const char *devName, uint32_t *handleOut)
{
    const auto site = UKEY_ENTRY_SITE("KXF_ConnectDev");
    site("start");
    uint32_t result = SAR_FAIL;
    if (UKeyAdaptorBase *adaptor = registry::createInstance(currentTypeName(), devName)) {
        result = adaptor->ConnectDev(devName);
        if (result == SAR_OK) {
            if (handleOut)
                *handleOut = adaptor->GetHandle();
        } else {
            delete adaptor;
        }
    }
    site("end");
    return result;
}

uint32_t KXF_CALL KXF_IsConnectDev(uint32_t dev)
{
    return forward(UKEY_ENTRY_SITE("KXF_IsConnectDev"), dev, &UKeyAdaptorBase::IsConnectDev);
}

uint32_t KXF_CALL KXF_DisConnectDev(uint32_t dev)
{
    return forward(UKEY_ENTRY_SITE("KXF_DisConnectDev"), dev, &UKeyAdaptorBase::DisConnectDev);
}

uint32_t KXF_CALL KXF_GetLabelName(uint32_t dev, char *label, uint32_t *pulLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_GetLabelName"), dev, &UKeyAdaptorBase::GetKeyLabelName, label, pulLen);
}

uint32_t KXF_CALL KXF_GetSerialNumber(uint32_t dev, char *serial, uint32_t *pulLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_GetSerialNumber"), dev, &UKeyAdaptorBase::GetKeySerialNumber, serial, pulLen);
}

uint32_t KXF_CALL KXF_GetTotalSpace(uint32_t dev, uint32_t *pulTotal)
{
    return forward(UKEY_ENTRY_SITE("KXF_GetTotalSpace"), dev, &UKeyAdaptorBase::GetKeyTotalSpace, pulTotal);
}

uint32_t KXF_CALL KXF_GetFreeSpace(uint32_t dev, uint32_t *pulFree)
{
    return forward(UKEY_ENTRY_SITE("KXF_GetFreeSpace"), dev, &UKeyAdaptorBase::GetKeyFreeSpace, pulFree);
}

uint32_t KXF_CALL KXF_FormatKey(uint32_t dev, const char *newPin, const char *oldPin)
{
    return forward(UKEY_ENTRY_SITE("KXF_FormatKey"), dev, &UKeyAdaptorBase::FormatKey, newPin, oldPin);
}

uint32_t KXF_CALL KXF_InitialKey(uint32_t dev, const char *authKeyBase64, const char *adminPin, const char *userPin,
                                 const char *appName)
{
    return forward(UKEY_ENTRY_SITE("KXF_InitialKey"), dev, &UKeyAdaptorBase::InitialKey, authKeyBase64, adminPin,
                   userPin, appName);
}

uint32_t KXF_CALL KXF_GetDevInfo(uint32_t dev, DEVINFO *info, uint32_t *pulLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_GetDevInfo"), dev, &UKeyAdaptorBase::GetDevInfo, info, pulLen);
}

uint32_t KXF_CALL KXF_SetLabel(uint32_t dev, const char *label)
{
    return forward(UKEY_ENTRY_SITE("KXF_SetLabel"), dev, &UKeyAdaptorBase::SetLabel, label);
}

uint32_t KXF_CALL KXF_ChangePIN(uint32_t dev, uint32_t pinType, const char *oldPin, const char *newPin, uint32_t *retry)
{
    return forward(UKEY_ENTRY_SITE("KXF_ChangePIN"), dev, &UKeyAdaptorBase::ChangePIN, pinType, oldPin, newPin, retry);
}

uint32_t KXF_CALL KXF_VerifyPIN(uint32_t dev, uint32_t pinType, const char *pin, uint32_t *retry)
{
    return forward(UKEY_ENTRY_SITE("KXF_VerifyPIN"), dev, &UKeyAdaptorBase::VerifyPIN, pinType, pin, retry);
}

uint32_t KXF_CALL KXF_GetPINInfo(uint32_t dev, uint32_t pinType, uint32_t *maxRetry, uint32_t *remainRetry,
                                 int32_t *isDefault)
{
    return forward(UKEY_ENTRY_SITE("KXF_GetPINInfo"), dev, &UKeyAdaptorBase::GetPINInfo, pinType, maxRetry, remainRetry,
                   isDefault);
}

uint32_t KXF_CALL KXF_UnblockPIN(uint32_t dev, const char *adminPin, const char *newUserPin, uint32_t *retry)
{
    return forward(UKEY_ENTRY_SITE("KXF_UnblockPIN"), dev, &UKeyAdaptorBase::UnblockPIN, adminPin, newUserPin, retry);
}

uint32_t KXF_CALL KXF_CreateFile(uint32_t dev, const char *name, uint32_t size, uint32_t readRights,
                                 uint32_t writeRights)
{
    return forward(UKEY_ENTRY_SITE("KXF_CreateFile"), dev, &UKeyAdaptorBase::CreateFileW, name, size, readRights,
                   writeRights);
}

uint32_t KXF_CALL KXF_DeleteFile(uint32_t dev, const char *name)
{
    return forward(UKEY_ENTRY_SITE("KXF_DeleteFile"), dev, &UKeyAdaptorBase::DeleteFileW, name);
}

uint32_t KXF_CALL KXF_EnumFiles(uint32_t dev, char *list, uint32_t *pulSize)
{
    return forward(UKEY_ENTRY_SITE("KXF_EnumFiles"), dev, &UKeyAdaptorBase::EnumFiles, list, pulSize);
}

uint32_t KXF_CALL KXF_ReadFile(uint32_t dev, const char *name, uint32_t offset, uint32_t size, uint8_t *out,
                               uint32_t *pulLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_ReadFile"), dev, &UKeyAdaptorBase::ReadFile, name, offset, size, out, pulLen);
}

uint32_t KXF_CALL KXF_WriteFile(uint32_t dev, const char *name, uint32_t offset, const uint8_t *data, uint32_t len)
{
    return forward(UKEY_ENTRY_SITE("KXF_WriteFile"), dev, &UKeyAdaptorBase::WriteFile, name, offset, data, len);
}

uint32_t KXF_CALL KXF_IsFileExist(uint32_t dev, const char *name)
{
    return forward(UKEY_ENTRY_SITE("KXF_IsFileExist"), dev, &UKeyAdaptorBase::IsFileExist, name);
}

uint32_t KXF_CALL KXF_CreateContainer(uint32_t dev, const char *name, HCONTAINER *hContainer)
{
    return forward(UKEY_ENTRY_SITE("KXF_CreateContainer"), dev, &UKeyAdaptorBase::CreateContainer, name, hContainer);
}

uint32_t KXF_CALL KXF_DeleteContainer(uint32_t dev, const char *name)
{
    return forward(UKEY_ENTRY_SITE("KXF_DeleteContainer"), dev, &UKeyAdaptorBase::DeleteContainer, name);
}

uint32_t KXF_CALL KXF_EnumContainer(uint32_t dev, char *list, uint32_t *pulSize)
{
    return forward(UKEY_ENTRY_SITE("KXF_EnumContainer"), dev, &UKeyAdaptorBase::EnumContainer, list, pulSize);
}

uint32_t KXF_CALL KXF_OpenContainer(uint32_t dev, const char *name, HCONTAINER *hContainer)
{
    return forward(UKEY_ENTRY_SITE("KXF_OpenContainer"), dev, &UKeyAdaptorBase::OpenContainer, name, hContainer);
}

uint32_t KXF_CALL KXF_CloseContainer(uint32_t dev, HCONTAINER hContainer)
{
    return forward(UKEY_ENTRY_SITE("KXF_CloseContainer"), dev, &UKeyAdaptorBase::CloseContainer, hContainer);
}

uint32_t KXF_CALL KXF_GetContainerType(uint32_t dev, HCONTAINER hContainer, uint32_t *type)
{
    return forward(UKEY_ENTRY_SITE("KXF_GetContainerType"), dev, &UKeyAdaptorBase::GetContainerType, hContainer, type);
}

uint32_t KXF_CALL KXF_ImportCertificate(uint32_t dev, HCONTAINER hContainer, int32_t signFlag, const uint8_t *cert,
                                        uint32_t certLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_ImportCertificate"), dev, &UKeyAdaptorBase::ImportCertificate, hContainer,
                   signFlag, cert, certLen);
}

uint32_t KXF_CALL KXF_ExportCertificate(uint32_t dev, HCONTAINER hContainer, int32_t signFlag, uint8_t *cert,
                                        uint32_t *certLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_ExportCertificate"), dev, &UKeyAdaptorBase::ExportCertificate, hContainer,
                   signFlag, cert, certLen);
}

uint32_t KXF_CALL KXF_GenRSAKeyPair(uint32_t dev, HCONTAINER hContainer, uint32_t bits, RSAPUBLICKEYBLOB *blob,
                                    uint32_t *blobLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_GenRSAKeyPair"), dev, &UKeyAdaptorBase::GenRSAKeyPair, hContainer, bits, blob,
                   blobLen);
}

uint32_t KXF_CALL KXF_ImportRSAKeyPair(uint32_t dev, HCONTAINER hContainer, uint32_t symAlgId,
                                       const uint8_t *wrappedKey, uint32_t wrappedKeyLen, const uint8_t *encryptedData,
                                       uint32_t encryptedDataLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_ImportRSAKeyPair"), dev, &UKeyAdaptorBase::ImportRSAKeyPair, hContainer,
                   symAlgId, wrappedKey, wrappedKeyLen, encryptedData, encryptedDataLen);
}

uint32_t KXF_CALL KXF_RSASignData(uint32_t dev, HCONTAINER hContainer, const uint8_t *data, uint32_t dataLen,
                                  uint8_t *signature, uint32_t *signLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_RSASignData"), dev, &UKeyAdaptorBase::RSASignData, hContainer, data, dataLen,
                   signature, signLen);
}

uint32_t KXF_CALL KXF_RSAVerify(uint32_t dev, const RSAPUBLICKEYBLOB *blob, uint32_t blobLen, const uint8_t *data,
                                uint32_t dataLen, const uint8_t *signature, uint32_t signLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_RSAVerify"), dev, &UKeyAdaptorBase::RSAVerify, blob, blobLen, data, dataLen,
                   signature, signLen);
}

uint32_t KXF_CALL KXF_GenECCKeyPair(uint32_t dev, HCONTAINER hContainer, uint32_t algId, ECCPUBLICKEYBLOB *blob,
                                    uint32_t *blobLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_GenECCKeyPair"), dev, &UKeyAdaptorBase::GenECCKeyPair, hContainer, algId, blob,
                   blobLen);
}

uint32_t KXF_CALL KXF_ImportECCKeyPair(uint32_t dev, HCONTAINER hContainer, const ENVELOPEDKEYBLOB *blob,
                                       uint32_t blobLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_ImportECCKeyPair"), dev, &UKeyAdaptorBase::ImportECCKeyPair, hContainer, blob,
                   blobLen);
}

uint32_t KXF_CALL KXF_ECCSignData(uint32_t dev, HCONTAINER hContainer, const uint8_t *data, uint32_t dataLen,
                                  ECCSIGNATUREBLOB *signature, uint32_t *signLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_ECCSignData"), dev, &UKeyAdaptorBase::ECCSignData, hContainer, data, dataLen,
                   signature, signLen);
}

uint32_t KXF_CALL KXF_ECCVerify(uint32_t dev, const ECCPUBLICKEYBLOB *pub, uint32_t pubLen, const uint8_t *data,
                                uint32_t dataLen, const ECCSIGNATUREBLOB *signature, uint32_t signLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_ECCVerify"), dev, &UKeyAdaptorBase::ECCVerify, pub, pubLen, data, dataLen,
                   signature, signLen);
}

uint32_t KXF_CALL KXF_ExportPublicKey(uint32_t dev, HCONTAINER hContainer, int32_t signFlag, uint8_t *blob,
                                      uint32_t *blobLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_ExportPublicKey"), dev, &UKeyAdaptorBase::ExportPublicKey, hContainer, signFlag,
                   blob, blobLen);
}

uint32_t KXF_CALL KXF_ImportSessionKey(uint32_t dev, HCONTAINER hContainer, uint32_t algId, const uint8_t *wrapped,
                                       uint32_t wrappedLen, SKF_HANDLE *hKey)
{
    return forward(UKEY_ENTRY_SITE("KXF_ImportSessionKey"), dev, &UKeyAdaptorBase::ImportSessionKey, hContainer, algId,
                   wrapped, wrappedLen, hKey);
}

uint32_t KXF_CALL KXF_EncryptInit(uint32_t dev, SKF_HANDLE hKey, const BLOCKCIPHERPARAM *param, uint32_t paramLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_EncryptInit"), dev, &UKeyAdaptorBase::EncryptInit, hKey, param, paramLen);
}

uint32_t KXF_CALL KXF_Encrypt(uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                              uint32_t *outLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_Encrypt"), dev, &UKeyAdaptorBase::Encrypt, hKey, data, dataLen, out, outLen);
}

uint32_t KXF_CALL KXF_EncryptUpdate(uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                                    uint32_t *outLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_EncryptUpdate"), dev, &UKeyAdaptorBase::EncryptUpdate, hKey, data, dataLen, out,
                   outLen);
}

uint32_t KXF_CALL KXF_EncryptFinal(uint32_t dev, SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_EncryptFinal"), dev, &UKeyAdaptorBase::EncryptFinal, hKey, out, outLen);
}

uint32_t KXF_CALL KXF_DecryptInit(uint32_t dev, SKF_HANDLE hKey, const BLOCKCIPHERPARAM *param, uint32_t paramLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_DecryptInit"), dev, &UKeyAdaptorBase::DecryptInit, hKey, param, paramLen);
}

uint32_t KXF_CALL KXF_Decrypt(uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                              uint32_t *outLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_Decrypt"), dev, &UKeyAdaptorBase::Decrypt, hKey, data, dataLen, out, outLen);
}

uint32_t KXF_CALL KXF_DecryptUpdate(uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                                    uint32_t *outLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_DecryptUpdate"), dev, &UKeyAdaptorBase::DecryptUpdate, hKey, data, dataLen, out,
                   outLen);
}

uint32_t KXF_CALL KXF_DecryptFinal(uint32_t dev, SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_DecryptFinal"), dev, &UKeyAdaptorBase::DecryptFinal, hKey, out, outLen);
}

uint32_t KXF_CALL KXF_DigestInit(uint32_t dev, uint32_t algId, const ECCPUBLICKEYBLOB *pub, uint32_t pubLen,
                                 const uint8_t *id, uint32_t idLen, SKF_HANDLE *hHash)
{
    return forward(UKEY_ENTRY_SITE("KXF_DigestInit"), dev, &UKeyAdaptorBase::DigestInit, algId, pub, pubLen, id, idLen,
                   hHash);
}

uint32_t KXF_CALL KXF_Digest(uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                             uint32_t *outLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_Digest"), dev, &UKeyAdaptorBase::Digest, hKey, data, dataLen, out, outLen);
}

uint32_t KXF_CALL KXF_DigestUpdate(uint32_t dev, SKF_HANDLE hHash, const uint8_t *data, uint32_t dataLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_DigestUpdate"), dev, &UKeyAdaptorBase::DigestUpdate, hHash, data, dataLen);
}

uint32_t KXF_CALL KXF_DigestFinal(uint32_t dev, SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_DigestFinal"), dev, &UKeyAdaptorBase::DigestFinal, hKey, out, outLen);
}

uint32_t KXF_CALL KXF_MacInit(uint32_t dev, SKF_HANDLE hKey, BLOCKCIPHERPARAM *param, uint32_t paramLen,
                              SKF_HANDLE *hMac)
{
    return forward(UKEY_ENTRY_SITE("KXF_MacInit"), dev, &UKeyAdaptorBase::MacInit, hKey, param, paramLen, hMac);
}

uint32_t KXF_CALL KXF_Mac(uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                          uint32_t *outLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_Mac"), dev, &UKeyAdaptorBase::Mac, hKey, data, dataLen, out, outLen);
}

uint32_t KXF_CALL KXF_MacUpdate(uint32_t dev, SKF_HANDLE hHash, const uint8_t *data, uint32_t dataLen)
{
    return forwardWithoutStart(UKEY_ENTRY_SITE("KXF_MacUpdate"), dev, &UKeyAdaptorBase::MacUpdate, hHash, data,
                               dataLen);
}

uint32_t KXF_CALL KXF_MacFinal(uint32_t dev, SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_MacFinal"), dev, &UKeyAdaptorBase::MacFinal, hKey, out, outLen);
}

uint32_t KXF_CALL KXF_CloseHandle(uint32_t dev, SKF_HANDLE handle)
{
    return forward(UKEY_ENTRY_SITE("KXF_CloseHandle"), dev, &UKeyAdaptorBase::CloseHandle, handle);
}

uint32_t KXF_CALL KXF_ECCExportSessionKey(uint32_t dev, HCONTAINER hContainer, uint32_t algId,
                                          const ECCPUBLICKEYBLOB *pub, uint32_t pubLen, uint8_t *cipherBlob,
                                          uint32_t *cipherLen, SKF_HANDLE *hKey)
{
    return forward(UKEY_ENTRY_SITE("KXF_ECCExportSessionKey"), dev, &UKeyAdaptorBase::ECCExportSessionKey, hContainer,
                   algId, pub, pubLen, cipherBlob, cipherLen, hKey);
}

uint32_t KXF_CALL KXEPS_ImportSymmKey(uint32_t dev, uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4,
                                      uintptr_t a5)
{
    return forward(UKEY_ENTRY_SITE("KXEPS_ImportSymmKey"), dev, &UKeyAdaptorBase::EPS_ImportSymmKey, a1, a2, a3, a4,
                   a5);
}

uint32_t KXF_CALL KXEPS_WriteESealData(uint32_t dev, uintptr_t a1, uintptr_t a2, uintptr_t a3)
{
    return forward(UKEY_ENTRY_SITE("KXEPS_WriteESealData"), dev, &UKeyAdaptorBase::EPS_WriteESealData, a1, a2, a3);
}

uint32_t KXF_CALL KXEPS_ReadESealData(uint32_t dev, uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4,
                                      uintptr_t a5)
{
    return forward(UKEY_ENTRY_SITE("KXEPS_ReadESealData"), dev, &UKeyAdaptorBase::EPS_ReadESealData, a1, a2, a3, a4,
                   a5);
}

uint32_t KXF_CALL KXF_ImportSessionKeyWithKeyEx(uint32_t dev, HCONTAINER hContainer, uintptr_t arg2,
                                                const uint8_t *wrapped, uint32_t wrappedLen, uint32_t *hKeyOut,
                                                uint8_t *plain, uint32_t *plainLen)
{
    return forward(UKEY_ENTRY_SITE("KXF_ImportSessionKeyWithKeyEx"), dev, &UKeyAdaptorBase::ImportSessionKeyWithKeyEx,
                   hContainer, arg2, wrapped, wrappedLen, hKeyOut, plain, plainLen);
}
} // namespace ukey::rtc
