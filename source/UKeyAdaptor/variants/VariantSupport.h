#pragma once

#include <new>

#include "registry/AdaptorRegistry.h"
#include "skf/UKeyAdaptorSKF.h"

namespace ukey {

// The plain create shape: an object of T only for T's own type name.
template <class T>
UKeyAdaptorBase *createPlain(const char *typeName, const char *ownTypeName)
{
    if (!sameTypeName(typeName, ownTypeName))
        return nullptr;
    return new (std::nothrow) T;
}

} // namespace ukey

namespace ukey {

// For keys whose device name is their serial number: no vendor call at all.
uint32_t serialIsDeviceName(const char *function, const char *devName, char *serial, uint32_t *pulLen);

} // namespace ukey
