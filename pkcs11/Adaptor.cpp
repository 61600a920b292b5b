#include "Adaptor.h"

#include "StdoutAside.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <cstring>
#include <map>

namespace ukeyp11 {

namespace {

// A private copy of the file, mapped and then removed: a second mapping of the same path would be
// the same library with the same process-wide state.
void *loadCopy(const std::string &path)
{
    const char *tmp = std::getenv("TMPDIR");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/ukeyadaptor-XXXXXX";
    const int out = mkstemp(&name[0]);
    if (out < 0)
        return nullptr;
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const bool written = !bytes.empty() && write(out, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    close(out);
    void *lib = written ? dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
    unlink(name.c_str());
    return lib;
}

// Build tree: the adaptor lies beside the module; installed: LIBDIR/pkcs11/../ holds it.
void *loadAdaptor(bool privateCopy)
{
    const std::string dir = moduleDirectory();
    for (const std::string &path : {dir + "/libUKeyAdaptor.so.1", dir + "/libUKeyAdaptor.so",
                                    dir + "/../libUKeyAdaptor.so.1", std::string("libUKeyAdaptor.so.1")}) {
        if (path.front() == '/' && access(path.c_str(), R_OK) != 0)
            continue;
        if (void *lib = privateCopy ? loadCopy(path) : dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
            return lib;
    }
    return nullptr;
}

} // namespace

Adaptor *Adaptor::open(const KeyEntry &entry, bool privateCopy)
{
    void *lib = loadAdaptor(privateCopy);
    if (!lib) {
        const char *why = dlerror();
        std::fprintf(stderr, "ukeyadaptor-pkcs11: cannot load libUKeyAdaptor: %s\n", why ? why : "not found");
        return nullptr;
    }
    auto load = reinterpret_cast<PFN_KXF_Load>(dlsym(lib, "KXF_Load"));
    void **table = nullptr;
    if (!load || load(&table) != SAR_OK || !table) {
        dlclose(lib);
        return nullptr;
    }
    auto *a = new Adaptor;
    a->lib_ = lib;
    a->table_ = table;
    a->entry_ = entry;
    uint32_t rc;
    {
        // An application's standard output may be the data it exports.
        StdoutAside aside;
        rc = a->kxf()->Init_SDK(entry.typeName.c_str(), entry.libraryPath.c_str(), nullptr, 0);
    }
    if (rc != SAR_OK) {
        std::fprintf(stderr, "ukeyadaptor-pkcs11: %s %s: initialisation failed (0x%08X)\n", entry.typeName.c_str(),
                     entry.libraryPath.c_str(), rc);
        delete a;
        return nullptr;
    }
    return a;
}

Adaptor::~Adaptor()
{
    if (table_) {
        this->kxf()->Uinit_SDK();
        if (auto unload = reinterpret_cast<PFN_KXF_Unload>(dlsym(lib_, "KXF_Unload")))
            unload();
    }
    if (lib_)
        dlclose(lib_);
}

std::vector<std::string> Adaptor::devices()
{
    std::lock_guard<std::mutex> lock(connectLock);
    uint32_t size = 0;
    if (this->kxf()->EnumDev(nullptr, &size) != SAR_OK || size == 0 || size > (1u << 20))
        return {};
    std::vector<char> list(size);
    if (this->kxf()->EnumDev(list.data(), &size) != SAR_OK)
        return {};
    return splitNames(list.data(), std::min<size_t>(size, list.size()));
}

std::vector<std::string> splitNames(const char *list, size_t size)
{
    std::vector<std::string> names;
    size_t at = 0;
    while (at < size && list[at] != '\0') {
        const void *end = std::memchr(list + at, '\0', size - at);
        const size_t len = end ? static_cast<size_t>(static_cast<const char *>(end) - (list + at)) : size - at;
        names.emplace_back(list + at, len);
        at += len + 1;
    }
    return names;
}

CK_RV toCkr(uint32_t sar)
{
    static const std::map<std::string, CK_RV> kByName = {
        {"SAR_OK", CKR_OK},
        {"SAR_NOTSUPPORTYETERR", CKR_FUNCTION_NOT_SUPPORTED},
        {"KX_NOTEXPORTERR", CKR_FUNCTION_NOT_SUPPORTED},
        {"SAR_INVALIDPARAMERR", CKR_ARGUMENTS_BAD},
        {"SAR_NAMELENERR", CKR_ATTRIBUTE_VALUE_INVALID},
        {"SAR_KEYUSAGEERR", CKR_KEY_FUNCTION_NOT_PERMITTED},
        {"SAR_INDATALENERR", CKR_DATA_LEN_RANGE},
        {"SAR_INDATAERR", CKR_DATA_INVALID},
        {"SAR_MEMORYERR", CKR_DEVICE_MEMORY},
        {"SAR_HASHNOTEQUALERR", CKR_SIGNATURE_INVALID},
        {"SAR_KEYNOTFOUNTERR", CKR_KEY_HANDLE_INVALID},
        {"SAR_RSADECERR", CKR_ENCRYPTED_DATA_INVALID},
        {"SAR_DECRYPTPADERR", CKR_ENCRYPTED_DATA_INVALID},
        {"SAR_BUFFER_TOO_SMALL", CKR_BUFFER_TOO_SMALL},
        {"SAR_DEVICE_REMOVED", CKR_DEVICE_REMOVED},
        {"SAR_PIN_INCORRECT", CKR_PIN_INCORRECT},
        {"SAR_PIN_LOCKED", CKR_PIN_LOCKED},
        {"SAR_PIN_INVALID", CKR_PIN_INVALID},
        {"SAR_PIN_LEN_RANGE", CKR_PIN_LEN_RANGE},
        {"SAR_USER_ALREADY_LOGGED_IN", CKR_USER_ALREADY_LOGGED_IN},
        {"SAR_USER_PIN_NOT_INITIALIZED", CKR_USER_PIN_NOT_INITIALIZED},
        {"SAR_USER_TYPE_INVALID", CKR_USER_TYPE_INVALID},
        {"SAR_USER_NOT_LOGGED_IN", CKR_USER_NOT_LOGGED_IN},
        {"SAR_FILE_ALREADY_EXIST", CKR_ATTRIBUTE_VALUE_INVALID},
        {"SAR_NO_ROOM", CKR_DEVICE_MEMORY},
        {"SAR_REACH_MAX_CONTAINER_COUNT", CKR_DEVICE_MEMORY},
    };
    const char *name = kxf_result_name(sar);
    const auto it = name ? kByName.find(name) : kByName.end();
    return it != kByName.end() ? it->second : CKR_FUNCTION_FAILED;
}

} // namespace ukeyp11
