#include "Adaptor.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>

namespace ukeyp11 {

namespace {

// Build tree: the adaptor lies beside the module; installed: LIBDIR/pkcs11/../ holds it.
void *loadAdaptor(bool ownNamespace)
{
    const std::string dir = moduleDirectory();
    for (const std::string &path : {dir + "/libUKeyAdaptor.so", dir + "/libUKeyAdaptor.so.1",
                                    dir + "/../libUKeyAdaptor.so.1", std::string("libUKeyAdaptor.so.1")}) {
        if (path.front() == '/' && !std::fopen(path.c_str(), "rb"))
            continue;
        void *lib = ownNamespace ? dlmopen(LM_ID_NEWLM, path.c_str(), RTLD_NOW | RTLD_LOCAL)
                                 : dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (lib)
            return lib;
    }
    return nullptr;
}

} // namespace

Adaptor *Adaptor::open(const KeyEntry &entry, bool ownNamespace)
{
    void *lib = loadAdaptor(ownNamespace);
    if (!lib) {
        std::fprintf(stderr, "ukeyadaptor-pkcs11: cannot load libUKeyAdaptor: %s\n", dlerror());
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
    const uint32_t rc = KXF(a, Init_SDK)(entry.typeName.c_str(), entry.libraryPath.c_str(), nullptr, 0);
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
        KXF(this, Uinit_SDK)();
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
    if (KXF(this, EnumDev)(nullptr, &size) != SAR_OK || size == 0 || size > (1u << 20))
        return {};
    std::vector<char> list(size);
    if (KXF(this, EnumDev)(list.data(), &size) != SAR_OK)
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
    switch (sar) {
    case 0x00000000:
        return CKR_OK;
    case 0x0A000003:
        return CKR_FUNCTION_NOT_SUPPORTED; // SAR_NOTSUPPORTYETERR
    case 0x0A000006:
        return CKR_ARGUMENTS_BAD; // SAR_INVALIDPARAMERR
    case 0x0A000009:
        return CKR_ATTRIBUTE_VALUE_INVALID; // SAR_NAMELENERR
    case 0x0A00000A:
        return CKR_KEY_FUNCTION_NOT_PERMITTED; // SAR_KEYUSAGEERR
    case 0x0A000010:
        return CKR_DATA_LEN_RANGE; // SAR_INDATALENERR
    case 0x0A000011:
        return CKR_DATA_INVALID; // SAR_INDATAERR
    case 0x0A00001A:
        return CKR_SIGNATURE_INVALID; // SAR_HASHNOTEQUALERR
    case 0x0A00001B:
        return CKR_KEY_HANDLE_INVALID; // SAR_KEYNOTFOUNTERR
    case 0x0A00001D:
        return CKR_FUNCTION_NOT_SUPPORTED; // KX_NOTEXPORTERR
    case 0x0A00001E:
        return CKR_ENCRYPTED_DATA_INVALID; // SAR_DECRYPTPADERR
    case 0x0A000020:
        return CKR_BUFFER_TOO_SMALL; // SAR_BUFFER_TOO_SMALL
    case 0x0A000023:
        return CKR_DEVICE_REMOVED; // SAR_DEVICE_REMOVED
    case 0x0A000024:
        return CKR_PIN_INCORRECT; // SAR_PIN_INCORRECT
    case 0x0A000025:
        return CKR_PIN_LOCKED; // SAR_PIN_LOCKED
    case 0x0A000026:
        return CKR_PIN_INVALID; // SAR_PIN_INVALID
    case 0x0A000027:
        return CKR_PIN_LEN_RANGE; // SAR_PIN_LEN_RANGE
    case 0x0A00002A:
        return CKR_USER_TYPE_INVALID; // SAR_USER_TYPE_INVALID
    case 0x0A00002D:
        return CKR_USER_NOT_LOGGED_IN; // SAR_USER_NOT_LOGGED_IN
    case 0x0A00002F:
        return CKR_ATTRIBUTE_VALUE_INVALID; // SAR_FILE_ALREADY_EXIST
    case 0x0A000030:
        return CKR_DEVICE_MEMORY; // SAR_NO_ROOM
    case 0x0A000032:
        return CKR_DEVICE_MEMORY; // SAR_REACH_MAX_CONTAINER_COUNT
    default:
        return CKR_FUNCTION_FAILED;
    }
}

} // namespace ukeyp11
