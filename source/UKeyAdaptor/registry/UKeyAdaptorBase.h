#pragma once

#include <atomic>
#include <cstdint>

#include "UKeyAdaptor.h"

namespace ukey {

// One connected device as the host sees it: a device handle and the operations of the table.
class UKeyAdaptorBase {
public:
    UKeyAdaptorBase();
    // Destruction only unlinks the object; it releases no vendor resource.
    virtual ~UKeyAdaptorBase();
    UKeyAdaptorBase(const UKeyAdaptorBase &) = delete;
    UKeyAdaptorBase &operator=(const UKeyAdaptorBase &) = delete;

    virtual uint32_t GetHandle();
    virtual uint32_t ConnectDev(const char *devName) = 0;
    virtual uint32_t DisConnectDev() = 0;
    virtual uint32_t IsConnectDev() = 0;
    virtual uint32_t GetKeyLabelName(char *label, uint32_t *pulLen) = 0;
    virtual uint32_t GetKeySerialNumber(char *serial, uint32_t *pulLen) = 0;
    virtual uint32_t GetKeyTotalSpace(uint32_t *pulTotal) = 0;
    virtual uint32_t GetKeyFreeSpace(uint32_t *pulFree) = 0;
    virtual uint32_t FormatKey(const char *newPin, const char *oldPin) = 0;
    virtual uint32_t InitialKey(const char *authKeyBase64, const char *adminPin, const char *userPin,
                                const char *appName) = 0;
    virtual uint32_t GetDevInfo(DEVINFO *pInfo, uint32_t *pulLen) = 0;
    virtual uint32_t SetLabel(const char *label) = 0;
    virtual uint32_t ChangePIN(uint32_t pinType, const char *oldPin, const char *newPin, uint32_t *retry) = 0;
    virtual uint32_t VerifyPIN(uint32_t pinType, const char *pin, uint32_t *retry) = 0;
    virtual uint32_t GetPINInfo(uint32_t pinType, uint32_t *maxRetry, uint32_t *remainRetry, int32_t *isDefault) = 0;
    virtual uint32_t UnblockPIN(const char *adminPin, const char *newUserPin, uint32_t *retry) = 0;
    virtual uint32_t CreateFileW(const char *name, uint32_t size, uint32_t readRights, uint32_t writeRights) = 0;
    virtual uint32_t DeleteFileW(const char *name) = 0;
    virtual uint32_t EnumFiles(char *list, uint32_t *pulSize) = 0;
    virtual uint32_t ReadFile(const char *name, uint32_t offset, uint32_t size, uint8_t *out, uint32_t *pulLen) = 0;
    virtual uint32_t WriteFile(const char *name, uint32_t offset, const uint8_t *data, uint32_t len) = 0;
    virtual uint32_t IsFileExist(const char *name) = 0;
    virtual uint32_t CreateContainer(const char *name, HCONTAINER *phContainer) = 0;
    virtual uint32_t DeleteContainer(const char *name) = 0;
    virtual uint32_t EnumContainer(char *list, uint32_t *pulSize) = 0;
    virtual uint32_t OpenContainer(const char *name, HCONTAINER *phContainer) = 0;
    virtual uint32_t CloseContainer(HCONTAINER hContainer) = 0;
    virtual uint32_t GetContainerType(HCONTAINER hContainer, uint32_t *type) = 0;
    virtual uint32_t ImportCertificate(HCONTAINER hContainer, int32_t signFlag, const uint8_t *cert,
                                       uint32_t certLen) = 0;
    virtual uint32_t ExportCertificate(HCONTAINER hContainer, int32_t signFlag, uint8_t *cert, uint32_t *certLen) = 0;
    virtual uint32_t GenRSAKeyPair(HCONTAINER hContainer, uint32_t bits, RSAPUBLICKEYBLOB *blob, uint32_t *blobLen) = 0;
    virtual uint32_t ImportRSAKeyPair(HCONTAINER hContainer, uint32_t symAlgId, const uint8_t *wrappedKey,
                                      uint32_t wrappedKeyLen, const uint8_t *encryptedData,
                                      uint32_t encryptedDataLen) = 0;
    virtual uint32_t RSASignData(HCONTAINER hContainer, const uint8_t *data, uint32_t dataLen, uint8_t *signature,
                                 uint32_t *signLen) = 0;
    virtual uint32_t RSAVerify(const RSAPUBLICKEYBLOB *blob, uint32_t blobLen, const uint8_t *data, uint32_t dataLen,
                               const uint8_t *signature, uint32_t signLen) = 0;
    virtual uint32_t GenECCKeyPair(HCONTAINER hContainer, uint32_t algId, ECCPUBLICKEYBLOB *blob,
                                   uint32_t *blobLen) = 0;
    virtual uint32_t ImportECCKeyPair(HCONTAINER hContainer, const ENVELOPEDKEYBLOB *blob, uint32_t blobLen) = 0;
    virtual uint32_t ECCSignData(HCONTAINER hContainer, const uint8_t *data, uint32_t dataLen,
                                 ECCSIGNATUREBLOB *signature, uint32_t *signLen) = 0;
    virtual uint32_t ECCVerify(const ECCPUBLICKEYBLOB *pub, uint32_t pubLen, const uint8_t *data, uint32_t dataLen,
                               const ECCSIGNATUREBLOB *signature, uint32_t signLen) = 0;
    virtual uint32_t ExportPublicKey(HCONTAINER hContainer, int32_t signFlag, uint8_t *blob, uint32_t *blobLen) = 0;
    virtual uint32_t ImportSessionKey(HCONTAINER hContainer, uint32_t algId, const uint8_t *wrapped,
                                      uint32_t wrappedLen, SKF_HANDLE *phKey) = 0;
    virtual uint32_t EncryptInit(SKF_HANDLE hKey, const BLOCKCIPHERPARAM *param, uint32_t paramLen) = 0;
    virtual uint32_t Encrypt(SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                             uint32_t *outLen) = 0;
    virtual uint32_t EncryptUpdate(SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                                   uint32_t *outLen) = 0;
    virtual uint32_t EncryptFinal(SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen) = 0;
    virtual uint32_t DecryptInit(SKF_HANDLE hKey, const BLOCKCIPHERPARAM *param, uint32_t paramLen) = 0;
    virtual uint32_t Decrypt(SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                             uint32_t *outLen) = 0;
    virtual uint32_t DecryptUpdate(SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                                   uint32_t *outLen) = 0;
    virtual uint32_t DecryptFinal(SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen) = 0;
    virtual uint32_t DigestInit(uint32_t algId, const ECCPUBLICKEYBLOB *pub, uint32_t pubLen, const uint8_t *id,
                                uint32_t idLen, SKF_HANDLE *phHash) = 0;
    virtual uint32_t Digest(SKF_HANDLE hHash, const uint8_t *data, uint32_t dataLen, uint8_t *digest,
                            uint32_t *digestLen) = 0;
    virtual uint32_t DigestUpdate(SKF_HANDLE hHash, const uint8_t *data, uint32_t dataLen) = 0;
    virtual uint32_t DigestFinal(SKF_HANDLE hHash, uint8_t *digest, uint32_t *digestLen) = 0;
    virtual uint32_t MacInit(SKF_HANDLE hKey, BLOCKCIPHERPARAM *param, uint32_t paramLen, SKF_HANDLE *phMac) = 0;
    virtual uint32_t Mac(SKF_HANDLE hMac, const uint8_t *data, uint32_t dataLen, uint8_t *mac, uint32_t *macLen) = 0;
    virtual uint32_t MacUpdate(SKF_HANDLE hMac, const uint8_t *data, uint32_t dataLen) = 0;
    virtual uint32_t MacFinal(SKF_HANDLE hMac, uint8_t *mac, uint32_t *macLen) = 0;
    virtual uint32_t CloseHandle(SKF_HANDLE hHandle) = 0;
    virtual uint32_t EPS_ImportSymmKey(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5) = 0;
    virtual uint32_t EPS_WriteESealData(uintptr_t a1, uintptr_t a2, uintptr_t a3) = 0;
    virtual uint32_t EPS_ReadESealData(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5) = 0;
    virtual uint32_t ECCExportSessionKey(HCONTAINER hContainer, uint32_t algId, const ECCPUBLICKEYBLOB *pub,
                                         uint32_t pubLen, uint8_t *cipherBlob, uint32_t *cipherLen,
                                         SKF_HANDLE *phKey) = 0;
    virtual uint32_t ImportSessionKeyWithKeyEx(HCONTAINER hContainer, uintptr_t arg2, const uint8_t *wrapped,
                                               uint32_t wrappedLen, uint32_t *phKey, uint8_t *plain,
                                               uint32_t *plainLen) = 0;

    // This instance, after dropping the vendor handles it took under an earlier vendor-library
    // load: those belong to a library that is gone, and the new one numbers its handles afresh.
    UKeyAdaptorBase *current();

protected:
    // Drops, without a vendor call, every vendor handle the instance holds.
    virtual void forgetVendorHandles();

    DEVHANDLE m_hDev = nullptr;

private:
    uint32_t handle;
    uint32_t vendorLoad;
};

// The live instance that owns a device handle, current() applied; null for a handle never handed
// out or whose instance was destroyed. Takes no lock.
UKeyAdaptorBase *findAdaptor(uint32_t handle);
// The next device handle a construction will take (1 in a fresh process).
uint32_t nextDeviceHandle();
// Called before every load or release of a vendor library: every existing instance is then stale.
void beginVendorLoad();

// The device name last given to the "ukeyskf" or "skf_bjca" create operation (the caller's pointer).
extern std::atomic<const char *> g_currentDeviceName;

} // namespace ukey
