#pragma once

#include <string>
#include <vector>

#include "library/SkfEntryPoints.h"
#include "registry/AdaptorRegistry.h"
#include "registry/UKeyAdaptorBase.h"
#include "skf/Guard.h"

namespace ukey {

using NameList = std::vector<std::string>;

// The cached device information in one pointer: a record of the instance's own while it is
// connected, and once it is disconnected a shared read-only copy of the same bytes, so that the
// many instances a long-running host leaves behind keep one record per distinct device.
class DevInfoCache {
public:
    DevInfoCache();
    ~DevInfoCache();
    DevInfoCache(const DevInfoCache &) = delete;
    DevInfoCache &operator=(const DevInfoCache &) = delete;

    const DEVINFO &get() const { return *reinterpret_cast<const DEVINFO *>(bits_ & ~kOwned); }
    // A record of its own holding the same bytes, made on the first write after connecting.
    DEVINFO &own();
    // Gives up its own record for the shared copy of the same bytes.
    void share();

private:
    static constexpr uintptr_t kOwned = 1; // records are allocated, so the low bit is free
    uintptr_t bits_;
};

// The generic adaptor: every operation on top of the SKF entry-point table. Operations call
// one another only through the virtual slots, so a variant's override takes effect inside them.
class UKeyAdaptorSKF : public UKeyAdaptorBase {
public:
    UKeyAdaptorSKF();

