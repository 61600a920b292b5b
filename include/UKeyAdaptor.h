/* The adaptor's host interface: KXF_Load hands out a table of 65 entry points,
 * indexed by the KXF_IDX_* constants below. Usable from C. */
#ifndef UKEYADAPTOR_H
#define UKEYADAPTOR_H

/* Threads. Entries on different device handles may run at the same time on any threads: the
 * adaptor's own process-wide data (device handles, the instance index, the type registry, the
 * current device name) is safe for that, and finding a handle's instance takes no lock.
 * One device handle is used by one thread at a time; calls that share a handle, and
 * KXF_GetSerialNumberByDevName on a device that a handle holds, are the host's to serialise,
 * as are KXF_Init_SDK, KXF_Uinit_SDK, KXF_Load and KXF_Unload against every other call.
 * The log callback is called on the calling thread and must be safe for that. The vendor
 * library is called from the host's threads as they come. */

#include <stdint.h>

#include "kxf_call.h"
#include "skf.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes the adaptor produces itself; every other code is the vendor's. */
#define SAR_OK 0x00000000u
#define SAR_FAIL 0x0A000001u
#define SAR_NOTSUPPORTYETERR 0x0A000003u
#define SAR_INVALIDHANDLEERR 0x0A000005u
#define SAR_INVALIDPARAMERR 0x0A000006u
#define KX_NOTEXPORTERR 0x0A00001Du
#define SAR_PIN_INCORRECT 0x0A000024u
#define SAR_FILE_NOT_EXIST 0x0A000031u

/* Written by ImportSessionKeyWithKeyEx when the session key went to the host in plain. */
#define KXF_PSEUDO_KEY_HANDLE 0xFFFFFFFFu

#define KXF_TABLE_SIZE 65

enum KXF_Index {
    KXF_IDX_Init_SDK = 0,
    KXF_IDX_Uinit_SDK = 1,
    KXF_IDX_EnumDev = 2,
    KXF_IDX_IsConnectDev = 3,
    KXF_IDX_ConnectDev = 4,
    KXF_IDX_GetSerialNumberByDevName = 5,
    KXF_IDX_DisConnectDev = 6,
    KXF_IDX_GetLabelName = 7,
    KXF_IDX_GetSerialNumber = 8,
    KXF_IDX_GetTotalSpace = 9,
    KXF_IDX_GetFreeSpace = 10,
    KXF_IDX_FormatKey = 11,
    KXF_IDX_InitialKey = 12,
    KXF_IDX_GetDevInfo = 13,
    KXF_IDX_SetLabel = 14,
    KXF_IDX_ChangePIN = 15,
    KXF_IDX_VerifyPIN = 16,
    KXF_IDX_GetPINInfo = 17,
    KXF_IDX_UnblockPIN = 18,
    KXF_IDX_CreateFile = 19,
    KXF_IDX_DeleteFile = 20,
    KXF_IDX_EnumFiles = 21,
    KXF_IDX_ReadFile = 22,
    KXF_IDX_WriteFile = 23,
    KXF_IDX_IsFileExist = 24,
    KXF_IDX_CreateContainer = 25,
    KXF_IDX_DeleteContainer = 26,
    KXF_IDX_EnumContainer = 27,
    KXF_IDX_OpenContainer = 28,
    KXF_IDX_CloseContainer = 29,
    KXF_IDX_GetContainerType = 30,
    KXF_IDX_ImportCertificate = 31,
    KXF_IDX_ExportCertificate = 32,
    KXF_IDX_GenRSAKeyPair = 33,
    KXF_IDX_ImportRSAKeyPair = 34,
    KXF_IDX_RSASignData = 35,
    KXF_IDX_RSAVerify = 36,
    KXF_IDX_GenECCKeyPair = 37,
    KXF_IDX_ImportECCKeyPair = 38,
    KXF_IDX_ECCSignData = 39,
    KXF_IDX_ECCVerify = 40,
    KXF_IDX_ExportPublicKey = 41,
    KXF_IDX_ImportSessionKey = 42,
    KXF_IDX_EncryptInit = 43,
    KXF_IDX_Encrypt = 44,
    KXF_IDX_EncryptUpdate = 45,
    KXF_IDX_EncryptFinal = 46,
    KXF_IDX_DecryptInit = 47,
    KXF_IDX_Decrypt = 48,
    KXF_IDX_DecryptUpdate = 49,
    KXF_IDX_DecryptFinal = 50,
    KXF_IDX_DigestInit = 51,
    KXF_IDX_Digest = 52,
    KXF_IDX_DigestUpdate = 53,
    KXF_IDX_DigestFinal = 54,
    KXF_IDX_MacInit = 55,
    KXF_IDX_Mac = 56,
    KXF_IDX_MacUpdate = 57,
    KXF_IDX_MacFinal = 58,
    KXF_IDX_CloseHandle = 59,
    KXF_IDX_ECCExportSessionKey = 60,
    KXEPS_IDX_ImportSymmKey = 61,
    KXEPS_IDX_WriteESealData = 62,
    KXEPS_IDX_ReadESealData = 63,
    KXF_IDX_ImportSessionKeyWithKeyEx = 64
};

