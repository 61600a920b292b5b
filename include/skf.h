/* GM/T 0016 smart-token interface as the adaptor binds it: structures and the
 * function-pointer type of every vendor entry point it resolves. Usable from C. */
#ifndef UKEYADAPTOR_SKF_H
#define UKEYADAPTOR_SKF_H

#include <stddef.h>
#include <stdint.h>

#include "kxf_call.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void *DEVHANDLE;
typedef void *HAPPLICATION;
typedef void *HCONTAINER;
typedef void *SKF_HANDLE; /* session key, hash, MAC */

#define SKF_MAX_IV_LEN 32
#define SKF_MAX_RSA_MODULUS_LEN 256
#define SKF_MAX_RSA_EXPONENT_LEN 4
#define SKF_ECC_MAX_XCOORDINATE_LEN 64
#define SKF_ECC_MAX_YCOORDINATE_LEN 64

#pragma pack(push, 1)

typedef struct Struct_Version {
    uint8_t major;
    uint8_t minor;
} VERSION;

typedef struct Struct_DEVINFO {
    VERSION Version;
    char Manufacturer[64];
    char Issuer[64];
    char Label[32];
    char SerialNumber[32];
    VERSION HWVersion;
    VERSION FirmwareVersion;
    uint32_t AlgSymCap;
    uint32_t AlgAsymCap;
    uint32_t AlgHashCap;
    uint32_t DevAuthAlgId;
    uint32_t TotalSpace;
    uint32_t FreeSpace;
    uint32_t MaxECCBufferSize;
    uint32_t MaxBufferSize;
    uint8_t Reserved[64];
} DEVINFO;

typedef struct Struct_RSAPUBLICKEYBLOB {
    uint32_t AlgID;
    uint32_t BitLen;
    uint8_t Modulus[SKF_MAX_RSA_MODULUS_LEN];
    uint8_t PublicExponent[SKF_MAX_RSA_EXPONENT_LEN];
} RSAPUBLICKEYBLOB;

typedef struct Struct_ECCPUBLICKEYBLOB {
    uint32_t BitLen;
    uint8_t XCoordinate[SKF_ECC_MAX_XCOORDINATE_LEN];
    uint8_t YCoordinate[SKF_ECC_MAX_YCOORDINATE_LEN];
} ECCPUBLICKEYBLOB;

/* Cipher sized for a wrapped 128-bit key, as carried inside ENVELOPEDKEYBLOB. */
typedef struct Struct_ECCCIPHERBLOB {
    uint8_t XCoordinate[SKF_ECC_MAX_XCOORDINATE_LEN];
    uint8_t YCoordinate[SKF_ECC_MAX_YCOORDINATE_LEN];
    uint8_t HASH[32];
    uint32_t CipherLen;
    uint8_t Cipher[16];
} ECCCIPHERBLOB;

typedef struct Struct_ECCSIGNATUREBLOB {
    uint8_t r[SKF_ECC_MAX_XCOORDINATE_LEN];
    uint8_t s[SKF_ECC_MAX_YCOORDINATE_LEN];
} ECCSIGNATUREBLOB;

typedef struct SKF_ENVELOPEDKEYBLOB {
    uint32_t Version;
    uint32_t ulSymmAlgID;
    uint32_t ulBits;
    uint8_t cbEncryptedPriKey[64];
    ECCPUBLICKEYBLOB PubKey;
    ECCCIPHERBLOB ECCCipherBlob;
} ENVELOPEDKEYBLOB;

typedef struct Struct_BLOCKCIPHERPARAM {
    uint8_t IV[SKF_MAX_IV_LEN];
    uint32_t IVLen;
    uint32_t PaddingType;
    uint32_t FeedBitLen;
} BLOCKCIPHERPARAM;

typedef struct Struct_FILEATTRIBUTE {
    char FileName[32];
    uint32_t FileSize;
    uint32_t ReadRights;
    uint32_t WriteRights;
} FILEATTRIBUTE;

#pragma pack(pop)

