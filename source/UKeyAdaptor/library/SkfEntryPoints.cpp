#include "library/SkfEntryPoints.h"

#include "UKeyAdaptor.h"
#include "library/NDMLibrary.h"

#include <new>

namespace ukey {
namespace {

SkfEntryPoints g_skf;
bool g_loaded = false;

} // namespace

const SkfEntryPoints &skf()
{
    return g_skf;
}

bool skfLibraryLoaded()
{
    return g_loaded;
}
void setSkfLibraryLoaded(bool loaded)
{
    g_loaded = loaded;
}

uint32_t resolveAll(const QString &path)
{
    // Nothing may keep pointing into a library that is replaced or fails to load.
    g_skf = SkfEntryPoints{};
    delete currentVendorLibrary();
    auto *library = new (std::nothrow) NDMLibrary(path);
    setCurrentVendorLibrary(library);
    if (!library || !library->load())
        return 0;

#define UKEY_SKF_RESOLVE(name, required)                                                                               \
    g_skf.name = reinterpret_cast<PFN_##name>(library->resolve(#name));                                                \
    if ((required) && !g_skf.name)                                                                                     \
        return 0;
    UKEY_SKF_ENTRY_POINTS(UKEY_SKF_RESOLVE)
#undef UKEY_SKF_RESOLVE
    return 1;
}

void releaseSkfLibrary()
{
    g_skf = SkfEntryPoints{};
    delete currentVendorLibrary();
    setCurrentVendorLibrary(nullptr);
}

} // namespace ukey
