// A vendor library whose every answer comes from the fuzzer: results, reported lengths and the
// bytes it writes. It writes only inside the buffers it was given, as the adaptor described them;
// everything else it may lie about.
#include <iterator>
#include <tuple>
#include <utility>

#include "Script.h"
#include "library/Pkcs11EntryPoints.h"
#include "library/SkfEntryPoints.h"

namespace fuzz {
namespace {

Script g_script;

// Whether argument I exists and is a T (or, without T, a byte buffer).
template <size_t I, class Tuple, class T = void>
constexpr bool argIs()
{
    if constexpr (I < std::tuple_size_v<Tuple>)
        return std::is_void_v<T> ? isBytes<std::tuple_element_t<I, Tuple>>
                                 : std::is_same_v<std::tuple_element_t<I, Tuple>, T>;
    else
        return false;
}

// A byte buffer's capacity is the length next to it: a pointer after, or a value before or after.
template <size_t I, class Tuple>
bool capacity(const Tuple &args, uint32_t &cap)
{
    if constexpr (argIs<I + 1, Tuple, uint32_t *>() || argIs<I + 1, Tuple, CK_ULONG *>()) {
        auto *len = std::get<I + 1>(args);
        cap = len ? static_cast<uint32_t>(*len) : 0;
        return len != nullptr;
    } else if constexpr (argIs<I + 1, Tuple, uint32_t>()) {
        cap = std::get<I + 1>(args);
        return true;
    } else if constexpr (argIs<I - 1, Tuple, uint32_t>()) {
        cap = std::get<I - 1>(args);
        return true;
    }
    return false;
}

template <size_t I, class Tuple>
void answerArg(const Tuple &args, Script &s)
{
    using T = std::tuple_element_t<I, Tuple>;
    using V = std::remove_pointer_t<T>;
    if constexpr (isOutput<T>) {
        auto *out = std::get<I>(args);
        if (!out)
            return;
        if constexpr (isBytes<T>) {
            uint32_t cap = 0;
            if (!capacity<I>(args, cap))
                return;
            if (s.benign) {
                // A one-name listing: "dev" and the closing NUL.
                if (cap >= 5)
                    std::memcpy(out, "dev\0", 5);
                return;
            }
            s.bytes(out, std::min<uint32_t>(cap, s.u16()));
        } else if constexpr ((std::is_same_v<T, uint32_t *> || std::is_same_v<T, CK_ULONG *>)&&argIs<I - 1, Tuple>()) {
            *out = s.benign ? 5u : s.length(static_cast<uint32_t>(*out));
        } else if constexpr (std::is_same_v<T, CK_ATTRIBUTE *>) {
            // Values inside the sizes the template gives, lengths as the script says.
            if constexpr (argIs<I + 1, Tuple, CK_ULONG>()) {
                for (CK_ULONG i = 0; !s.benign && i < std::min<CK_ULONG>(std::get<I + 1>(args), 64); ++i) {
                    if (out[i].pValue)
                        s.bytes(out[i].pValue, std::min<CK_ULONG>(out[i].ulValueLen, s.u16()));
                    out[i].ulValueLen = s.length(static_cast<uint32_t>(out[i].ulValueLen));
                }
            }
        } else if constexpr (std::is_same_v<V, void *>) {
            *out = s.benign ? reinterpret_cast<void *>(1) : reinterpret_cast<void *>(uintptr_t{s.byte()});
        } else if constexpr (std::is_same_v<V, uint32_t> || std::is_same_v<V, int32_t>) {
            *out = static_cast<V>(s.benign ? 0u : s.length(static_cast<uint32_t>(*out)));
        } else if constexpr (std::is_same_v<V, CK_ULONG>) {
            // One slot, one session: enough for the token lookup to succeed.
            *out = s.benign ? 1u : s.length(static_cast<uint32_t>(*out));
        } else if (!s.benign) {
            s.bytes(out, sizeof(V));
        }
    }
}

template <class Pfn>
struct Hostile;
template <class R, class... A>
struct Hostile<R(KXF_CALL *)(A...)> {
    static R KXF_CALL call(A... a)
    {
        Script &s = g_script;
        const uint8_t r = s.benign ? 0 : s.byte();
        const auto args = std::make_tuple(a...);
        answerAll(args, s, std::index_sequence_for<A...>{});
        static const uint32_t kCodes[] = {SAR_FAIL,          SAR_BUFFER_TOO_SMALL, SAR_FILE_NOT_EXIST,
                                          SAR_PIN_INCORRECT, SAR_INVALIDHANDLEERR, SAR_INVALIDPARAMERR};
        if (r < 0xC0)
            return SAR_OK;
        return static_cast<R>(r < 0xC0 + std::size(kCodes) ? kCodes[r - 0xC0] : s.u32());
    }
    template <class Tuple, size_t... I>
    static void answerAll(const Tuple &args, Script &s, std::index_sequence<I...>)
    {
        (answerArg<I>(args, s), ...);
    }
};

} // namespace
} // namespace fuzz

// Every vendor entry point the adaptor resolves, SKF and PKCS#11, exported under its own name.
#define HOSTILE_EXPORT_AS(name, type)                                                                                  \
    asm volatile(".globl " #name "\n.type " #name ",@function\n.set " #name ", %c0" ::"i"(&fuzz::Hostile<type>::call));
#define HOSTILE_EXPORT_SKF(name, required) HOSTILE_EXPORT_AS(name, PFN_##name)
#define HOSTILE_EXPORT_P11(name) HOSTILE_EXPORT_AS(name, CK_##name)

extern "C" __attribute__((visibility("default"))) fuzz::Script *hostile_script()
{
    // Assembler directives only: no instruction is emitted here.
    UKEY_SKF_ENTRY_POINTS(HOSTILE_EXPORT_SKF)
    UKEY_P11_ENTRY_POINTS(HOSTILE_EXPORT_P11)
    return &fuzz::g_script;
}