typedef void(KXF_CALL *KXF_LogCallback)(int32_t level, const char *text);

typedef uint32_t(KXF_CALL *PFN_KXF_Load)(void ***table);
typedef uint32_t(KXF_CALL *PFN_KXF_Unload)(void);

typedef uint32_t(KXF_CALL *PFN_KXF_Init_SDK)(const char *typeName, const char *libraryPath, KXF_LogCallback callback,
                                             uintptr_t reserved);
typedef uint32_t(KXF_CALL *PFN_KXF_Uinit_SDK)(void);
typedef uint32_t(KXF_CALL *PFN_KXF_EnumDev)(char *nameList, uint32_t *pulSize);
typedef uint32_t(KXF_CALL *PFN_KXF_IsConnectDev)(uint32_t dev);
typedef uint32_t(KXF_CALL *PFN_KXF_ConnectDev)(const char *devName, uint32_t *handleOut);
typedef uint32_t(KXF_CALL *PFN_KXF_GetSerialNumberByDevName)(const char *devName, char *serial, uint32_t *pulLen);
typedef uint32_t(KXF_CALL *PFN_KXF_DisConnectDev)(uint32_t dev);
typedef uint32_t(KXF_CALL *PFN_KXF_GetLabelName)(uint32_t dev, char *label, uint32_t *pulLen);
typedef uint32_t(KXF_CALL *PFN_KXF_GetSerialNumber)(uint32_t dev, char *serial, uint32_t *pulLen);
typedef uint32_t(KXF_CALL *PFN_KXF_GetTotalSpace)(uint32_t dev, uint32_t *pulTotal);
typedef uint32_t(KXF_CALL *PFN_KXF_GetFreeSpace)(uint32_t dev, uint32_t *pulFree);
typedef uint32_t(KXF_CALL *PFN_KXF_FormatKey)(uint32_t dev, const char *newPin, const char *oldPin);
typedef uint32_t(KXF_CALL *PFN_KXF_InitialKey)(uint32_t dev, const char *authKeyBase64, const char *adminPin,
                                               const char *userPin, const char *appName);
typedef uint32_t(KXF_CALL *PFN_KXF_GetDevInfo)(uint32_t dev, DEVINFO *info, uint32_t *pulLen);
typedef uint32_t(KXF_CALL *PFN_KXF_SetLabel)(uint32_t dev, const char *label);
typedef uint32_t(KXF_CALL *PFN_KXF_ChangePIN)(uint32_t dev, uint32_t pinType, const char *oldPin, const char *newPin,
                                              uint32_t *retry);
typedef uint32_t(KXF_CALL *PFN_KXF_VerifyPIN)(uint32_t dev, uint32_t pinType, const char *pin, uint32_t *retry);
typedef uint32_t(KXF_CALL *PFN_KXF_GetPINInfo)(uint32_t dev, uint32_t pinType, uint32_t *maxRetry,
                                               uint32_t *remainRetry, int32_t *isDefault);
typedef uint32_t(KXF_CALL *PFN_KXF_UnblockPIN)(uint32_t dev, const char *adminPin, const char *newUserPin,
                                               uint32_t *retry);
typedef uint32_t(KXF_CALL *PFN_KXF_CreateFile)(uint32_t dev, const char *name, uint32_t size, uint32_t readRights,
                                               uint32_t writeRights);
