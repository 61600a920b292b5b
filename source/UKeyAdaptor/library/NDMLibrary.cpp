#include "library/NDMLibrary.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace ukey {
namespace {
NDMLibrary *g_current = nullptr;
}

NDMLibrary *currentVendorLibrary()
{
    return g_current;
}
void setCurrentVendorLibrary(NDMLibrary *library)
{
    g_current = library;
}

NDMLibrary::NDMLibrary(const QString &fileName) : QLibrary(fileName, nullptr)
{
    setFileName(fileName);
}

NDMLibrary::~NDMLibrary()
{
#ifdef _WIN32
    if (module) {
        FreeLibrary(static_cast<HMODULE>(module));
        module = nullptr;
    }
#endif
    QLibrary::unload();
}

void NDMLibrary::setFileName(const QString &fileName)
{
    std::printf("LoadLibraryEx begin setFileName = %s\n", fileName.toUtf8().constData());
    QLibrary::setFileName(fileName);
}

bool NDMLibrary::load()
{
#ifdef _WIN32
    QString name = fileName();
    name.replace(QLatin1String("/"), QLatin1String("\\"));
    module = LoadLibraryExW(reinterpret_cast<LPCWSTR>(name.utf16()), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) {
        std::printf("LoadLibraryEx begin strFilePath = %s\n", name.toUtf8().constData());
        name += QLatin1String(".dll");
        module = LoadLibraryExW(reinterpret_cast<LPCWSTR>(name.utf16()), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    if (module)
        return true;
#endif
    return QLibrary::load();
}

QFunctionPointer NDMLibrary::resolve(const char *name)
{
#ifdef _WIN32
    if (module) {
        auto fn = reinterpret_cast<QFunctionPointer>(GetProcAddress(static_cast<HMODULE>(module), name));
        if (!fn)
            std::fprintf(stderr, "lasterror = %lu", static_cast<unsigned long>(GetLastError()));
        return fn;
    }
#endif
    return QLibrary::resolve(name);
}

} // namespace ukey
