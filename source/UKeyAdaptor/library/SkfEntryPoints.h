#pragma once

#include <QString>

#include "skf.h"

namespace ukey {

// The vendor entry points in resolution order; the flag says whether a library must export it.
#define UKEY_SKF_ENTRY_POINTS(X)                                                                                       \
    X(EPS_Decrypt, false)                                                                                              \
    X(EPS_Encrypt, false)                                                                                              \
    X(EPS_ImportSymmKey, false)                                                                                        \
    X(EPS_Mac, false)                                                                                                  \
    X(EPS_ReadESealData, false)                                                                                        \
    X(EPS_WriteESealData, false)                                                                                       \
    X(SKF_WaitForDevEvent, true)                                                                                       \
    X(SKF_EnumDev, true)                                                                                               \
    X(SKF_ConnectDev, true)                                                                                            \
    X(SKF_DisConnectDev, true)                                                                                         \
    X(SKF_GetDevState, true)                                                                                           \
    X(SKF_SetLabel, true)                                                                                              \
    X(SKF_GetDevInfo, true)                                                                                            \
    X(SKF_LockDev, true)                                                                                               \
    X(SKF_UnlockDev, true)                                                                                             \
    X(SKF_Transmit, false)                                                                                             \
    X(SKF_ChangeDevAuthKey, true)                                                                                      \
    X(SKF_DevAuth, true)                                                                                               \
    X(SKF_ChangePIN, true)                                                                                             \
    X(SKF_GetPINInfo, true)                                                                                            \
    X(SKF_VerifyPIN, true)                                                                                             \
    X(SKF_UnblockPIN, true)                                                                                            \
    X(SKF_GenRemoteUnblockRequest, false)                                                                              \
    X(SKF_RemoteUnblockPIN, false)                                                                                     \
    X(SKF_ClearSecureState, false)                                                                                     \
    X(SKF_CreateFile, true)                                                                                            \
    X(SKF_DeleteFile, true)                                                                                            \
    X(SKF_EnumFiles, true)                                                                                             \
    X(SKF_GetFileInfo, true)                                                                                           \
    X(SKF_ReadFile, true)                                                                                              \
    X(SKF_WriteFile, true)                                                                                             \
    X(SKF_CreateApplication, true)                                                                                     \
    X(SKF_EnumApplication, true)                                                                                       \
    X(SKF_DeleteApplication, true)                                                                                     \
    X(SKF_OpenApplication, true)                                                                                       \
    X(SKF_CloseApplication, true)                                                                                      \
    X(SKF_CreateContainer, true)                                                                                       \
    X(SKF_DeleteContainer, true)                                                                                       \
    X(SKF_EnumContainer, true)                                                                                         \
    X(SKF_OpenContainer, true)                                                                                         \
    X(SKF_CloseContainer, true)                                                                                        \
    X(SKF_GetContainerType, true)                                                                                      \
    X(SKF_ImportCertificate, true)                                                                                     \
    X(SKF_ExportCertificate, true)                                                                                     \
    X(SKF_GenRandom, true)                                                                                             \
    X(SKF_GenRSAKeyPair, true)                                                                                         \
    X(SKF_ImportRSAKeyPair, true)                                                                                      \
    X(SKF_RSASignData, true)                                                                                           \
    X(SKF_RSAVerify, true)                                                                                             \
    X(SKF_RSAExportSessionKey, true)                                                                                   \
    X(SKF_GenECCKeyPair, true)                                                                                         \
    X(SKF_ImportECCKeyPair, true)                                                                                      \
    X(SKF_ECCSignData, true)                                                                                           \
    X(SKF_ECCVerify, true)                                                                                             \
    X(SKF_GenerateAgreementDataWithECC, true)                                                                          \
    X(SKF_GenerateAgreementDataAndKeyWithECC, true)                                                                    \
    X(SKF_GenerateKeyWithECC, true)                                                                                    \
    X(SKF_ECCExportSessionKey, true)                                                                                   \
    X(SKF_ExportPublicKey, true)                                                                                       \
    X(SKF_ImportSessionKey, true)                                                                                      \
    X(SKF_EncryptInit, true)                                                                                           \
    X(SKF_Encrypt, true)                                                                                               \
    X(SKF_EncryptUpdate, true)                                                                                         \
    X(SKF_EncryptFinal, true)                                                                                          \
    X(SKF_DecryptInit, true)                                                                                           \
    X(SKF_Decrypt, true)                                                                                               \
    X(SKF_DecryptUpdate, true)                                                                                         \
    X(SKF_DecryptFinal, true)                                                                                          \
    X(SKF_DigestInit, true)                                                                                            \
    X(SKF_Digest, true)                                                                                                \
    X(SKF_DigestUpdate, true)                                                                                          \
    X(SKF_DigestFinal, true)                                                                                           \
    X(SKF_MacInit, false)                                                                                              \
    X(SKF_Mac, false)                                                                                                  \
    X(SKF_MacUpdate, false)                                                                                            \
    X(SKF_MacFinal, false)                                                                                             \
    X(SKF_CloseHandle, true)                                                                                           \
    X(SKF_SetSymmKey, true)                                                                                            \
    X(SKF_ECCPrvKeyDecryptEx, false)                                                                                   \
    X(SKF_ExtECCEncrypt, false)                                                                                        \
    X(SKF_ReadUsrDataFile, false)                                                                                      \
    X(SKF_ECCDecrypt, false)                                                                                           \
    X(SKFEX_ECCDecrypt, false)

struct SkfEntryPoints {
#define UKEY_SKF_FIELD(name, required) PFN_##name name = nullptr;
    UKEY_SKF_ENTRY_POINTS(UKEY_SKF_FIELD)
#undef UKEY_SKF_FIELD
};

// The process-wide table shared by every adaptor type and instance; inline, as every pass-through reads it.
extern SkfEntryPoints g_skf;
inline const SkfEntryPoints &skf()
{
    return g_skf;
}

constexpr int kSkfEntryPointCount = 83;

// Set by the last successful load, cleared by unload.
bool skfLibraryLoaded();

enum class LoadRetry { None, ByFileName };
// The one vendor-library loader: replaces the current vendor library by the one at path, fills
// the table and sets the loaded flag; 1 or 0. With LoadRetry::ByFileName a library that does not
// load from its path is tried again by its bare file name, so that the system loader searches
// its standard places.
uint32_t loadSkfLibrary(const char *libraryPath, LoadRetry retry);
// Releases a loaded vendor library with its table, and clears the flag.
void unloadSkfLibrary();

} // namespace ukey
