#include "Platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kxfhost {

SharedLibrary::~SharedLibrary()
{
    close();
}

#ifdef _WIN32

bool SharedLibrary::open(const std::string &path, std::string &error)
{
    close();
    handle_ = LoadLibraryA(path.c_str());
    if (!handle_)
        error = "LoadLibrary failed, error " + std::to_string(GetLastError());
    return handle_ != nullptr;
}

void *SharedLibrary::symbol(const char *name) const
{
    return handle_ ? reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
}

void SharedLibrary::close()
{
    if (handle_)
        FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

std::string executableDir(const char *argv0)
{
    char buffer[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path = n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string(argv0 ? argv0 : "");
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

std::string defaultAdaptorPath(const std::string &exeDir)
{
    return exeDir + "\\UKeyAdaptor.dll";
}

std::string defaultVendorPath(const std::string &exeDir)
{
    return exeDir + "\\skfsoft.dll";
}

bool fileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

#else

bool SharedLibrary::open(const std::string &path, std::string &error)
{
    close();
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char *why = dlerror();
        error = why ? why : "dlopen failed";
    }
    return handle_ != nullptr;
}

void *SharedLibrary::symbol(const char *name) const
{
    return handle_ ? dlsym(handle_, name) : nullptr;
}

void SharedLibrary::close()
{
    if (handle_)
        dlclose(handle_);
    handle_ = nullptr;
}

std::string executableDir(const char *argv0)
{
    std::string path;
    char buffer[PATH_MAX + 1] = {};
    const ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n > 0)
        path.assign(buffer, static_cast<size_t>(n));
    else if (argv0)
        path = argv0;
    const auto cut = path.find_last_of('/');
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

// Installed: bin/ beside <libdir>/ (the adaptor by its soname, the token among the plug-ins);
// in the build tree: build/bin/ beside build/lib/. The first that exists wins.
#ifndef KXF_HOST_LIBDIR
#define KXF_HOST_LIBDIR "../lib"
#endif
#ifndef KXF_HOST_ADAPTOR_FILE
#define KXF_HOST_ADAPTOR_FILE "libUKeyAdaptor.so.1"
#endif

static std::string firstExisting(const std::string &installed, const std::string &buildTree)
{
    return fileExists(installed) || !fileExists(buildTree) ? installed : buildTree;
}

std::string defaultAdaptorPath(const std::string &exeDir)
{
    return firstExisting(exeDir + "/" KXF_HOST_LIBDIR "/" KXF_HOST_ADAPTOR_FILE, exeDir + "/../lib/libUKeyAdaptor.so");
}

std::string defaultVendorPath(const std::string &exeDir)
{
    return firstExisting(exeDir + "/" KXF_HOST_LIBDIR "/ukeyadaptor/libskfsoft.so", exeDir + "/../lib/libskfsoft.so");
}

bool fileExists(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

#endif

} // namespace kxfhost
