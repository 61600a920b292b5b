#pragma once

namespace ukey::rtc {

// The type name given to the latest successful-or-not KXF_Init_SDK; empty before the first.
const char *currentTypeName();

} // namespace ukey::rtc
