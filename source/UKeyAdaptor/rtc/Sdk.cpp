#include "rtc/Sdk.h"

#include <cstring>

#include "registry/AdaptorRegistry.h"
#include "registry/UKeyAdaptorBase.h"
#include "rtc/Entries.h"
#include "trace/TraceSite.h"

namespace ukey::rtc {
namespace {

constexpr size_t kTypeNameCapacity = 512;
char g_typeName[kTypeNameCapacity] = {};

} // namespace

uint32_t KXF_CALL KXF_Init_SDK(const char *typeName, const char *libraryPath, KXF_LogCallback callback,
                               uintptr_t /*reserved*/)
{
    // A name that does not fit the buffer is refused before anything changes.
    if (!typeName || std::memchr(typeName, 0, kTypeNameCapacity) == nullptr)
        return SAR_INVALIDPARAMERR;
    std::strcpy(g_typeName, typeName);
    trace::g_callback = callback;
    beginVendorLoad();

    const auto site = UKEY_ENTRY_SITE("KXF_Init_SDK");
    site("start");
    site("LoadSKFDll");
    const uint32_t loaded = registry::loadLibrary(g_typeName, libraryPath);
    site("LoadSKFDll end");
    site("end");
    return loaded == 1 ? SAR_OK : SAR_FAIL;
}

uint32_t KXF_CALL KXF_Uinit_SDK()
{
    const auto site = UKEY_ENTRY_SITE("KXF_Uinit_SDK");
    site("start");
    beginVendorLoad();
    registry::unloadLibrary(g_typeName);
    registry::Clear();
    site("end");
    return SAR_OK;
}

const char *currentTypeName()
{
    return g_typeName;
}

} // namespace ukey::rtc
