#include "registry/AdaptorRegistry.h"
#include "registry/UKeyAdaptorBase.h"
#include "rtc/Entries.h"
#include "trace/TraceSite.h"
#include "rtc/Sdk.h"

namespace ukey::rtc {
namespace {

// The traced path, apart from the untraced one so that the latter needs no stack frame.
template <auto Op, bool Start, typename... Args>
[[gnu::noinline]] uint32_t forwardTraced(TraceSite site, uint32_t dev, Args... args)
{
    if (Start)
        site.atSite("start");
    UKeyAdaptorBase *adaptor = findAdaptor(dev);
    const uint32_t result = adaptor ? (adaptor->*Op)(args...) : SAR_INVALIDHANDLEERR;
    site.atSite("end");
    return result;
}

// Finds the instance that owns the device handle and hands it the remaining arguments unchanged.
template <auto Op, bool Start = true, typename... Args>
uint32_t forward(const TraceSite &site, uint32_t dev, Args... args)
{
    if (trace::enabled())
        return forwardTraced<Op, Start>(site, dev, args...);
    UKeyAdaptorBase *adaptor = findAdaptor(dev);
    return adaptor ? (adaptor->*Op)(args...) : SAR_INVALIDHANDLEERR;
}

template <auto Op, typename... Args>
uint32_t forwardWithoutStart(const TraceSite &site, uint32_t dev, Args... args)
{
    return forward<Op, false>(site, dev, args...);
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
    return forward<&UKeyAdaptorBase::IsConnectDev>(UKEY_ENTRY_SITE("KXF_IsConnectDev"), dev);
}

uint32_t KXF_CALL KXF_DisConnectDev(uint32_t dev)
{
    return forward<&UKeyAdaptorBase::DisConnectDev>(UKEY_ENTRY_SITE("KXF_DisConnectDev"), dev);
}

uint32_t KXF_CALL KXF_GetLabelName(uint32_t dev, char *label, uint32_t *pulLen)
{
    return forward<&UKeyAdaptorBase::GetKeyLabelName>(UKEY_ENTRY_SITE("KXF_GetLabelName"), dev, label, pulLen);
}

uint32_t KXF_CALL KXF_GetSerialNumber(uint32_t dev, char *serial, uint32_t *pulLen)
{
    return forward<&UKeyAdaptorBase::GetKeySerialNumber>(UKEY_ENTRY_SITE("KXF_GetSerialNumber"), dev, serial, pulLen);
}

uint32_t KXF_CALL KXF_GetTotalSpace(uint32_t dev, uint32_t *pulTotal)
{
    return forward<&UKeyAdaptorBase::GetKeyTotalSpace>(UKEY_ENTRY_SITE("KXF_GetTotalSpace"), dev, pulTotal);
}

uint32_t KXF_CALL KXF_GetFreeSpace(uint32_t dev, uint32_t *pulFree)
{
    return forward<&UKeyAdaptorBase::GetKeyFreeSpace>(UKEY_ENTRY_SITE("KXF_GetFreeSpace"), dev, pulFree);
}

uint32_t KXF_CALL KXF_FormatKey(uint32_t dev, const char *newPin, const char *oldPin)
{
    return forward<&UKeyAdaptorBase::FormatKey>(UKEY_ENTRY_SITE("KXF_FormatKey"), dev, newPin, oldPin);
}

uint32_t KXF_CALL KXF_InitialKey(uint32_t dev, const char *authKeyBase64, const char *adminPin, const char *userPin,
                                 const char *appName)
{
    return forward<&UKeyAdaptorBase::InitialKey>(UKEY_ENTRY_SITE("KXF_InitialKey"), dev, authKeyBase64, adminPin,
                                                 userPin, appName);
}

uint32_t KXF_CALL KXF_GetDevInfo(uint32_t dev, DEVINFO *info, uint32_t *pulLen)
{
    return forward<&UKeyAdaptorBase::GetDevInfo>(UKEY_ENTRY_SITE("KXF_GetDevInfo"), dev, info, pulLen);
}

uint32_t KXF_CALL KXF_SetLabel(uint32_t dev, const char *label)
{
    return forward<&UKeyAdaptorBase::SetLabel>(UKEY_ENTRY_SITE("KXF_SetLabel"), dev, label);
}

uint32_t KXF_CALL KXF_ChangePIN(uint32_t dev, uint32_t pinType, const char *oldPin, const char *newPin, uint32_t *retry)
{
    return forward<&UKeyAdaptorBase::ChangePIN>(UKEY_ENTRY_SITE("KXF_ChangePIN"), dev, pinType, oldPin, newPin, retry);
}

uint32_t KXF_CALL KXF_VerifyPIN(uint32_t dev, uint32_t pinType, const char *pin, uint32_t *retry)
{
    return forward<&UKeyAdaptorBase::VerifyPIN>(UKEY_ENTRY_SITE("KXF_VerifyPIN"), dev, pinType, pin, retry);
}

uint32_t KXF_CALL KXF_GetPINInfo(uint32_t dev, uint32_t pinType, uint32_t *maxRetry, uint32_t *remainRetry,
                                 int32_t *isDefault)
{
    return forward<&UKeyAdaptorBase::GetPINInfo>(UKEY_ENTRY_SITE("KXF_GetPINInfo"), dev, pinType, maxRetry, remainRetry,
                                                 isDefault);
}

uint32_t KXF_CALL KXF_UnblockPIN(uint32_t dev, const char *adminPin, const char *newUserPin, uint32_t *retry)
{
    return forward<&UKeyAdaptorBase::UnblockPIN>(UKEY_ENTRY_SITE("KXF_UnblockPIN"), dev, adminPin, newUserPin, retry);
}

uint32_t KXF_CALL KXF_CreateFile(uint32_t dev, const char *name, uint32_t size, uint32_t readRights,
                                 uint32_t writeRights)
{
    return forward<&UKeyAdaptorBase::CreateFileW>(UKEY_ENTRY_SITE("KXF_CreateFile"), dev, name, size, readRights,
                                                  writeRights);
}

uint32_t KXF_CALL KXF_DeleteFile(uint32_t dev, const char *name)
{
    return forward<&UKeyAdaptorBase::DeleteFileW>(UKEY_ENTRY_SITE("KXF_DeleteFile"), dev, name);
}

uint32_t KXF_CALL KXF_EnumFiles(uint32_t dev, char *list, uint32_t *pulSize)
{
    return forward<&UKeyAdaptorBase::EnumFiles>(UKEY_ENTRY_SITE("KXF_EnumFiles"), dev, list, pulSize);
}

uint32_t KXF_CALL KXF_ReadFile(uint32_t dev, const char *name, uint32_t offset, uint32_t size, uint8_t *out,
                               uint32_t *pulLen)
{
    return forward<&UKeyAdaptorBase::ReadFile>(UKEY_ENTRY_SITE("KXF_ReadFile"), dev, name, offset, size, out, pulLen);
}

uint32_t KXF_CALL KXF_WriteFile(uint32_t dev, const char *name, uint32_t offset, const uint8_t *data, uint32_t len)
{
    return forward<&UKeyAdaptorBase::WriteFile>(UKEY_ENTRY_SITE("KXF_WriteFile"), dev, name, offset, data, len);
}

uint32_t KXF_CALL KXF_IsFileExist(uint32_t dev, const char *name)
{
    return forward<&UKeyAdaptorBase::IsFileExist>(UKEY_ENTRY_SITE("KXF_IsFileExist"), dev, name);
}

uint32_t KXF_CALL KXF_CreateContainer(uint32_t dev, const char *name, HCONTAINER *hContainer)
{
    return forward<&UKeyAdaptorBase::CreateContainer>(UKEY_ENTRY_SITE("KXF_CreateContainer"), dev, name, hContainer);
}

uint32_t KXF_CALL KXF_DeleteContainer(uint32_t dev, const char *name)
{
    return forward<&UKeyAdaptorBase::DeleteContainer>(UKEY_ENTRY_SITE("KXF_DeleteContainer"), dev, name);
}

uint32_t KXF_CALL KXF_EnumContainer(uint32_t dev, char *list, uint32_t *pulSize)
{
    return forward<&UKeyAdaptorBase::EnumContainer>(UKEY_ENTRY_SITE("KXF_EnumContainer"), dev, list, pulSize);
}

uint32_t KXF_CALL KXF_OpenContainer(uint32_t dev, const char *name, HCONTAINER *hContainer)
{
    return forward<&UKeyAdaptorBase::OpenContainer>(UKEY_ENTRY_SITE("KXF_OpenContainer"), dev, name, hContainer);
}

uint32_t KXF_CALL KXF_CloseContainer(uint32_t dev, HCONTAINER hContainer)
{
    return forward<&UKeyAdaptorBase::CloseContainer>(UKEY_ENTRY_SITE("KXF_CloseContainer"), dev, hContainer);
}

uint32_t KXF_CALL KXF_GetContainerType(uint32_t dev, HCONTAINER hContainer, uint32_t *type)
{
    return forward<&UKeyAdaptorBase::GetContainerType>(UKEY_ENTRY_SITE("KXF_GetContainerType"), dev, hContainer, type);
}

uint32_t KXF_CALL KXF_ImportCertificate(uint32_t dev, HCONTAINER hContainer, int32_t signFlag, const uint8_t *cert,
                                        uint32_t certLen)
{
    return forward<&UKeyAdaptorBase::ImportCertificate>(UKEY_ENTRY_SITE("KXF_ImportCertificate"), dev, hContainer,
                                                        signFlag, cert, certLen);
}

uint32_t KXF_CALL KXF_ExportCertificate(uint32_t dev, HCONTAINER hContainer, int32_t signFlag, uint8_t *cert,
                                        uint32_t *certLen)
{
    return forward<&UKeyAdaptorBase::ExportCertificate>(UKEY_ENTRY_SITE("KXF_ExportCertificate"), dev, hContainer,
                                                        signFlag, cert, certLen);
}

uint32_t KXF_CALL KXF_GenRSAKeyPair(uint32_t dev, HCONTAINER hContainer, uint32_t bits, RSAPUBLICKEYBLOB *blob,
                                    uint32_t *blobLen)
{
    return forward<&UKeyAdaptorBase::GenRSAKeyPair>(UKEY_ENTRY_SITE("KXF_GenRSAKeyPair"), dev, hContainer, bits, blob,
                                                    blobLen);
}

uint32_t KXF_CALL KXF_ImportRSAKeyPair(uint32_t dev, HCONTAINER hContainer, uint32_t symAlgId,
                                       const uint8_t *wrappedKey, uint32_t wrappedKeyLen, const uint8_t *encryptedData,
                                       uint32_t encryptedDataLen)
{
    return forward<&UKeyAdaptorBase::ImportRSAKeyPair>(UKEY_ENTRY_SITE("KXF_ImportRSAKeyPair"), dev, hContainer,
                                                       symAlgId, wrappedKey, wrappedKeyLen, encryptedData,
                                                       encryptedDataLen);
}

uint32_t KXF_CALL KXF_RSASignData(uint32_t dev, HCONTAINER hContainer, const uint8_t *data, uint32_t dataLen,
                                  uint8_t *signature, uint32_t *signLen)
{
    return forward<&UKeyAdaptorBase::RSASignData>(UKEY_ENTRY_SITE("KXF_RSASignData"), dev, hContainer, data, dataLen,
                                                  signature, signLen);
}

uint32_t KXF_CALL KXF_RSAVerify(uint32_t dev, const RSAPUBLICKEYBLOB *blob, uint32_t blobLen, const uint8_t *data,
                                uint32_t dataLen, const uint8_t *signature, uint32_t signLen)
{
    return forward<&UKeyAdaptorBase::RSAVerify>(UKEY_ENTRY_SITE("KXF_RSAVerify"), dev, blob, blobLen, data, dataLen,
                                                signature, signLen);
}

uint32_t KXF_CALL KXF_GenECCKeyPair(uint32_t dev, HCONTAINER hContainer, uint32_t algId, ECCPUBLICKEYBLOB *blob,
                                    uint32_t *blobLen)
{
    return forward<&UKeyAdaptorBase::GenECCKeyPair>(UKEY_ENTRY_SITE("KXF_GenECCKeyPair"), dev, hContainer, algId, blob,
                                                    blobLen);
}

uint32_t KXF_CALL KXF_ImportECCKeyPair(uint32_t dev, HCONTAINER hContainer, const ENVELOPEDKEYBLOB *blob,
                                       uint32_t blobLen)
{
    return forward<&UKeyAdaptorBase::ImportECCKeyPair>(UKEY_ENTRY_SITE("KXF_ImportECCKeyPair"), dev, hContainer, blob,
                                                       blobLen);
}

uint32_t KXF_CALL KXF_ECCSignData(uint32_t dev, HCONTAINER hContainer, const uint8_t *data, uint32_t dataLen,
                                  ECCSIGNATUREBLOB *signature, uint32_t *signLen)
{
    return forward<&UKeyAdaptorBase::ECCSignData>(UKEY_ENTRY_SITE("KXF_ECCSignData"), dev, hContainer, data, dataLen,
                                                  signature, signLen);
}

uint32_t KXF_CALL KXF_ECCVerify(uint32_t dev, const ECCPUBLICKEYBLOB *pub, uint32_t pubLen, const uint8_t *data,
                                uint32_t dataLen, const ECCSIGNATUREBLOB *signature, uint32_t signLen)
{
    return forward<&UKeyAdaptorBase::ECCVerify>(UKEY_ENTRY_SITE("KXF_ECCVerify"), dev, pub, pubLen, data, dataLen,
                                                signature, signLen);
}

uint32_t KXF_CALL KXF_ExportPublicKey(uint32_t dev, HCONTAINER hContainer, int32_t signFlag, uint8_t *blob,
                                      uint32_t *blobLen)
{
    return forward<&UKeyAdaptorBase::ExportPublicKey>(UKEY_ENTRY_SITE("KXF_ExportPublicKey"), dev, hContainer, signFlag,
                                                      blob, blobLen);
}

uint32_t KXF_CALL KXF_ImportSessionKey(uint32_t dev, HCONTAINER hContainer, uint32_t algId, const uint8_t *wrapped,
                                       uint32_t wrappedLen, SKF_HANDLE *hKey)
{
    return forward<&UKeyAdaptorBase::ImportSessionKey>(UKEY_ENTRY_SITE("KXF_ImportSessionKey"), dev, hContainer, algId,
                                                       wrapped, wrappedLen, hKey);
}

uint32_t KXF_CALL KXF_EncryptInit(uint32_t dev, SKF_HANDLE hKey, const BLOCKCIPHERPARAM *param, uint32_t paramLen)
{
    return forward<&UKeyAdaptorBase::EncryptInit>(UKEY_ENTRY_SITE("KXF_EncryptInit"), dev, hKey, param, paramLen);
}

uint32_t KXF_CALL KXF_Encrypt(uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                              uint32_t *outLen)
{
    return forward<&UKeyAdaptorBase::Encrypt>(UKEY_ENTRY_SITE("KXF_Encrypt"), dev, hKey, data, dataLen, out, outLen);
}

uint32_t KXF_CALL KXF_EncryptUpdate(uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                                    uint32_t *outLen)
{
    return forward<&UKeyAdaptorBase::EncryptUpdate>(UKEY_ENTRY_SITE("KXF_EncryptUpdate"), dev, hKey, data, dataLen, out,
                                                    outLen);
}

uint32_t KXF_CALL KXF_EncryptFinal(uint32_t dev, SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen)
{
    return forward<&UKeyAdaptorBase::EncryptFinal>(UKEY_ENTRY_SITE("KXF_EncryptFinal"), dev, hKey, out, outLen);
}

uint32_t KXF_CALL KXF_DecryptInit(uint32_t dev, SKF_HANDLE hKey, const BLOCKCIPHERPARAM *param, uint32_t paramLen)
{
    return forward<&UKeyAdaptorBase::DecryptInit>(UKEY_ENTRY_SITE("KXF_DecryptInit"), dev, hKey, param, paramLen);
}

uint32_t KXF_CALL KXF_Decrypt(uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                              uint32_t *outLen)
{
    return forward<&UKeyAdaptorBase::Decrypt>(UKEY_ENTRY_SITE("KXF_Decrypt"), dev, hKey, data, dataLen, out, outLen);
}

uint32_t KXF_CALL KXF_DecryptUpdate(uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                                    uint32_t *outLen)
{
    return forward<&UKeyAdaptorBase::DecryptUpdate>(UKEY_ENTRY_SITE("KXF_DecryptUpdate"), dev, hKey, data, dataLen, out,
                                                    outLen);
}

uint32_t KXF_CALL KXF_DecryptFinal(uint32_t dev, SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen)
{
    return forward<&UKeyAdaptorBase::DecryptFinal>(UKEY_ENTRY_SITE("KXF_DecryptFinal"), dev, hKey, out, outLen);
}

uint32_t KXF_CALL KXF_DigestInit(uint32_t dev, uint32_t algId, const ECCPUBLICKEYBLOB *pub, uint32_t pubLen,
                                 const uint8_t *id, uint32_t idLen, SKF_HANDLE *hHash)
{
    return forward<&UKeyAdaptorBase::DigestInit>(UKEY_ENTRY_SITE("KXF_DigestInit"), dev, algId, pub, pubLen, id, idLen,
                                                 hHash);
}

uint32_t KXF_CALL KXF_Digest(uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                             uint32_t *outLen)
{
    return forward<&UKeyAdaptorBase::Digest>(UKEY_ENTRY_SITE("KXF_Digest"), dev, hKey, data, dataLen, out, outLen);
}

uint32_t KXF_CALL KXF_DigestUpdate(uint32_t dev, SKF_HANDLE hHash, const uint8_t *data, uint32_t dataLen)
{
    return forward<&UKeyAdaptorBase::DigestUpdate>(UKEY_ENTRY_SITE("KXF_DigestUpdate"), dev, hHash, data, dataLen);
}

uint32_t KXF_CALL KXF_DigestFinal(uint32_t dev, SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen)
{
    return forward<&UKeyAdaptorBase::DigestFinal>(UKEY_ENTRY_SITE("KXF_DigestFinal"), dev, hKey, out, outLen);
}

uint32_t KXF_CALL KXF_MacInit(uint32_t dev, SKF_HANDLE hKey, BLOCKCIPHERPARAM *param, uint32_t paramLen,
                              SKF_HANDLE *hMac)
{
    return forward<&UKeyAdaptorBase::MacInit>(UKEY_ENTRY_SITE("KXF_MacInit"), dev, hKey, param, paramLen, hMac);
}

uint32_t KXF_CALL KXF_Mac(uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                          uint32_t *outLen)
{
    return forward<&UKeyAdaptorBase::Mac>(UKEY_ENTRY_SITE("KXF_Mac"), dev, hKey, data, dataLen, out, outLen);
}

uint32_t KXF_CALL KXF_MacUpdate(uint32_t dev, SKF_HANDLE hHash, const uint8_t *data, uint32_t dataLen)
{
    return forwardWithoutStart<&UKeyAdaptorBase::MacUpdate>(UKEY_ENTRY_SITE("KXF_MacUpdate"), dev, hHash, data,
                                                            dataLen);
}

uint32_t KXF_CALL KXF_MacFinal(uint32_t dev, SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen)
{
    return forward<&UKeyAdaptorBase::MacFinal>(UKEY_ENTRY_SITE("KXF_MacFinal"), dev, hKey, out, outLen);
}

uint32_t KXF_CALL KXF_CloseHandle(uint32_t dev, SKF_HANDLE handle)
{
    return forward<&UKeyAdaptorBase::CloseHandle>(UKEY_ENTRY_SITE("KXF_CloseHandle"), dev, handle);
}

uint32_t KXF_CALL KXF_ECCExportSessionKey(uint32_t dev, HCONTAINER hContainer, uint32_t algId,
                                          const ECCPUBLICKEYBLOB *pub, uint32_t pubLen, uint8_t *cipherBlob,
                                          uint32_t *cipherLen, SKF_HANDLE *hKey)
{
    return forward<&UKeyAdaptorBase::ECCExportSessionKey>(UKEY_ENTRY_SITE("KXF_ECCExportSessionKey"), dev, hContainer,
                                                          algId, pub, pubLen, cipherBlob, cipherLen, hKey);
}

uint32_t KXF_CALL KXEPS_ImportSymmKey(uint32_t dev, uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4,
                                      uintptr_t a5)
{
    return forward<&UKeyAdaptorBase::EPS_ImportSymmKey>(UKEY_ENTRY_SITE("KXEPS_ImportSymmKey"), dev, a1, a2, a3, a4,
                                                        a5);
}

uint32_t KXF_CALL KXEPS_WriteESealData(uint32_t dev, uintptr_t a1, uintptr_t a2, uintptr_t a3)
{
    return forward<&UKeyAdaptorBase::EPS_WriteESealData>(UKEY_ENTRY_SITE("KXEPS_WriteESealData"), dev, a1, a2, a3);
}

uint32_t KXF_CALL KXEPS_ReadESealData(uint32_t dev, uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4,
                                      uintptr_t a5)
{
    return forward<&UKeyAdaptorBase::EPS_ReadESealData>(UKEY_ENTRY_SITE("KXEPS_ReadESealData"), dev, a1, a2, a3, a4,
                                                        a5);
}

uint32_t KXF_CALL KXF_ImportSessionKeyWithKeyEx(uint32_t dev, HCONTAINER hContainer, uintptr_t arg2,
                                                const uint8_t *wrapped, uint32_t wrappedLen, uint32_t *hKeyOut,
                                                uint8_t *plain, uint32_t *plainLen)
{
    return forward<&UKeyAdaptorBase::ImportSessionKeyWithKeyEx>(UKEY_ENTRY_SITE("KXF_ImportSessionKeyWithKeyEx"), dev,
                                                                hContainer, arg2, wrapped, wrappedLen, hKeyOut, plain,
                                                                plainLen);
}
} // namespace ukey::rtc