    uint32_t ConnectDev(const char *devName) override;
    uint32_t DisConnectDev() override;
    uint32_t IsConnectDev() override;
    uint32_t GetKeyLabelName(char *label, uint32_t *pulLen) override;
    uint32_t GetKeySerialNumber(char *serial, uint32_t *pulLen) override;
    uint32_t GetKeyTotalSpace(uint32_t *pulTotal) override;
    uint32_t GetKeyFreeSpace(uint32_t *pulFree) override;
    uint32_t FormatKey(const char *newPin, const char *oldPin) override;
    uint32_t InitialKey(const char *authKeyBase64, const char *adminPin, const char *userPin,
                        const char *appName) override;
    uint32_t GetDevInfo(DEVINFO *pInfo, uint32_t *pulLen) override;
    uint32_t SetLabel(const char *label) override;
    uint32_t ChangePIN(uint32_t pinType, const char *oldPin, const char *newPin, uint32_t *retry) override;
    uint32_t VerifyPIN(uint32_t pinType, const char *pin, uint32_t *retry) override;
    uint32_t GetPINInfo(uint32_t pinType, uint32_t *maxRetry, uint32_t *remainRetry, int32_t *isDefault) override;
    uint32_t UnblockPIN(const char *adminPin, const char *newUserPin, uint32_t *retry) override;
    uint32_t CreateFileW(const char *name, uint32_t size, uint32_t readRights, uint32_t writeRights) override;
    uint32_t DeleteFileW(const char *name) override;
    uint32_t EnumFiles(char *list, uint32_t *pulSize) override;
    uint32_t ReadFile(const char *name, uint32_t offset, uint32_t size, uint8_t *out, uint32_t *pulLen) override;
    uint32_t WriteFile(const char *name, uint32_t offset, const uint8_t *data, uint32_t len) override;
    uint32_t IsFileExist(const char *name) override;
    uint32_t CreateContainer(const char *name, HCONTAINER *phContainer) override;
    uint32_t DeleteContainer(const char *name) override;
    uint32_t EnumContainer(char *list, uint32_t *pulSize) override;
    uint32_t OpenContainer(const char *name, HCONTAINER *phContainer) override;
    uint32_t CloseContainer(HCONTAINER hContainer) override;
    uint32_t GetContainerType(HCONTAINER hContainer, uint32_t *type) override;
    uint32_t ImportCertificate(HCONTAINER hContainer, int32_t signFlag, const uint8_t *cert, uint32_t certLen) override;
    uint32_t ExportCertificate(HCONTAINER hContainer, int32_t signFlag, uint8_t *cert, uint32_t *certLen) override;
    uint32_t GenRSAKeyPair(HCONTAINER hContainer, uint32_t bits, RSAPUBLICKEYBLOB *blob, uint32_t *blobLen) override;
    uint32_t ImportRSAKeyPair(HCONTAINER hContainer, uint32_t symAlgId, const uint8_t *wrappedKey,
                              uint32_t wrappedKeyLen, const uint8_t *encryptedData, uint32_t encryptedDataLen) override;
    uint32_t RSASignData(HCONTAINER hContainer, const uint8_t *data, uint32_t dataLen, uint8_t *signature,
                         uint32_t *signLen) override;
    uint32_t RSAVerify(const RSAPUBLICKEYBLOB *blob, uint32_t blobLen, const uint8_t *data, uint32_t dataLen,
                       const uint8_t *signature, uint32_t signLen) override;
    uint32_t GenECCKeyPair(HCONTAINER hContainer, uint32_t algId, ECCPUBLICKEYBLOB *blob, uint32_t *blobLen) override;
    uint32_t ImportECCKeyPair(HCONTAINER hContainer, const ENVELOPEDKEYBLOB *blob, uint32_t blobLen) override;
    uint32_t ECCSignData(HCONTAINER hContainer, const uint8_t *data, uint32_t dataLen, ECCSIGNATUREBLOB *signature,
                         uint32_t *signLen) override;
    uint32_t ECCVerify(const ECCPUBLICKEYBLOB *pub, uint32_t pubLen, const uint8_t *data, uint32_t dataLen,
                       const ECCSIGNATUREBLOB *signature, uint32_t signLen) override;
    uint32_t ExportPublicKey(HCONTAINER hContainer, int32_t signFlag, uint8_t *blob, uint32_t *blobLen) override;
    uint32_t ImportSessionKey(HCONTAINER hContainer, uint32_t algId, const uint8_t *wrapped, uint32_t wrappedLen,
                              SKF_HANDLE *phKey) override;
    uint32_t EncryptInit(SKF_HANDLE hKey, const BLOCKCIPHERPARAM *param, uint32_t paramLen) override;
    uint32_t Encrypt(SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out, uint32_t *outLen) override;
    uint32_t EncryptUpdate(SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                           uint32_t *outLen) override;
    uint32_t EncryptFinal(SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen) override;
    uint32_t DecryptInit(SKF_HANDLE hKey, const BLOCKCIPHERPARAM *param, uint32_t paramLen) override;
    uint32_t Decrypt(SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out, uint32_t *outLen) override;
    uint32_t DecryptUpdate(SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,
                           uint32_t *outLen) override;
    uint32_t DecryptFinal(SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen) override;
    uint32_t DigestInit(uint32_t algId, const ECCPUBLICKEYBLOB *pub, uint32_t pubLen, const uint8_t *id, uint32_t idLen,
                        SKF_HANDLE *phHash) override;
    uint32_t Digest(SKF_HANDLE hHash, const uint8_t *data, uint32_t dataLen, uint8_t *digest,
                    uint32_t *digestLen) override;
    uint32_t DigestUpdate(SKF_HANDLE hHash, const uint8_t *data, uint32_t dataLen) override;
    uint32_t DigestFinal(SKF_HANDLE hHash, uint8_t *digest, uint32_t *digestLen) override;
    uint32_t MacInit(SKF_HANDLE hKey, BLOCKCIPHERPARAM *param, uint32_t paramLen, SKF_HANDLE *phMac) override;
    uint32_t Mac(SKF_HANDLE hMac, const uint8_t *data, uint32_t dataLen, uint8_t *mac, uint32_t *macLen) override;
    uint32_t MacUpdate(SKF_HANDLE hMac, const uint8_t *data, uint32_t dataLen) override;
    uint32_t MacFinal(SKF_HANDLE hMac, uint8_t *mac, uint32_t *macLen) override;
    uint32_t CloseHandle(SKF_HANDLE hHandle) override;
    uint32_t EPS_ImportSymmKey(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5) override;
    uint32_t EPS_WriteESealData(uintptr_t a1, uintptr_t a2, uintptr_t a3) override;
    uint32_t EPS_ReadESealData(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5) override;
    uint32_t ECCExportSessionKey(HCONTAINER hContainer, uint32_t algId, const ECCPUBLICKEYBLOB *pub, uint32_t pubLen,
                                 uint8_t *cipherBlob, uint32_t *cipherLen, SKF_HANDLE *phKey) override;
    uint32_t ImportSessionKeyWithKeyEx(HCONTAINER hContainer, uintptr_t arg2, const uint8_t *wrapped,
                                       uint32_t wrappedLen, uint32_t *phKey, uint8_t *plain,
                                       uint32_t *plainLen) override;

