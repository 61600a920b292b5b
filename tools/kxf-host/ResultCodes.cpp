#include "ResultCodes.h"

#include <cstdio>

#include "kxf_result_codes.h"

namespace kxfhost {

const char *resultName(uint32_t code)
{
    const char *name = kxf_result_name(code);
    return name ? name : "unknown code";
}

std::string describeResult(uint32_t code)
{
    const char *meaning = kxf_result_meaning(code);
    char text[160];
    std::snprintf(text, sizeof text, "%s (0x%08X): %s", resultName(code), static_cast<unsigned>(code),
                  meaning ? meaning : "not a result code this tool knows");
    return text;
}

} // namespace kxfhost
