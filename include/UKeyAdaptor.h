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

#include <stddef.h>
#include <stdint.h>

#include "kxf_call.h"
#include "kxf_result_codes.h"
#include "skf.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes the adaptor produces itself (kxf_result_codes.h names them all); every other
 * code is the vendor's. */
#define SAR_OK 0x00000000u
#define SAR_FAIL 0x0A000001u
#define SAR_NOTSUPPORTYETERR 0x0A000003u
#define SAR_INVALIDHANDLEERR 0x0A000005u
#define SAR_INVALIDPARAMERR 0x0A000006u
#define KX_NOTEXPORTERR 0x0A00001Du
#define SAR_BUFFER_TOO_SMALL 0x0A000020u
#define SAR_PIN_INCORRECT 0x0A000024u
#define SAR_FILE_NOT_EXIST 0x0A000031u

/* Written by ImportSessionKeyWithKeyEx when the session key went to the host in plain. */
#define KXF_PSEUDO_KEY_HANDLE 0xFFFFFFFFu

#define KXF_TABLE_SIZE 65

typedef void(KXF_CALL *KXF_LogCallback)(int32_t level, const char *text);

typedef uint32_t(KXF_CALL *PFN_KXF_Load)(void ***table);
typedef uint32_t(KXF_CALL *PFN_KXF_Unload)(void);

/* The 65 entries in table order: X(prefix, name, index, (parameters)).
 * Entry prefix_name sits at table[prefix_IDX_name] and has the type PFN_prefix_name. */