    virtual uint32_t enumApplication(NameList &names);
    virtual uint32_t openApplication(HAPPLICATION *phApp);
    virtual uint32_t openApplication(const char *appName, HAPPLICATION *phApp);
    virtual uint32_t enumFiles(NameList &names);

    // Operations of the "ukeyskf" type descriptor.
    static UKeyAdaptorBase *CreateUKeyAdaptorDev(const char *typeName, const char *devName);
    static uint32_t LoadSKFDll(const char *typeName, const char *libraryPath);
    static uint32_t UnloadSKFDll(const char *typeName);
    static uint32_t EnumDev(char *nameList, uint32_t *pulSize);
    static uint32_t GetSerialNumberByDevName(const char *typeName, const char *devName, char *serial, uint32_t *pulLen);
    static const AdaptorTypeOps typeOps;

    // Read-only views for tests and variants.
    DEVHANDLE deviceHandle() const { return m_hDev; }
    HAPPLICATION applicationHandle() const { return m_hApp; }
    const DEVINFO &cachedDevInfo() const { return devInfo.get(); }

protected:
    // The connect sequence: device, first application, device information. reuseOpenDevice lets
    // an object that holds a device answer at once; afterInfoRead runs right after
    // SKF_GetDevInfo, before its result counts.
    template <class Hook>
    uint32_t connectWith(const TraceSite &site, const char *devName, bool reuseOpenDevice, Hook afterInfoRead);

    // Fills devInfo afresh from the key when connected; the vendor's result, or SAR_FAIL unconnected.
    uint32_t refreshDevInfo();

    // The serial-by-device-name steps, traced under the caller's name.
    static uint32_t serialFromTemporaryConnection(const char *function, const char *devName, char *serial,
                                                  uint32_t *pulLen);

    // Provisioning after its entry and handle tests: device authentication with algId, removal
    // of every application, creation of the new one. Failures are traced under function.
    uint32_t provision(const char *function, uint32_t algId, const char *authKeyBase64, const char *adminPin,
                       const char *userPin, const char *appName);

    void forgetVendorHandles() override;

    HAPPLICATION m_hApp = nullptr;
    DevInfoCache devInfo;
};

template <class Hook>
uint32_t UKeyAdaptorSKF::connectWith(const TraceSite &site, const char *devName, bool reuseOpenDevice,
                                     Hook afterInfoRead)
{
    Operation op(site);
    if (op.needs(skf().SKF_ConnectDev, skf().SKF_GetDevInfo).failed())
        return op.code();
    if (reuseOpenDevice && m_hDev) {
        site("end SAR_OK");
        return SAR_OK;
    }
    uint32_t result = skf().SKF_ConnectDev(devName, &m_hDev);
    if (result != SAR_OK) {
        UKEY_TRACE_CODE(site.function, "error! ulRet: %1", result);
    } else if ((result = openApplication(&m_hApp)) != SAR_OK) {
        DisConnectDev();
    } else if (m_hApp) { // a key without application has no information to read
        result = skf().SKF_GetDevInfo(m_hDev, &devInfo.own());
        afterInfoRead();
        if (result != SAR_OK)
            DisConnectDev();
    }
    site("end");
    return result;
}

// Splits a NUL-separated, double-NUL-ended name list of at most size bytes into names,
// never reading past size; the first name is always taken.
void splitNameList(const char *buffer, uint32_t size, NameList &names);

// A zero-filled buffer for a vendor list of size bytes; false when it cannot be had, or when
// the size is beyond belief.
bool allocateList(std::vector<char> &buffer, uint32_t size);

// Length of a fixed-size text field up to its first NUL, never past the field.
size_t fieldLength(const char *field, size_t capacity);

} // namespace ukey
