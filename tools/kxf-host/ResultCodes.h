// Result codes as a person reads them, from the project's one table of codes.
#pragma once

#include <cstdint>
#include <string>

namespace kxfhost {

// The code's name, or "unknown code" for a value outside the table.
const char *resultName(uint32_t code);

// "SAR_PIN_INCORRECT (0x0A000024): PIN incorrect"
std::string describeResult(uint32_t code);

} // namespace kxfhost
