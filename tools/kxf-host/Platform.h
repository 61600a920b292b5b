// The host's only platform code: loading a library by path and finding our own folder.
#pragma once

#include <string>

namespace kxfhost {

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary &) = delete;
    SharedLibrary &operator=(const SharedLibrary &) = delete;

    // False with the loader's reason in error.
    bool open(const std::string &path, std::string &error);
    void *symbol(const char *name) const;
    void close();

private:
    void *handle_ = nullptr;
};

// Folder of the running executable, without a trailing separator; empty if unknown.
std::string executableDir(const char *argv0);

bool fileExists(const std::string &path);

// Default file names of the adaptor and of the bundled software token beside the executable.
std::string defaultAdaptorPath(const std::string &exeDir);
std::string defaultVendorPath(const std::string &exeDir);

} // namespace kxfhost
