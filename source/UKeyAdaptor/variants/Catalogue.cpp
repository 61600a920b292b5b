#include "variants/Catalogue.h"

#include <iterator>

#include "skf/UKeyAdaptorSKF.h"

namespace ukey::registry {

void registerBuiltInTypes()
{
    // Slot order is part of the registry's observable behaviour.
#define UKEY_VARIANT_TYPE_ADDRESS(name) &variants::name,
    const AdaptorTypeOps *const variantTypes[] = {UKEY_VARIANT_TYPES(UKEY_VARIANT_TYPE_ADDRESS)};
#undef UKEY_VARIANT_TYPE_ADDRESS
    Register(*variantTypes[0]);
    Register(UKeyAdaptorSKF::typeOps);
    for (size_t i = 1; i < std::size(variantTypes); ++i)
        Register(*variantTypes[i]);
}

} // namespace ukey::registry
