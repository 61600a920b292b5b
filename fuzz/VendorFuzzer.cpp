// A fair host against the hostile vendor: for one of the registered types, connect (the vendor plays
// fair for that), then call entries the script picks with buffers of the sizes the host states.
#include <dlfcn.h>

#include <cstdlib>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "Script.h"
#include "registry/AdaptorRegistry.h"
#include "registry/UKeyAdaptorBase.h"
#include "rtc/Entries.h"

namespace fuzz {
namespace {

struct Host {
    Script &s;
    uint32_t dev;
    uint32_t minBytes = 0; // a host buffer holds at least this much where the length is an output only
    std::vector<std::unique_ptr<uint8_t[]>> blocks; // the call's arguments, each of exactly its stated size
    bool pending = false;
    uint32_t pendingLen = 0;

    uint8_t *block(size_t n) { return blocks.emplace_back(new uint8_t[n]()).get(); }

    template <class T, class Next>
    T make(bool first)
    {
        if constexpr (std::is_same_v<T, uint32_t>) {
            if (first)
                return s.byte() < 0xF0 ? dev : s.u32();
            return std::exchange(pending, false) ? pendingLen : s.length(16);
        } else if constexpr (std::is_same_v<T, const char *>) {
            const uint8_t n = s.byte();
            if (n == 0xFF)
                return nullptr;
            auto *text = reinterpret_cast<char *>(block(n % 48 + 1));
            s.bytes(std::memset(text, 'A', n % 48), n % 48);
            return text;
        } else if constexpr (std::is_function_v<std::remove_pointer_t<T>>) {
            return nullptr;
        } else if constexpr (std::is_same_v<T, uint32_t *>) {
            auto *v = reinterpret_cast<uint32_t *>(block(sizeof(uint32_t)));
            *v = std::exchange(pending, false) ? pendingLen : s.length(16);
            return v;
        } else if constexpr (std::is_pointer_v<T> && !std::is_void_v<Pointee<T>>) {
            // A byte buffer holds what its length states; a typed structure is whole, whatever
            // length accompanies it.
            constexpr bool bytes = isBytes<T>;
            constexpr size_t unit = std::is_same_v<Pointee<T>, void *> ? sizeof(void *) : sizeof(Pointee<T>);
            constexpr bool sized = std::is_same_v<Next, uint32_t> || std::is_same_v<Next, uint32_t *>;
            const uint32_t n = bytes ? std::max<uint32_t>(s.u16() % 4096, minBytes) : unit;
            const uint32_t stated = bytes ? n : s.length(unit);
            pending = sized;
            pendingLen = stated;
            if (sized && s.byte() == 0xFF)
                return nullptr;
            uint8_t *b = block(n);
            if constexpr (std::is_const_v<std::remove_pointer_t<T>>)
                s.bytes(b, n);
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

// Entries whose length is an output only: the host's buffer has the documented size whatever
// length it states (a serial number, label or device name; the ECC cipher-blob buffer).
uint32_t outputOnlyLength(size_t entry)
{
    if (entry == KXF_IDX_ECCExportSessionKey)
        return SKF_ECC_CIPHER_BLOB_BUFFER_LEN;
    const bool text =
        entry == KXF_IDX_GetSerialNumberByDevName || entry == KXF_IDX_GetSerialNumber || entry == KXF_IDX_GetLabelName;
    return text ? 64 : 0;
}

Script *g_script = nullptr;

void KXF_CALL quiet(int32_t, const char *) {}

} // namespace
} // namespace fuzz

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    void *lib = dlopen(HOSTILE_VENDOR_PATH, RTLD_NOW | RTLD_NODELETE);
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
    s = Script{data, size};
    const char *type = ukey::registry::slot(s.byte() % ukey::registry::registrationCount())->name;
    uint32_t dev = 0;
    if (ukey::rtc::KXF_Init_SDK(type, HOSTILE_VENDOR_PATH, quiet, 0) != SAR_OK ||
        ukey::rtc::KXF_ConnectDev("dev", &dev) != SAR_OK)
        std::abort(); // a fair vendor must connect every type
    s.benign = false;
    for (int calls = 0; calls < 64 && !s.empty(); ++calls) {
        const size_t pick = s.byte() % (std::size(kEntries) - kFirstDeviceEntry) + kFirstDeviceEntry;
        Host host{s, dev, outputOnlyLength(pick), {}};
        if (pick != KXF_IDX_ConnectDev) // a second instance would outlive the input
            kEntries[pick](host);
    }
    s.benign = true;
    ukey::rtc::KXF_DisConnectDev(dev);
    // Instances outlive their connection by design; freeing them here keeps the run's memory flat.
    delete ukey::findAdaptor(dev);
    return 0;
}