/* The ECC session-key cipher blob buffer: X, Y, HASH, CipherLen and 33 cipher bytes. */
#define SKF_ECC_CIPHER_BLOB_BUFFER_LEN 197

#ifdef __cplusplus
static_assert(sizeof(DEVINFO) == 294, "DEVINFO layout");
static_assert(sizeof(RSAPUBLICKEYBLOB) == 268, "RSAPUBLICKEYBLOB layout");
static_assert(sizeof(ECCPUBLICKEYBLOB) == 132, "ECCPUBLICKEYBLOB layout");
static_assert(sizeof(ECCSIGNATUREBLOB) == 128, "ECCSIGNATUREBLOB layout");
static_assert(sizeof(ENVELOPEDKEYBLOB) == 388, "ENVELOPEDKEYBLOB layout");
static_assert(sizeof(BLOCKCIPHERPARAM) == 44, "BLOCKCIPHERPARAM layout");
static_assert(sizeof(FILEATTRIBUTE) == 44, "FILEATTRIBUTE layout");
#else
_Static_assert(sizeof(DEVINFO) == 294, "DEVINFO layout");
_Static_assert(sizeof(RSAPUBLICKEYBLOB) == 268, "RSAPUBLICKEYBLOB layout");
_Static_assert(sizeof(ECCPUBLICKEYBLOB) == 132, "ECCPUBLICKEYBLOB layout");
_Static_assert(sizeof(ECCSIGNATUREBLOB) == 128, "ECCSIGNATUREBLOB layout");
_Static_assert(sizeof(ENVELOPEDKEYBLOB) == 388, "ENVELOPEDKEYBLOB layout");
_Static_assert(sizeof(BLOCKCIPHERPARAM) == 44, "BLOCKCIPHERPARAM layout");
_Static_assert(sizeof(FILEATTRIBUTE) == 44, "FILEATTRIBUTE layout");
#endif

/* PIN types */
#define SKF_ADMIN_TYPE 0u
#define SKF_USER_TYPE 1u

/* Vendor entry points. EPS_Encrypt, EPS_Decrypt and EPS_Mac are resolved only. */
typedef uint32_t(KXF_CALL *PFN_EPS_Unused)(void);
typedef uint32_t(KXF_CALL *PFN_EPS_ImportSymmKey)(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5);
typedef uint32_t(KXF_CALL *PFN_EPS_WriteESealData)(HAPPLICATION hApp, uintptr_t a1, uintptr_t a2, uintptr_t a3);
typedef uint32_t(KXF_CALL *PFN_EPS_ReadESealData)(HAPPLICATION hApp, uintptr_t a1, uintptr_t a2, uintptr_t a3,
                                                  uintptr_t a4, uintptr_t a5);

typedef uint32_t(KXF_CALL *PFN_SKF_WaitForDevEvent)(char *szDevName, uint32_t *pulDevNameLen, uint32_t *pulEvent);
typedef uint32_t(KXF_CALL *PFN_SKF_EnumDev)(int32_t bPresent, char *szNameList, uint32_t *pulSize);
typedef uint32_t(KXF_CALL *PFN_SKF_ConnectDev)(const char *szName, DEVHANDLE *phDev);
typedef uint32_t(KXF_CALL *PFN_SKF_DisConnectDev)(DEVHANDLE hDev);
typedef uint32_t(KXF_CALL *PFN_SKF_GetDevState)(const char *szDevName, uint32_t *pulDevState);
typedef uint32_t(KXF_CALL *PFN_SKF_SetLabel)(DEVHANDLE hDev, const char *szLabel);
typedef uint32_t(KXF_CALL *PFN_SKF_GetDevInfo)(DEVHANDLE hDev, DEVINFO *pDevInfo);
typedef uint32_t(KXF_CALL *PFN_SKF_LockDev)(DEVHANDLE hDev, uint32_t ulTimeOut);
typedef uint32_t(KXF_CALL *PFN_SKF_UnlockDev)(DEVHANDLE hDev);
typedef uint32_t(KXF_CALL *PFN_SKF_Transmit)(DEVHANDLE hDev, const uint8_t *pbCommand, uint32_t ulCommandLen,
                                             uint8_t *pbData, uint32_t *pulDataLen);