typedef uint32_t(KXF_CALL *PFN_KXF_DeleteFile)(uint32_t dev, const char *name);
typedef uint32_t(KXF_CALL *PFN_KXF_EnumFiles)(uint32_t dev, char *list, uint32_t *pulSize);
typedef uint32_t(KXF_CALL *PFN_KXF_ReadFile)(uint32_t dev, const char *name, uint32_t offset, uint32_t size,
                                             uint8_t *out, uint32_t *pulLen);
typedef uint32_t(KXF_CALL *PFN_KXF_WriteFile)(uint32_t dev, const char *name, uint32_t offset, const uint8_t *data,
                                              uint32_t len);
typedef uint32_t(KXF_CALL *PFN_KXF_IsFileExist)(uint32_t dev, const char *name);
typedef uint32_t(KXF_CALL *PFN_KXF_CreateContainer)(uint32_t dev, const char *name, HCONTAINER *hContainer);
typedef uint32_t(KXF_CALL *PFN_KXF_DeleteContainer)(uint32_t dev, const char *name);
typedef uint32_t(KXF_CALL *PFN_KXF_EnumContainer)(uint32_t dev, char *list, uint32_t *pulSize);
typedef uint32_t(KXF_CALL *PFN_KXF_OpenContainer)(uint32_t dev, const char *name, HCONTAINER *hContainer);
typedef uint32_t(KXF_CALL *PFN_KXF_CloseContainer)(uint32_t dev, HCONTAINER hContainer);
typedef uint32_t(KXF_CALL *PFN_KXF_GetContainerType)(uint32_t dev, HCONTAINER hContainer, uint32_t *type);
typedef uint32_t(KXF_CALL *PFN_KXF_ImportCertificate)(uint32_t dev, HCONTAINER hContainer, int32_t signFlag,
                                                      const uint8_t *cert, uint32_t certLen);
typedef uint32_t(KXF_CALL *PFN_KXF_ExportCertificate)(uint32_t dev, HCONTAINER hContainer, int32_t signFlag,
                                                      uint8_t *cert, uint32_t *certLen);
typedef uint32_t(KXF_CALL *PFN_KXF_GenRSAKeyPair)(uint32_t dev, HCONTAINER hContainer, uint32_t bits,
                                                  RSAPUBLICKEYBLOB *blob, uint32_t *blobLen);
typedef uint32_t(KXF_CALL *PFN_KXF_ImportRSAKeyPair)(uint32_t dev, HCONTAINER hContainer, uint32_t symAlgId,
                                                     const uint8_t *wrappedKey, uint32_t wrappedKeyLen,
                                                     const uint8_t *encryptedData, uint32_t encryptedDataLen);
typedef uint32_t(KXF_CALL *PFN_KXF_RSASignData)(uint32_t dev, HCONTAINER hContainer, const uint8_t *data,
                                                uint32_t dataLen, uint8_t *signature, uint32_t *signLen);
typedef uint32_t(KXF_CALL *PFN_KXF_RSAVerify)(uint32_t dev, const RSAPUBLICKEYBLOB *blob, uint32_t blobLen,
                                              const uint8_t *data, uint32_t dataLen, const uint8_t *signature,
                                              uint32_t signLen);
typedef uint32_t(KXF_CALL *PFN_KXF_GenECCKeyPair)(uint32_t dev, HCONTAINER hContainer, uint32_t algId,
                                                  ECCPUBLICKEYBLOB *blob, uint32_t *blobLen);
typedef uint32_t(KXF_CALL *PFN_KXF_ImportECCKeyPair)(uint32_t dev, HCONTAINER hContainer, const ENVELOPEDKEYBLOB *blob,
                                                     uint32_t blobLen);
typedef uint32_t(KXF_CALL *PFN_KXF_ECCSignData)(uint32_t dev, HCONTAINER hContainer, const uint8_t *data,
                                                uint32_t dataLen, ECCSIGNATUREBLOB *signature, uint32_t *signLen);
typedef uint32_t(KXF_CALL *PFN_KXF_ECCVerify)(uint32_t dev, const ECCPUBLICKEYBLOB *pub, uint32_t pubLen,
                                              const uint8_t *data, uint32_t dataLen, const ECCSIGNATUREBLOB *signature,
                                              uint32_t signLen);
typedef uint32_t(KXF_CALL *PFN_KXF_ExportPublicKey)(uint32_t dev, HCONTAINER hContainer, int32_t signFlag,
                                                    uint8_t *blob, uint32_t *blobLen);
