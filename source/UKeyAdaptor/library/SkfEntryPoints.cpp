#include "library/SkfEntryPoints.h"

#include "UKeyAdaptor.h"
#include "library/NDMLibrary.h"

#include <new>

namespace ukey {

SkfEntryPoints g_skf;

namespace {

bool g_loaded = false;

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

} // namespace

bool skfLibraryLoaded()
{
    return g_loaded;
}

uint32_t loadSkfLibrary(const char *libraryPath, LoadRetry retry)
{
    QString path = QString::fromLocal8Bit(libraryPath ? libraryPath : "");
    uint32_t loaded = resolveAll(path);
    if (!loaded && retry == LoadRetry::ByFileName) {
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        loaded = resolveAll(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    }
    g_loaded = loaded == 1;
    return loaded;
}

void unloadSkfLibrary()
{
    if (g_loaded) {
        g_skf = SkfEntryPoints{};
        delete currentVendorLibrary();
        setCurrentVendorLibrary(nullptr);
    }
    g_loaded = false;
}

} // namespace ukey