typedef uint32_t(KXF_CALL *PFN_SKF_ChangeDevAuthKey)(DEVHANDLE hDev, const uint8_t *pbKeyValue, uint32_t ulKeyLen);
typedef uint32_t(KXF_CALL *PFN_SKF_DevAuth)(DEVHANDLE hDev, const uint8_t *pbAuthData, uint32_t ulLen);
typedef uint32_t(KXF_CALL *PFN_SKF_ChangePIN)(HAPPLICATION hApp, uint32_t ulPINType, const char *szOldPin,
                                              const char *szNewPin, uint32_t *pulRetryCount);
typedef uint32_t(KXF_CALL *PFN_SKF_GetPINInfo)(HAPPLICATION hApp, uint32_t ulPINType, uint32_t *pulMaxRetryCount,
                                               uint32_t *pulRemainRetryCount, int32_t *pbDefaultPin);
typedef uint32_t(KXF_CALL *PFN_SKF_VerifyPIN)(HAPPLICATION hApp, uint32_t ulPINType, const char *szPIN,
                                              uint32_t *pulRetryCount);
typedef uint32_t(KXF_CALL *PFN_SKF_UnblockPIN)(HAPPLICATION hApp, const char *szAdminPIN, const char *szNewUserPIN,
                                               uint32_t *pulRetryCount);
typedef uint32_t(KXF_CALL *PFN_SKF_GenRemoteUnblockRequest)(HAPPLICATION hApp, uint8_t *pbRandom, uint32_t ulRandomLen);
typedef uint32_t(KXF_CALL *PFN_SKF_RemoteUnblockPIN)(HAPPLICATION hApp, const uint8_t *pbCipherPIN,
                                                     uint32_t ulCipherPINLen);
typedef uint32_t(KXF_CALL *PFN_SKF_ClearSecureState)(HAPPLICATION hApp);
typedef uint32_t(KXF_CALL *PFN_SKF_CreateFile)(HAPPLICATION hApp, const char *szFileName, uint32_t ulFileSize,
                                               uint32_t ulReadRights, uint32_t ulWriteRights);
typedef uint32_t(KXF_CALL *PFN_SKF_DeleteFile)(HAPPLICATION hApp, const char *szFileName);
typedef uint32_t(KXF_CALL *PFN_SKF_EnumFiles)(HAPPLICATION hApp, char *szFileList, uint32_t *pulSize);
typedef uint32_t(KXF_CALL *PFN_SKF_GetFileInfo)(HAPPLICATION hApp, const char *szFileName, FILEATTRIBUTE *pFileInfo);
typedef uint32_t(KXF_CALL *PFN_SKF_ReadFile)(HAPPLICATION hApp, const char *szFileName, uint32_t ulOffset,
                                             uint32_t ulSize, uint8_t *pbOutData, uint32_t *pulOutLen);
typedef uint32_t(KXF_CALL *PFN_SKF_WriteFile)(HAPPLICATION hApp, const char *szFileName, uint32_t ulOffset,
                                              const uint8_t *pbData, uint32_t ulSize);
typedef uint32_t(KXF_CALL *PFN_SKF_CreateApplication)(DEVHANDLE hDev, const char *szAppName, const char *szAdminPin,
                                                      uint32_t dwAdminPinRetryCount, const char *szUserPin,
                                                      uint32_t dwUserPinRetryCount, uint32_t dwCreateFileRights,
                                                      HAPPLICATION *phApp);
typedef uint32_t(KXF_CALL *PFN_SKF_EnumApplication)(DEVHANDLE hDev, char *szAppName, uint32_t *pulSize);
typedef uint32_t(KXF_CALL *PFN_SKF_DeleteApplication)(DEVHANDLE hDev, const char *szAppName);
typedef uint32_t(KXF_CALL *PFN_SKF_OpenApplication)(DEVHANDLE hDev, const char *szAppName, HAPPLICATION *phApp);
typedef uint32_t(KXF_CALL *PFN_SKF_CloseApplication)(HAPPLICATION hApp);
typedef uint32_t(KXF_CALL *PFN_SKF_CreateContainer)(HAPPLICATION hApp, const char *szContainerName,
                                                    HCONTAINER *phContainer);