/* clang-format off */
#define KXF_ENTRIES(X) \
    X(KXF, Init_SDK, 0, (const char *typeName, const char *libraryPath, KXF_LogCallback callback, uintptr_t reserved)) \
    X(KXF, Uinit_SDK, 1, (void))                                                                                       \
    X(KXF, EnumDev, 2, (char *nameList, uint32_t *pulSize))                                                            \
    X(KXF, IsConnectDev, 3, (uint32_t dev))                                                                            \
    X(KXF, ConnectDev, 4, (const char *devName, uint32_t *handleOut))                                                  \
    X(KXF, GetSerialNumberByDevName, 5, (const char *devName, char *serial, uint32_t *pulLen))                         \
    X(KXF, DisConnectDev, 6, (uint32_t dev))                                                                           \
    X(KXF, GetLabelName, 7, (uint32_t dev, char *label, uint32_t *pulLen))                                             \
    X(KXF, GetSerialNumber, 8, (uint32_t dev, char *serial, uint32_t *pulLen))                                         \
    X(KXF, GetTotalSpace, 9, (uint32_t dev, uint32_t *pulTotal))                                                       \
    X(KXF, GetFreeSpace, 10, (uint32_t dev, uint32_t *pulFree))                                                        \
    X(KXF, FormatKey, 11, (uint32_t dev, const char *newPin, const char *oldPin))                                      \
    X(KXF, InitialKey, 12, (uint32_t dev, const char *authKeyBase64, const char *adminPin, const char *userPin,        \
        const char *appName))                                                                                          \
    X(KXF, GetDevInfo, 13, (uint32_t dev, DEVINFO *info, uint32_t *pulLen))                                            \
    X(KXF, SetLabel, 14, (uint32_t dev, const char *label))                                                            \
    X(KXF, ChangePIN, 15, (uint32_t dev, uint32_t pinType, const char *oldPin, const char *newPin, uint32_t *retry))   \
    X(KXF, VerifyPIN, 16, (uint32_t dev, uint32_t pinType, const char *pin, uint32_t *retry))                          \
    X(KXF, GetPINInfo, 17, (uint32_t dev, uint32_t pinType, uint32_t *maxRetry, uint32_t *remainRetry,                 \
        int32_t *isDefault))                                                                                           \
    X(KXF, UnblockPIN, 18, (uint32_t dev, const char *adminPin, const char *newUserPin, uint32_t *retry))              \
    X(KXF, CreateFile, 19, (uint32_t dev, const char *name, uint32_t size, uint32_t readRights, uint32_t writeRights)) \
    X(KXF, DeleteFile, 20, (uint32_t dev, const char *name))                                                           \
    X(KXF, EnumFiles, 21, (uint32_t dev, char *list, uint32_t *pulSize))                                               \
    X(KXF, ReadFile, 22, (uint32_t dev, const char *name, uint32_t offset, uint32_t size, uint8_t *out,                \
        uint32_t *pulLen))                                                                                             \
    X(KXF, WriteFile, 23, (uint32_t dev, const char *name, uint32_t offset, const uint8_t *data, uint32_t len))        \
    X(KXF, IsFileExist, 24, (uint32_t dev, const char *name))                                                          \
    X(KXF, CreateContainer, 25, (uint32_t dev, const char *name, HCONTAINER *hContainer))                              \
    X(KXF, DeleteContainer, 26, (uint32_t dev, const char *name))                                                      \
    X(KXF, EnumContainer, 27, (uint32_t dev, char *list, uint32_t *pulSize))                                           \
    X(KXF, OpenContainer, 28, (uint32_t dev, const char *name, HCONTAINER *hContainer))                                \
    X(KXF, CloseContainer, 29, (uint32_t dev, HCONTAINER hContainer))                                                  \
    X(KXF, GetContainerType, 30, (uint32_t dev, HCONTAINER hContainer, uint32_t *type))                                \
    X(KXF, ImportCertificate, 31, (uint32_t dev, HCONTAINER hContainer, int32_t signFlag, const uint8_t *cert,         \
        uint32_t certLen))                                                                                             \
    X(KXF, ExportCertificate, 32, (uint32_t dev, HCONTAINER hContainer, int32_t signFlag, uint8_t *cert,               \
        uint32_t *certLen))                                                                                            \
    X(KXF, GenRSAKeyPair, 33, (uint32_t dev, HCONTAINER hContainer, uint32_t bits, RSAPUBLICKEYBLOB *blob,             \
        uint32_t *blobLen))                                                                                            \
    X(KXF, ImportRSAKeyPair, 34, (uint32_t dev, HCONTAINER hContainer, uint32_t symAlgId, const uint8_t *wrappedKey,   \
        uint32_t wrappedKeyLen, const uint8_t *encryptedData, uint32_t encryptedDataLen))                              \
    X(KXF, RSASignData, 35, (uint32_t dev, HCONTAINER hContainer, const uint8_t *data, uint32_t dataLen,               \
        uint8_t *signature, uint32_t *signLen))                                                                        \
    X(KXF, RSAVerify, 36, (uint32_t dev, const RSAPUBLICKEYBLOB *blob, uint32_t blobLen, const uint8_t *data,          \
        uint32_t dataLen, const uint8_t *signature, uint32_t signLen))                                                 \
    X(KXF, GenECCKeyPair, 37, (uint32_t dev, HCONTAINER hContainer, uint32_t algId, ECCPUBLICKEYBLOB *blob,            \
        uint32_t *blobLen))                                                                                            \
    X(KXF, ImportECCKeyPair, 38, (uint32_t dev, HCONTAINER hContainer, const ENVELOPEDKEYBLOB *blob,                   \
        uint32_t blobLen))                                                                                             \
    X(KXF, ECCSignData, 39, (uint32_t dev, HCONTAINER hContainer, const uint8_t *data, uint32_t dataLen,               \
        ECCSIGNATUREBLOB *signature, uint32_t *signLen))                                                               \
    X(KXF, ECCVerify, 40, (uint32_t dev, const ECCPUBLICKEYBLOB *pub, uint32_t pubLen, const uint8_t *data,            \
        uint32_t dataLen, const ECCSIGNATUREBLOB *signature, uint32_t signLen))                                        \
    X(KXF, ExportPublicKey, 41, (uint32_t dev, HCONTAINER hContainer, int32_t signFlag, uint8_t *blob,                 \
        uint32_t *blobLen))                                                                                            \
    X(KXF, ImportSessionKey, 42, (uint32_t dev, HCONTAINER hContainer, uint32_t algId, const uint8_t *wrapped,         \
        uint32_t wrappedLen, SKF_HANDLE *hKey))                                                                        \
    X(KXF, EncryptInit, 43, (uint32_t dev, SKF_HANDLE hKey, const BLOCKCIPHERPARAM *param, uint32_t paramLen))         \
    X(KXF, Encrypt, 44, (uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,           \
        uint32_t *outLen))                                                                                             \
    X(KXF, EncryptUpdate, 45, (uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,     \
        uint32_t *outLen))                                                                                             \
    X(KXF, EncryptFinal, 46, (uint32_t dev, SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen))                          \
    X(KXF, DecryptInit, 47, (uint32_t dev, SKF_HANDLE hKey, const BLOCKCIPHERPARAM *param, uint32_t paramLen))         \
    X(KXF, Decrypt, 48, (uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,           \
        uint32_t *outLen))                                                                                             \
    X(KXF, DecryptUpdate, 49, (uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,     \
        uint32_t *outLen))                                                                                             \
    X(KXF, DecryptFinal, 50, (uint32_t dev, SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen))                          \
    X(KXF, DigestInit, 51, (uint32_t dev, uint32_t algId, const ECCPUBLICKEYBLOB *pub, uint32_t pubLen,                \
        const uint8_t *id, uint32_t idLen, SKF_HANDLE *hHash))                                                         \
    X(KXF, Digest, 52, (uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,            \
        uint32_t *outLen))                                                                                             \
    X(KXF, DigestUpdate, 53, (uint32_t dev, SKF_HANDLE hHash, const uint8_t *data, uint32_t dataLen))                  \
    X(KXF, DigestFinal, 54, (uint32_t dev, SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen))                           \
    X(KXF, MacInit, 55, (uint32_t dev, SKF_HANDLE hKey, BLOCKCIPHERPARAM *param, uint32_t paramLen, SKF_HANDLE *hMac)) \
    X(KXF, Mac, 56, (uint32_t dev, SKF_HANDLE hKey, const uint8_t *data, uint32_t dataLen, uint8_t *out,               \
        uint32_t *outLen))                                                                                             \
    X(KXF, MacUpdate, 57, (uint32_t dev, SKF_HANDLE hHash, const uint8_t *data, uint32_t dataLen))                     \
    X(KXF, MacFinal, 58, (uint32_t dev, SKF_HANDLE hKey, uint8_t *out, uint32_t *outLen))                              \
    X(KXF, CloseHandle, 59, (uint32_t dev, SKF_HANDLE handle))                                                         \
    X(KXF, ECCExportSessionKey, 60, (uint32_t dev, HCONTAINER hContainer, uint32_t algId, const ECCPUBLICKEYBLOB *pub, \
        uint32_t pubLen, uint8_t *cipherBlob, uint32_t *cipherLen, SKF_HANDLE *hKey))                                  \
    X(KXEPS, ImportSymmKey, 61, (uint32_t dev, uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5))  \
    X(KXEPS, WriteESealData, 62, (uint32_t dev, uintptr_t a1, uintptr_t a2, uintptr_t a3))                             \
    X(KXEPS, ReadESealData, 63, (uint32_t dev, uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5))  \
    X(KXF, ImportSessionKeyWithKeyEx, 64, (uint32_t dev, HCONTAINER hContainer, uintptr_t arg2,                        \
        const uint8_t *wrapped, uint32_t wrappedLen, uint32_t *hKeyOut, uint8_t *plain, uint32_t *plainLen))
