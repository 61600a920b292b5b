#pragma once

#include "UKeyAdaptor.h"

// The adaptor operation behind each entry that takes a device handle. Inside a KXF_ENTRIES row
// macro, UKEY_OPERATION(F, prefix, name) becomes F(prefix, name, Operation), or nothing for the
// entries that work before a device is connected. An operation is named after the entry's
// KXF_Table member unless renamed below.
#define UKEY_OPERATION_GetLabelName ~, UKEY_OPERATION_DO_, GetKeyLabelName
#define UKEY_OPERATION_GetSerialNumber ~, UKEY_OPERATION_DO_, GetKeySerialNumber
#define UKEY_OPERATION_GetTotalSpace ~, UKEY_OPERATION_DO_, GetKeyTotalSpace
#define UKEY_OPERATION_GetFreeSpace ~, UKEY_OPERATION_DO_, GetKeyFreeSpace
#define UKEY_OPERATION_CreateFile ~, UKEY_OPERATION_DO_, CreateFileW
#define UKEY_OPERATION_DeleteFile ~, UKEY_OPERATION_DO_, DeleteFileW
#define UKEY_OPERATION_Init_SDK ~, UKEY_OPERATION_NONE_, ~
#define UKEY_OPERATION_Uinit_SDK ~, UKEY_OPERATION_NONE_, ~
#define UKEY_OPERATION_EnumDev ~, UKEY_OPERATION_NONE_, ~
#define UKEY_OPERATION_ConnectDev ~, UKEY_OPERATION_NONE_, ~
#define UKEY_OPERATION_GetSerialNumberByDevName ~, UKEY_OPERATION_NONE_, ~

// A renamed or skipped entry's macro above supplies its own action and name ahead of the default ones.
#define UKEY_OPERATION_DO_(F, prefix, name, operation) F(prefix, name, operation)
#define UKEY_OPERATION_NONE_(F, prefix, name, operation)
#define UKEY_OPERATION_PICK2_(F, prefix, name, probe, action, operation, ...) action(F, prefix, name, operation)
#define UKEY_OPERATION_PICK_(F, prefix, name, ...) UKEY_OPERATION_PICK2_(F, prefix, name, __VA_ARGS__)
#define UKEY_OPERATION(F, prefix, name)                                                                                \
    UKEY_OPERATION_PICK_(F, prefix, name, UKEY_OPERATION_##name, UKEY_OPERATION_DO_, KXF_MEMBER(prefix, name), ~)

namespace ukey {

// The operation's own type: the entry's type without the device handle.
template <typename Entry>
struct OperationType;
template <typename... Args>
struct OperationType<uint32_t(KXF_CALL *)(uint32_t, Args...)> {
    using type = uint32_t(Args...);
};
template <typename Entry>
using OperationOf = typename OperationType<Entry>::type;

} // namespace ukey