typedef uint32_t(KXF_CALL *PFN_SKF_DeleteContainer)(HAPPLICATION hApp, const char *szContainerName);
typedef uint32_t(KXF_CALL *PFN_SKF_EnumContainer)(HAPPLICATION hApp, char *szContainerName, uint32_t *pulSize);
typedef uint32_t(KXF_CALL *PFN_SKF_OpenContainer)(HAPPLICATION hApp, const char *szContainerName,
                                                  HCONTAINER *phContainer);
typedef uint32_t(KXF_CALL *PFN_SKF_CloseContainer)(HCONTAINER hContainer);
typedef uint32_t(KXF_CALL *PFN_SKF_GetContainerType)(HCONTAINER hContainer, uint32_t *pulContainerType);
typedef uint32_t(KXF_CALL *PFN_SKF_ImportCertificate)(HCONTAINER hContainer, int32_t bSignFlag, const uint8_t *pbCert,
                                                      uint32_t ulCertLen);
typedef uint32_t(KXF_CALL *PFN_SKF_ExportCertificate)(HCONTAINER hContainer, int32_t bSignFlag, uint8_t *pbCert,
                                                      uint32_t *pulCertLen);
typedef uint32_t(KXF_CALL *PFN_SKF_GenRandom)(DEVHANDLE hDev, uint8_t *pbRandom, uint32_t ulRandomLen);
typedef uint32_t(KXF_CALL *PFN_SKF_GenRSAKeyPair)(HCONTAINER hContainer, uint32_t ulBitsLen, RSAPUBLICKEYBLOB *pBlob);
typedef uint32_t(KXF_CALL *PFN_SKF_ImportRSAKeyPair)(HCONTAINER hContainer, uint32_t ulSymAlgId,
                                                     const uint8_t *pbWrappedKey, uint32_t ulWrappedKeyLen,
                                                     const uint8_t *pbEncryptedData, uint32_t ulEncryptedDataLen);
typedef uint32_t(KXF_CALL *PFN_SKF_RSASignData)(HCONTAINER hContainer, const uint8_t *pbData, uint32_t ulDataLen,
                                                uint8_t *pbSignature, uint32_t *pulSignLen);
typedef uint32_t(KXF_CALL *PFN_SKF_RSAVerify)(DEVHANDLE hDev, const RSAPUBLICKEYBLOB *pRSAPubKeyBlob,
                                              const uint8_t *pbData, uint32_t ulDataLen, const uint8_t *pbSignature,
                                              uint32_t ulSignLen);
typedef uint32_t(KXF_CALL *PFN_SKF_RSAExportSessionKey)(HCONTAINER hContainer, uint32_t ulAlgId,
                                                        RSAPUBLICKEYBLOB *pPubKey, uint8_t *pbData,
                                                        uint32_t *pulDataLen, SKF_HANDLE *phSessionKey);
typedef uint32_t(KXF_CALL *PFN_SKF_GenECCKeyPair)(HCONTAINER hContainer, uint32_t ulAlgId, ECCPUBLICKEYBLOB *pBlob);
typedef uint32_t(KXF_CALL *PFN_SKF_ImportECCKeyPair)(HCONTAINER hContainer, const ENVELOPEDKEYBLOB *pEnvelopedKeyBlob);
typedef uint32_t(KXF_CALL *PFN_SKF_ECCSignData)(HCONTAINER hContainer, const uint8_t *pbData, uint32_t ulDataLen,
                                                ECCSIGNATUREBLOB *pSignature);
typedef uint32_t(KXF_CALL *PFN_SKF_ECCVerify)(DEVHANDLE hDev, const ECCPUBLICKEYBLOB *pECCPubKeyBlob,
                                              const uint8_t *pbData, uint32_t ulDataLen,
                                              const ECCSIGNATUREBLOB *pSignature);