/* clang-format on */

#define KXF_ENTRY_INDEX_(prefix, name, index, params) prefix##_IDX_##name = index,
enum KXF_Index { KXF_ENTRIES(KXF_ENTRY_INDEX_) KXF_INDEX_END_ };
#undef KXF_ENTRY_INDEX_

#define KXF_ENTRY_TYPE_(prefix, name, index, params) typedef uint32_t(KXF_CALL *PFN_##prefix##_##name) params;
KXF_ENTRIES(KXF_ENTRY_TYPE_)
#undef KXF_ENTRY_TYPE_

/* A typed view of the table, so that a host calls entries without casts:
 *     void **t = NULL;
 *     KXF_Load(&t);
 *     const KXF_Table *kxf = KXF_TableOf(t);
 *     kxf->Init_SDK("ukeyskf", "libvendor.so", callback, 0);
 *     kxf->ConnectDev(name, &dev);
 * Members are named after the entry without its prefix; the KXEPS_ entries become EPS_ members. */
#define KXF_MEMBER_PREFIX_KXF
#define KXF_MEMBER_PREFIX_KXEPS EPS_
#define KXF_PASTE_(a, b) a##b
#define KXF_MEMBER_(a, b) KXF_PASTE_(a, b)
#define KXF_MEMBER(prefix, name) KXF_MEMBER_(KXF_MEMBER_PREFIX_##prefix, name)

#define KXF_TABLE_MEMBER_(prefix, name, index, params) PFN_##prefix##_##name KXF_MEMBER(prefix, name);
typedef struct KXF_Table {
    KXF_ENTRIES(KXF_TABLE_MEMBER_)
} KXF_Table;
#undef KXF_TABLE_MEMBER_

/* Each member lies exactly over its slot of the void * table. */
#if defined(__cplusplus)
#define KXF_STATIC_CHECK_(cond, tag) static_assert(cond, #tag)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define KXF_STATIC_CHECK_(cond, tag) _Static_assert(cond, #tag)
#else
#define KXF_STATIC_CHECK_(cond, tag) typedef char KXF_check_##tag[(cond) ? 1 : -1]
#endif
#define KXF_TABLE_OFFSET_(prefix, name, index, params)                                                                 \
    KXF_STATIC_CHECK_(offsetof(KXF_Table, KXF_MEMBER(prefix, name)) == (index) * sizeof(void *), prefix##_##name);
KXF_ENTRIES(KXF_TABLE_OFFSET_)
KXF_STATIC_CHECK_(sizeof(KXF_Table) == KXF_TABLE_SIZE * sizeof(void *), KXF_Table_size);
KXF_STATIC_CHECK_(KXF_INDEX_END_ == KXF_TABLE_SIZE, KXF_Table_count);
#undef KXF_TABLE_OFFSET_
#undef KXF_STATIC_CHECK_

static inline const KXF_Table *KXF_TableOf(void **table)
{
    return (const KXF_Table *)(const void *)table;
}

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
