#include "ResultCodes.h"

#include <cstdio>
#include <iterator>

#if __has_include("kxf_result_codes.h")
#include "kxf_result_codes.h"
#define KXF_HOST_HAVE_CODE_TABLE 1
#endif

namespace kxfhost {

#ifndef KXF_HOST_HAVE_CODE_TABLE
namespace {

struct CodeName {
    uint32_t code;
    const char *name;
};

// GM/T 0016 numbering; 0x0A00001D is reported by the adaptor for a missing vendor function.
constexpr CodeName kNames[] = {
    {0x00000000u, "SAR_OK"},
    {0x0A000001u, "SAR_FAIL"},
    {0x0A000002u, "SAR_UNKNOWNERR"},
    {0x0A000003u, "SAR_NOTSUPPORTYETERR"},
    {0x0A000004u, "SAR_FILEERR"},
    {0x0A000005u, "SAR_INVALIDHANDLEERR"},
    {0x0A000006u, "SAR_INVALIDPARAMERR"},
    {0x0A000007u, "SAR_READFILEERR"},
    {0x0A000008u, "SAR_WRITEFILEERR"},
    {0x0A000009u, "SAR_NAMELENERR"},
    {0x0A00000Au, "SAR_KEYUSAGEERR"},
    {0x0A00000Bu, "SAR_MODULUSLENERR"},
    {0x0A00000Cu, "SAR_NOTINITIALIZEERR"},
    {0x0A00000Du, "SAR_OBJERR"},
    {0x0A00000Eu, "SAR_MEMORYERR"},
    {0x0A00000Fu, "SAR_TIMEOUTERR"},
    {0x0A000010u, "SAR_INDATALENERR"},
    {0x0A000011u, "SAR_INDATAERR"},
    {0x0A000012u, "SAR_GENRANDERR"},
    {0x0A000013u, "SAR_HASHOBJERR"},
    {0x0A000014u, "SAR_HASHERR"},
    {0x0A000015u, "SAR_GENRSAKEYERR"},
    {0x0A000016u, "SAR_RSAMODULUSLENERR"},
    {0x0A000017u, "SAR_CSPIMPRTPUBKEYERR"},
    {0x0A000018u, "SAR_RSAENCERR"},
    {0x0A000019u, "SAR_RSADECERR"},
    {0x0A00001Au, "SAR_HASHNOTEQUALERR"},
    {0x0A00001Bu, "SAR_KEYNOTFOUNTERR"},
    {0x0A00001Cu, "SAR_CERTNOTFOUNTERR"},
    {0x0A00001Du, "KX_NOTEXPORTERR"},
    {0x0A00001Eu, "SAR_DECRYPTPADERR"},
    {0x0A00001Fu, "SAR_MACLENERR"},
    {0x0A000020u, "SAR_BUFFER_TOO_SMALL"},
    {0x0A000021u, "SAR_KEYINFOTYPEERR"},
    {0x0A000022u, "SAR_NOT_EVENTERR"},
    {0x0A000023u, "SAR_DEVICE_REMOVED"},
    {0x0A000024u, "SAR_PIN_INCORRECT"},
    {0x0A000025u, "SAR_PIN_LOCKED"},
    {0x0A000026u, "SAR_PIN_INVALID"},
    {0x0A000027u, "SAR_PIN_LEN_RANGE"},
    {0x0A000028u, "SAR_USER_ALREADY_LOGGED_IN"},
    {0x0A000029u, "SAR_USER_PIN_NOT_INITIALIZED"},
    {0x0A00002Au, "SAR_USER_TYPE_INVALID"},
    {0x0A00002Bu, "SAR_APPLICATION_NAME_INVALID"},
    {0x0A00002Cu, "SAR_APPLICATION_EXISTS"},
    {0x0A00002Du, "SAR_USER_NOT_LOGGED_IN"},
    {0x0A00002Eu, "SAR_APPLICATION_NOT_EXISTS"},
    {0x0A00002Fu, "SAR_FILE_ALREADY_EXIST"},
    {0x0A000030u, "SAR_NO_ROOM"},
    {0x0A000031u, "SAR_FILE_NOT_EXIST"},
    {0x0A000032u, "SAR_REACH_MAX_CONTAINER_COUNT"},
};

} // namespace
#endif

#ifdef KXF_HOST_HAVE_CODE_TABLE
const char *resultName(uint32_t code)
{
    const char *name = kxf_result_name(code);
    return name ? name : "unknown code";
}

static const char *resultMeaning(uint32_t code)
{
    const char *meaning = kxf_result_meaning(code);
    return meaning ? meaning : "not a result code this tool knows";
}
#else
const char *resultName(uint32_t code)
{
    for (const auto &entry : kNames)
        if (entry.code == code)
            return entry.name;
    return "unknown code";
}

static const char *resultMeaning(uint32_t)
{
    return "";
}
#endif

std::string describeResult(uint32_t code)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s (0x%08X): %s", resultName(code), static_cast<unsigned>(code),
                  resultMeaning(code));
    return text;
}

} // namespace kxfhost