typedef uint32_t(KXF_CALL *PFN_SKF_GenerateAgreementDataWithECC)(HCONTAINER hContainer, uint32_t ulAlgId,
                                                                 ECCPUBLICKEYBLOB *pTempECCPubKeyBlob,
                                                                 const uint8_t *pbID, uint32_t ulIDLen,
                                                                 SKF_HANDLE *phAgreementHandle);
typedef uint32_t(KXF_CALL *PFN_SKF_GenerateAgreementDataAndKeyWithECC)(
    HCONTAINER hContainer, uint32_t ulAlgId, ECCPUBLICKEYBLOB *pSponsorECCPubKeyBlob,
    ECCPUBLICKEYBLOB *pSponsorTempECCPubKeyBlob, ECCPUBLICKEYBLOB *pTempECCPubKeyBlob, const uint8_t *pbID,
    uint32_t ulIDLen, const uint8_t *pbSponsorID, uint32_t ulSponsorIDLen, SKF_HANDLE *phKeyHandle);
typedef uint32_t(KXF_CALL *PFN_SKF_GenerateKeyWithECC)(SKF_HANDLE hAgreementHandle, ECCPUBLICKEYBLOB *pECCPubKeyBlob,
                                                       ECCPUBLICKEYBLOB *pTempECCPubKeyBlob, const uint8_t *pbID,
                                                       uint32_t ulIDLen, SKF_HANDLE *phKeyHandle);
typedef uint32_t(KXF_CALL *PFN_SKF_ECCExportSessionKey)(HCONTAINER hContainer, uint32_t ulAlgId,
                                                        const ECCPUBLICKEYBLOB *pPubKey, ECCCIPHERBLOB *pData,
                                                        SKF_HANDLE *phSessionKey);
typedef uint32_t(KXF_CALL *PFN_SKF_ExportPublicKey)(HCONTAINER hContainer, int32_t bSignFlag, uint8_t *pbBlob,
                                                    uint32_t *pulBlobLen);
typedef uint32_t(KXF_CALL *PFN_SKF_ImportSessionKey)(HCONTAINER hContainer, uint32_t ulAlgId,
                                                     const uint8_t *pbWrapedData, uint32_t ulWrapedLen,
                                                     SKF_HANDLE *phKey);
typedef uint32_t(KXF_CALL *PFN_SKF_EncryptInit)(SKF_HANDLE hKey, BLOCKCIPHERPARAM EncryptParam);
typedef uint32_t(KXF_CALL *PFN_SKF_Encrypt)(SKF_HANDLE hKey, const uint8_t *pbData, uint32_t ulDataLen,
                                            uint8_t *pbEncryptedData, uint32_t *pulEncryptedLen);
typedef uint32_t(KXF_CALL *PFN_SKF_EncryptUpdate)(SKF_HANDLE hKey, const uint8_t *pbData, uint32_t ulDataLen,
                                                  uint8_t *pbEncryptedData, uint32_t *pulEncryptedLen);
typedef uint32_t(KXF_CALL *PFN_SKF_EncryptFinal)(SKF_HANDLE hKey, uint8_t *pbEncryptedData,
                                                 uint32_t *pulEncryptedDataLen);
typedef uint32_t(KXF_CALL *PFN_SKF_DecryptInit)(SKF_HANDLE hKey, BLOCKCIPHERPARAM DecryptParam);
typedef uint32_t(KXF_CALL *PFN_SKF_Decrypt)(SKF_HANDLE hKey, const uint8_t *pbEncryptedData, uint32_t ulEncryptedLen,
                                            uint8_t *pbData, uint32_t *pulDataLen);
typedef uint32_t(KXF_CALL *PFN_SKF_DecryptUpdate)(SKF_HANDLE hKey, const uint8_t *pbEncryptedData,
                                                  uint32_t ulEncryptedLen, uint8_t *pbData, uint32_t *pulDataLen);
