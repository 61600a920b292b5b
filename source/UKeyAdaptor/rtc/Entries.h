#pragma once

#include "UKeyAdaptor.h"

// The 65 entries of the function table, reachable by the host only through the table.
namespace ukey::rtc {

#define UKEY_DECLARE_ENTRY(prefix, name, index, params) uint32_t KXF_CALL prefix##_##name params;
KXF_ENTRIES(UKEY_DECLARE_ENTRY)
#undef UKEY_DECLARE_ENTRY

} // namespace ukey::rtc
