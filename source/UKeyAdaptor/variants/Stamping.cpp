#include "variants/Stamping.h"

#include <algorithm>

namespace ukey {

void stampTag(DEVINFO &info, const char *tag)
{
    if (tag)
        std::memcpy(info.Manufacturer, tag, std::min(std::strlen(tag) + 1, sizeof info.Manufacturer));
}

} // namespace ukey