typedef uint32_t(KXF_CALL *PFN_KXF_ImportSessionKey)(uint32_t dev, HCONTAINER hContainer, uint32_t algId,
                                                     const uint8_t *wrapped, uint32_t wrappedLen, SKF_HANDLE *hKey);
typedef uint32_t(KXF_CALL *PFN_KXF_EncryptInit)(uint32_t dev, SKF_HANDLE hKey, const BLOCKCIPHERPARAM *param,
                                                uint32_t paramLen);
typedef uint32_t(KXF_CALL *PFN_KXF_Encrypt)(uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen,
                                            uint8_t *out, uint32_t *outLen);
typedef PFN_KXF_Encrypt PFN_KXF_EncryptUpdate;
typedef uint32_t(KXF_CALL *PFN_KXF_EncryptFinal)(uint32_t dev, SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen);
typedef PFN_KXF_EncryptInit PFN_KXF_DecryptInit;
typedef PFN_KXF_Encrypt PFN_KXF_Decrypt;
typedef PFN_KXF_Encrypt PFN_KXF_DecryptUpdate;
typedef PFN_KXF_EncryptFinal PFN_KXF_DecryptFinal;
typedef uint32_t(KXF_CALL *PFN_KXF_DigestInit)(uint32_t dev, uint32_t algId, const ECCPUBLICKEYBLOB *pub,
                                               uint32_t pubLen, const uint8_t *id, uint32_t idLen, SKF_HANDLE *hHash);
typedef PFN_KXF_Encrypt PFN_KXF_Digest;
typedef uint32_t(KXF_CALL *PFN_KXF_DigestUpdate)(uint32_t dev, SKF_HANDLE hHash, const uint8_t *data, uint32_t dataLen);
typedef PFN_KXF_EncryptFinal PFN_KXF_DigestFinal;
typedef uint32_t(KXF_CALL *PFN_KXF_MacInit)(uint32_t dev, SKF_HANDLE hKey, BLOCKCIPHERPARAM *param, uint32_t paramLen,
                                            SKF_HANDLE *hMac);
typedef PFN_KXF_Encrypt PFN_KXF_Mac;
typedef PFN_KXF_DigestUpdate PFN_KXF_MacUpdate;
typedef PFN_KXF_EncryptFinal PFN_KXF_MacFinal;
typedef uint32_t(KXF_CALL *PFN_KXF_CloseHandle)(uint32_t dev, SKF_HANDLE handle);
typedef uint32_t(KXF_CALL *PFN_KXF_ECCExportSessionKey)(uint32_t dev, HCONTAINER hContainer, uint32_t algId,
                                                        const ECCPUBLICKEYBLOB *pub, uint32_t pubLen,
                                                        uint8_t *cipherBlob, uint32_t *cipherLen, SKF_HANDLE *hKey);
typedef uint32_t(KXF_CALL *PFN_KXEPS_ImportSymmKey)(uint32_t dev, uintptr_t a1, uintptr_t a2, uintptr_t a3,
                                                    uintptr_t a4, uintptr_t a5);
typedef uint32_t(KXF_CALL *PFN_KXEPS_WriteESealData)(uint32_t dev, uintptr_t a1, uintptr_t a2, uintptr_t a3);
typedef uint32_t(KXF_CALL *PFN_KXEPS_ReadESealData)(uint32_t dev, uintptr_t a1, uintptr_t a2, uintptr_t a3,
                                                    uintptr_t a4, uintptr_t a5);
typedef uint32_t(KXF_CALL *PFN_KXF_ImportSessionKeyWithKeyEx)(uint32_t dev, HCONTAINER hContainer, uintptr_t arg2,
                                                              const uint8_t *wrapped, uint32_t wrappedLen,
                                                              uint32_t *hKeyOut, uint8_t *plain, uint32_t *plainLen);

#if !defined(UKEYADAPTOR_BUILD)
#define KXF_EXPORT
#elif defined(_WIN32)
#define KXF_EXPORT __declspec(dllexport)
#else
#define KXF_EXPORT __attribute__((visibility("default")))
#endif

KXF_EXPORT uint32_t KXF_CALL KXF_Load(void ***table);
KXF_EXPORT uint32_t KXF_CALL KXF_Unload(void);

#ifdef __cplusplus
}
#endif

#endif
