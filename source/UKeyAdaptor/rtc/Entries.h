#pragma once

#include "UKeyAdaptor.h"

// The 65 entries of the function table, reachable by the host only through the table.
namespace ukey::rtc {

#define UKEY_ENTRY_LIST(X)                                                                                             \
    X(KXF_Init_SDK)                                                                                                    \
    X(KXF_Uinit_SDK) X(KXF_EnumDev) X(KXF_IsConnectDev) X(KXF_ConnectDev) X(KXF_GetSerialNumberByDevName)              \
        X(KXF_DisConnectDev) X(KXF_GetLabelName) X(KXF_GetSerialNumber) X(KXF_GetTotalSpace) X(KXF_GetFreeSpace)       \
            X(KXF_FormatKey) X(KXF_InitialKey) X(KXF_GetDevInfo) X(KXF_SetLabel) X(KXF_ChangePIN) X(KXF_VerifyPIN)     \
                X(KXF_GetPINInfo) X(KXF_UnblockPIN) X(KXF_CreateFile) X(KXF_DeleteFile) X(KXF_EnumFiles)               \
                    X(KXF_ReadFile) X(KXF_WriteFile) X(KXF_IsFileExist) X(KXF_CreateContainer) X(KXF_DeleteContainer)  \
                        X(KXF_EnumContainer) X(KXF_OpenContainer) X(KXF_CloseContainer) X(KXF_GetContainerType)        \
                            X(KXF_ImportCertificate) X(KXF_ExportCertificate) X(KXF_GenRSAKeyPair)                     \
                                X(KXF_ImportRSAKeyPair) X(KXF_RSASignData) X(KXF_RSAVerify) X(KXF_GenECCKeyPair)       \
                                    X(KXF_ImportECCKeyPair) X(KXF_ECCSignData) X(KXF_ECCVerify) X(KXF_ExportPublicKey) \
                                        X(KXF_ImportSessionKey) X(KXF_EncryptInit) X(KXF_Encrypt) X(KXF_EncryptUpdate) \
                                            X(KXF_EncryptFinal) X(KXF_DecryptInit) X(KXF_Decrypt) X(KXF_DecryptUpdate) \
                                                X(KXF_DecryptFinal) X(KXF_DigestInit) X(KXF_Digest)                    \
                                                    X(KXF_DigestUpdate) X(KXF_DigestFinal) X(KXF_MacInit) X(KXF_Mac)   \
                                                        X(KXF_MacUpdate) X(KXF_MacFinal) X(KXF_CloseHandle)            \
                                                            X(KXF_ECCExportSessionKey) X(KXEPS_ImportSymmKey)          \
                                                                X(KXEPS_WriteESealData) X(KXEPS_ReadESealData)         \
                                                                    X(KXF_ImportSessionKeyWithKeyEx)

#define UKEY_DECLARE_ENTRY(name) extern const PFN_##name name;
UKEY_ENTRY_LIST(UKEY_DECLARE_ENTRY)
#undef UKEY_DECLARE_ENTRY

} // namespace ukey::rtc
