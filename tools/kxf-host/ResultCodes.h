// Names of the GM/T 0016 result codes, for messages a person reads.
#pragma once

#include <cstdint>
#include <string>

namespace kxfhost {

// The code's name, or "unknown code" for a value outside the table.
const char *resultName(uint32_t code);

// "0x0A000024 SAR_PIN_INCORRECT"
std::string describeResult(uint32_t code);

} // namespace kxfhost
