#include "Config.h"

#include <dlfcn.h>
#include <climits>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace ukeyp11 {

namespace {

bool readable(const std::string &path)
{
    return ::access(path.c_str(), R_OK) == 0;
}

// Build tree: the token lies beside the module; installed: LIBDIR/ukeyadaptor/ beside LIBDIR/pkcs11/.
std::string bundledToken()
{
    const std::string dir = moduleDirectory();
    for (const char *rel : {"/libskfsoft.so", "/../ukeyadaptor/libskfsoft.so"})
        if (readable(dir + rel))
            return dir + rel;
    return dir + "/../ukeyadaptor/libskfsoft.so";
}

} // namespace

std::string moduleDirectory()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&moduleDirectory), &info) || !info.dli_fname)
        return ".";
    char *resolved = realpath(info.dli_fname, nullptr);
    const std::string path = resolved ? resolved : info.dli_fname;
    std::free(resolved);
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::vector<KeyEntry> parseConfig(const std::string &text, const std::string &origin)
{
    std::vector<KeyEntry> entries;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const auto hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        KeyEntry e;
        std::string extra;
        if (!(words >> e.typeName))
            continue;
        if (!(words >> e.libraryPath) || ((words >> e.application) && (words >> extra))) {
            std::fprintf(stderr, "ukeyadaptor-pkcs11: %s:%d: expected <type> <library> [application]\n", origin.c_str(),
                         number);
            continue;
        }
        entries.push_back(e);
    }
    return entries;
}

std::vector<KeyEntry> loadConfig()
{
    const char *env = std::getenv("UKEYADAPTOR_PKCS11_CONF");
    const std::string path = env && *env ? env : UKEYP11_DEFAULT_CONF;
    std::ifstream file(path);
    if (file) {
        std::stringstream text;
        text << file.rdbuf();
        std::vector<KeyEntry> entries = parseConfig(text.str(), path);
        if (!entries.empty())
            return entries;
    } else if (env && *env) {
        std::fprintf(stderr, "ukeyadaptor-pkcs11: cannot read %s; offering the bundled token\n", path.c_str());
    }
    // The installed file names no key until someone adds one.
    return {KeyEntry{"ukeyskf", bundledToken(), "SOFTAPP"}};
}

} // namespace ukeyp11
