// A fair host against the hostile vendor: for one of the sixteen types, connect (the vendor plays
// fair for that), then call entries the script picks with buffers of the sizes the host states.
#include <dlfcn.h>

#include <deque>
#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "Script.h"
#include "registry/UKeyAdaptorBase.h"
#include "rtc/Entries.h"

namespace fuzz {
namespace {

const char *const kTypes[] = {
    "skf_Epoint",      "ukeyskf",     "skf_lm",          "skf_bjca",          "skf_zayk",
    "skf_netca",       "skf_gdca",    "skf_szca_ft3003", "skf_gdca_lmgm3000", "skf_gdca_wise",
    "skf_axca_gm3000", "skf_cfca_gm", "skf_ftcx_gm3000", "skf_szca_ft3000gm", "skf_gdca_ft3000gm",
    "skf_bj_haitai"};

// Argument storage that lives for one call; heap blocks of exactly the stated size.
struct Arena {
    std::vector<std::unique_ptr<uint8_t[]>> blocks;
    std::deque<std::string> strings; // stable addresses
    uint8_t *block(size_t n)
    {
        blocks.emplace_back(new uint8_t[n]());
        return blocks.back().get();
    }
};

struct Host {
    Script &s;
    uint32_t dev;
    Arena arena;
    uint32_t minBytes = 0; // a host buffer holds at least this much where the length is an output only
    bool pending = false;
    uint32_t pendingLen = 0;

    template <class T, class Next>
    T make(bool first)
    {
        if constexpr (std::is_same_v<T, uint32_t>) {
            if (first)
                return s.byte() < 0xF0 ? dev : s.u32();
            if (pending) {
                pending = false;
                return pendingLen;
            }
            return s.length(16);
        } else if constexpr (std::is_same_v<T, const char *>) {
            const uint8_t n = s.byte();
            if (n == 0xFF)
                return nullptr;
            std::string &str = arena.strings.emplace_back(n % 48, 'A');
            s.bytes(str.data(), str.size());
            return str.c_str();
        } else if constexpr (std::is_function_v<std::remove_pointer_t<T>>) {
            return nullptr;
        } else if constexpr (std::is_same_v<T, uint32_t *>) {
            auto *v = reinterpret_cast<uint32_t *>(arena.block(sizeof(uint32_t)));
            *v = pending ? pendingLen : s.length(16);
            pending = false;
            return v;
        } else if constexpr (std::is_pointer_v<T> && !std::is_void_v<Pointee<T>>) {
            // A byte buffer holds what its length states; a typed structure is whole, whatever
            // length accompanies it.
            constexpr bool bytes = isBytes<T>;
            constexpr size_t unit = std::is_same_v<Pointee<T>, void *> ? sizeof(void *) : sizeof(Pointee<T>);
            constexpr bool sized = std::is_same_v<Next, uint32_t> || std::is_same_v<Next, uint32_t *>;
            const uint32_t n = bytes ? std::max<uint32_t>(s.u16() % 4096, minBytes) : unit;
            const uint32_t stated = bytes ? n : s.length(unit);
            if (sized && s.byte() == 0xFF) {
                pending = true;
                pendingLen = stated;
                return nullptr;
            }
            uint8_t *b = arena.block(n);
            if constexpr (std::is_const_v<std::remove_pointer_t<T>>)
                s.bytes(b, n);
            pending = sized;
            pendingLen = stated;
            return reinterpret_cast<T>(b);
        } else if constexpr (std::is_same_v<T, void *>) {
            return reinterpret_cast<void *>(uintptr_t{s.byte()});
        } else {
            return static_cast<T>(s.byte());
        }
    }

    template <class... A, size_t... I>
    uint32_t call(uint32_t(KXF_CALL *fn)(A...), std::index_sequence<I...>)
    {
        using Args = std::tuple<A..., char>; // char: nothing follows the last argument
        // Braced initialisation evaluates the arguments left to right.
        std::tuple<A...> args{make<A, std::tuple_element_t<I + 1, Args>>(I == 0)...};
        return std::apply(fn, args);
    }
    template <class... A>
    uint32_t call(uint32_t(KXF_CALL *fn)(A...))
    {
        return call(fn, std::index_sequence_for<A...>{});
    }
};

using Driver = uint32_t (*)(Host &);
#define FUZZ_DRIVER(prefix, name, index, params) [](Host &h) { return h.call(ukey::rtc::prefix##_##name); },
const Driver kEntries[] = {KXF_ENTRIES(FUZZ_DRIVER)};
#undef FUZZ_DRIVER
constexpr size_t kFirstDeviceEntry = KXF_IDX_EnumDev; // Init_SDK and Uinit_SDK run only around a run
constexpr size_t kConnectDev = KXF_IDX_ConnectDev;    // a second instance would outlive the input

// Entries whose length is an output only: the host's buffer has the documented size whatever
// length it states (a serial number, label or device name; the ECC cipher-blob buffer).
uint32_t outputOnlyLength(size_t entry)
{
    switch (entry) {
    case KXF_IDX_GetSerialNumberByDevName:
    case KXF_IDX_GetSerialNumber:
    case KXF_IDX_GetLabelName:
        return 64;
    case KXF_IDX_ECCExportSessionKey:
        return SKF_ECC_CIPHER_BLOB_BUFFER_LEN;
    default:
        return 0;
    }
}

Script *g_script = nullptr;
std::string g_vendor;

void KXF_CALL quiet(int32_t, const char *) {}

} // namespace
} // namespace fuzz

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::g_vendor = HOSTILE_VENDOR_PATH;
    void *lib = dlopen(fuzz::g_vendor.c_str(), RTLD_NOW | RTLD_NODELETE);
    auto *get = lib ? reinterpret_cast<fuzz::Script *(*)()>(dlsym(lib, "hostile_script")) : nullptr;
    if (!get)
        std::abort();
    fuzz::g_script = get();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace fuzz;
    Script &s = *g_script;
    s.reset(data, size);
    const char *type = kTypes[s.byte() % std::size(kTypes)];
    uint32_t dev = 0;
    if (ukey::rtc::KXF_Init_SDK(type, g_vendor.c_str(), quiet, 0) != SAR_OK ||
        ukey::rtc::KXF_ConnectDev("dev", &dev) != SAR_OK)
        std::abort(); // a fair vendor must connect every type
    s.benign = false;
    for (int calls = 0; calls < 64 && !s.empty(); ++calls) {
        const size_t pick = s.byte() % (std::size(kEntries) - kFirstDeviceEntry) + kFirstDeviceEntry;
        Host host{s, dev, {}, outputOnlyLength(pick)};
        if (pick != kConnectDev)
            kEntries[pick](host);
    }
    s.benign = true;
    ukey::rtc::KXF_DisConnectDev(dev);
    // Instances outlive their connection by design; freeing them here keeps the run's memory flat.
    delete ukey::findAdaptor(dev);
    return 0;
}
