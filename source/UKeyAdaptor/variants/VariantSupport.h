#pragma once

// What every variant class is built from. A variant is one line of the catalogue:
//
//   inline constexpr VariantId kNetcaId{"UKeyAdaptorSKF_NETCA", "skf_netca", "netca", SerialOp::TracedAsOwn};
//   class UKeyAdaptorSKF_NETCA final : public Variant<kNetcaId, Stamped, ReadsWithTrace> {};
//   const AdaptorTypeOps variants::kNetca = typeOps<UKeyAdaptorSKF_NETCA>();
//
// A class with its own load, unload or create operation names it in a static `load`, `unload`
// or `create` member; otherwise the generic load and unload, and an object of the class for
// its own type name, are registered.
//
// Each shape (Stamping.h, FileReading.h, SealRecords.h, SessionKeys.h) is a mixin that replaces
// the slots it names and traces under "<className>::<operation>"; none adds a virtual operation.

#include <cstdint>
#include <new>
#include <type_traits>

#include "registry/AdaptorRegistry.h"
#include "skf/Guard.h"
#include "skf/UKeyAdaptorSKF.h"

namespace ukey {

// Which serial-by-device-name operation a type registers: the generic one, the generic steps
// traced under the class's name, the device name itself, or the class's own static operation.
enum class SerialOp { Generic, TracedAsOwn, DeviceName, Own };

// Who a variant is: the class name its traces carry, its registered type name, its manufacturer
// tag (stamped with its NUL) or null for the classes without one, and its serial operation.
struct VariantId {
    const char *className;
    const char *typeName;
    const char *tag;
    SerialOp serial;
};

// The operations a shape traces under "<className>::<operation>".
namespace opname {
inline constexpr char ConnectDev[] = "ConnectDev";
inline constexpr char EnumFiles[] = "EnumFiles";
inline constexpr char GetDevInfo[] = "GetDevInfo";
inline constexpr char GetKeyFreeSpace[] = "GetKeyFreeSpace";
inline constexpr char GetKeyLabelName[] = "GetKeyLabelName";
inline constexpr char GetKeyTotalSpace[] = "GetKeyTotalSpace";
inline constexpr char GetSerialNumberByDevName[] = "GetSerialNumberByDevName";
inline constexpr char ImportSessionKeyWithKeyEx[] = "ImportSessionKeyWithKeyEx";
inline constexpr char ReadFile[] = "ReadFile";
} // namespace opname

// A shape's trace site, its name joined at compile time.
template <const VariantId &Id, const char *Operation>
constexpr TraceSite shapeSite(int line)
{
    return TraceSite{QualifiedName<Id, Operation>::origin, line};
}

// For keys whose device name is their serial number: no vendor call at all.
uint32_t serialIsDeviceName(const TraceSite &caller, const char *devName, char *serial, uint32_t *pulLen);

// The bottom of every variant: its identity and the serial operations traced under its name.
template <const VariantId &Id>
class VariantRoot : public UKeyAdaptorSKF {
public:
    static constexpr const VariantId &id = Id;
    static constexpr LoadLibraryOp load = &UKeyAdaptorSKF::LoadSKFDll;
    static constexpr UnloadLibraryOp unload = &UKeyAdaptorSKF::UnloadSKFDll;

    static uint32_t serialTracedAsOwn(const char *, const char *devName, char *serial, uint32_t *pulLen)
    {
        const auto site = shapeSite<Id, opname::GetSerialNumberByDevName>(__LINE__);
        return serialFromTemporaryConnection(site, devName, serial, pulLen);
    }
    static uint32_t serialIsName(const char *, const char *devName, char *serial, uint32_t *pulLen)
    {
        const auto site = shapeSite<Id, opname::GetSerialNumberByDevName>(__LINE__);
        return serialIsDeviceName(site, devName, serial, pulLen);
    }
};

// Variant<Id, A, B> is A<Id, B<Id, VariantRoot<Id>>>: the shapes stacked on the root.
template <const VariantId &Id, template <const VariantId &, class> class... Shapes>
struct ShapeStack {
    using type = VariantRoot<Id>;
};
template <const VariantId &Id, template <const VariantId &, class> class First,
          template <const VariantId &, class> class... Rest>
struct ShapeStack<Id, First, Rest...> {
    using type = First<Id, typename ShapeStack<Id, Rest...>::type>;
};
template <const VariantId &Id, template <const VariantId &, class> class... Shapes>
using Variant = typename ShapeStack<Id, Shapes...>::type;

// The plain create shape: an object of T only for T's own type name.
template <class T>
UKeyAdaptorBase *createPlain(const char *typeName, const char *ownTypeName)
{
    if (!sameTypeName(typeName, ownTypeName))
        return nullptr;
    return new (std::nothrow) T;
}

template <class T>
UKeyAdaptorBase *createOwnType(const char *typeName, const char *)
{
    return createPlain<T>(typeName, T::id.typeName);
}

template <class T>
constexpr SerialByDevNameOp serialOp()
{
    switch (T::id.serial) {
    case SerialOp::TracedAsOwn:
        return &T::serialTracedAsOwn;
    case SerialOp::DeviceName:
        return &T::serialIsName;
    case SerialOp::Own:
        return &T::GetSerialNumberByDevName;
    default:
        return &UKeyAdaptorSKF::GetSerialNumberByDevName;
    }
}

// A class's own `create`, else an object of the class for its own type name.
template <class T, class = void>
struct CreateOp {
    static constexpr CreateInstanceOp value = &createOwnType<T>;
};
template <class T>
struct CreateOp<T, std::void_t<decltype(T::create)>> {
    static constexpr CreateInstanceOp value = T::create;
};

// A variant's registration record, all of it from the class and its row; constant, so the
// catalogue can read it during static start-up.
template <class T>
constexpr AdaptorTypeOps typeOps()
{
    return {T::id.typeName, T::load, T::unload, &UKeyAdaptorSKF::EnumDev, CreateOp<T>::value, serialOp<T>()};
}

// The pause a variant takes between disconnecting and reconnecting a key. Tests replace it.
using WaitFunction = void (*)(uint32_t milliseconds);
extern WaitFunction g_wait;

// The pseudo key handle as the session-key handle the host hands back.
inline SKF_HANDLE pseudoKeyHandle()
{
    return reinterpret_cast<SKF_HANDLE>(static_cast<uintptr_t>(KXF_PSEUDO_KEY_HANDLE));
}

} // namespace ukey
