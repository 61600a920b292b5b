#pragma once

#include <cstdint>

namespace ukey {

class UKeyAdaptorBase;

using LoadLibraryOp = uint32_t (*)(const char *typeName, const char *libraryPath);
using UnloadLibraryOp = uint32_t (*)(const char *typeName);
using EnumDevOp = uint32_t (*)(char *nameList, uint32_t *pulSize);
using CreateInstanceOp = UKeyAdaptorBase *(*)(const char *typeName, const char *devName);
using SerialByDevNameOp = uint32_t (*)(const char *typeName, const char *devName, char *serial, uint32_t *pulLen);

// What a type registers: its name and its five pre-connection operations.
struct AdaptorTypeOps {
    const char *name;
    LoadLibraryOp load;
    UnloadLibraryOp unload;
    EnumDevOp enumDev;
    CreateInstanceOp create;
    SerialByDevNameOp serial;
};

struct AdaptorTypeDescriptor {
    char name[32];
    LoadLibraryOp load;
    UnloadLibraryOp unload;
    EnumDevOp enumDev;
    CreateInstanceOp create;
    SerialByDevNameOp serial;
};

namespace registry {

constexpr int kSlotCount = 256;

void Register(const AdaptorTypeOps &ops);
void Clear();
const AdaptorTypeDescriptor *Find(const char *typeName);

// Inspection for tests.
const AdaptorTypeDescriptor *slot(int index);
const AdaptorTypeDescriptor *cached();
int registrationCount();

uint32_t loadLibrary(const char *typeName, const char *libraryPath);
uint32_t unloadLibrary(const char *typeName);
uint32_t enumDevices(const char *typeName, char *nameList, uint32_t *pulSize);
UKeyAdaptorBase *createInstance(const char *typeName, const char *devName);
uint32_t serialByDevName(const char *typeName, const char *devName, char *serial, uint32_t *pulLen);

// The registry's built-in types, registered in slot order at library start.
void registerBuiltInTypes();

} // namespace registry

// Exact, case-sensitive comparison of type names; null matches nothing.
bool sameTypeName(const char *a, const char *b);

} // namespace ukey