typedef uint32_t(KXF_CALL *PFN_SKF_DecryptFinal)(SKF_HANDLE hKey, uint8_t *pbDecryptedData,
                                                 uint32_t *pulDecryptedDataLen);
typedef uint32_t(KXF_CALL *PFN_SKF_DigestInit)(DEVHANDLE hDev, uint32_t ulAlgID, const ECCPUBLICKEYBLOB *pPubKey,
                                               const uint8_t *pucID, uint32_t ulIDLen, SKF_HANDLE *phHash);
typedef uint32_t(KXF_CALL *PFN_SKF_Digest)(SKF_HANDLE hHash, const uint8_t *pbData, uint32_t ulDataLen,
                                           uint8_t *pbHashData, uint32_t *pulHashLen);
typedef uint32_t(KXF_CALL *PFN_SKF_DigestUpdate)(SKF_HANDLE hHash, const uint8_t *pbData, uint32_t ulDataLen);
typedef uint32_t(KXF_CALL *PFN_SKF_DigestFinal)(SKF_HANDLE hHash, uint8_t *pHashData, uint32_t *pulHashLen);
typedef uint32_t(KXF_CALL *PFN_SKF_MacInit)(SKF_HANDLE hKey, BLOCKCIPHERPARAM *pMacParam, SKF_HANDLE *phMac);
typedef uint32_t(KXF_CALL *PFN_SKF_Mac)(SKF_HANDLE hMac, const uint8_t *pbData, uint32_t ulDataLen, uint8_t *pbMacData,
                                        uint32_t *pulMacLen);
typedef uint32_t(KXF_CALL *PFN_SKF_MacUpdate)(SKF_HANDLE hMac, const uint8_t *pbData, uint32_t ulDataLen);
typedef uint32_t(KXF_CALL *PFN_SKF_MacFinal)(SKF_HANDLE hMac, uint8_t *pbMacData, uint32_t *pulMacDataLen);
typedef uint32_t(KXF_CALL *PFN_SKF_CloseHandle)(SKF_HANDLE hHandle);
typedef uint32_t(KXF_CALL *PFN_SKF_SetSymmKey)(DEVHANDLE hDev, const uint8_t *pbKey, uint32_t ulAlgID,
                                               SKF_HANDLE *phKey);
typedef uint32_t(KXF_CALL *PFN_SKF_ECCPrvKeyDecryptEx)(HCONTAINER hContainer, uint32_t ulKeySpec,
                                                       const ECCCIPHERBLOB *pCipherText, uint8_t *pbPlainText,
                                                       uint32_t *pulPlainTextLen);
typedef uint32_t(KXF_CALL *PFN_SKF_ExtECCEncrypt)(DEVHANDLE hDev, const ECCPUBLICKEYBLOB *pECCPubKeyBlob,
                                                  const uint8_t *pbPlainText, uint32_t ulPlainTextLen,
                                                  ECCCIPHERBLOB *pCipherText);
typedef uint32_t(KXF_CALL *PFN_SKF_ReadUsrDataFile)(HAPPLICATION hApp, uint32_t area, uint32_t arg3, uint32_t offset,
                                                    uint32_t length, uint8_t *buffer);
/* Shared by SKF_ECCDecrypt, SKFEX_ECCDecrypt and SKF_PrvKeyDecrypt. */
typedef uint32_t(KXF_CALL *PFN_SKF_ECCDecrypt)(HCONTAINER hContainer, int32_t keySpec, const uint8_t *cipherBlob,
                                               uint8_t *plain, uint32_t *plainLen);
typedef PFN_SKF_ECCDecrypt PFN_SKFEX_ECCDecrypt;
typedef PFN_SKF_ECCDecrypt PFN_SKF_PrvKeyDecrypt;
typedef PFN_EPS_Unused PFN_EPS_Decrypt;
typedef PFN_EPS_Unused PFN_EPS_Encrypt;
typedef PFN_EPS_Unused PFN_EPS_Mac;

#ifdef __cplusplus
}
#endif

#endif
