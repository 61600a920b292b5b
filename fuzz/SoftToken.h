// The software token's SKF entry points, declared from the vendor entry-point list, and the
// driver its two fuzzers share.
#pragma once

#include <string>
#include <type_traits>
#include <vector>

#include "Script.h"
#include "library/SkfEntryPoints.h"

#define FUZZ_DECLARE(name, required) extern "C" std::remove_pointer_t<PFN_##name> name;
UKEY_SKF_ENTRY_POINTS(FUZZ_DECLARE)
#undef FUZZ_DECLARE

namespace fuzz {

// A listing of NUL-separated names, at most max of them.
template <class H>
std::vector<std::string> names(uint32_t (*list)(H, char *, uint32_t *), H h, size_t max = 4)
{
    std::vector<char> buf(4096);
    uint32_t n = static_cast<uint32_t>(buf.size());
    std::vector<std::string> out;
    if (list(h, buf.data(), &n) != 0 || n > buf.size())
        return out;
    for (size_t i = 0; i < n && buf[i] && out.size() < max; i += out.back().size() + 1)
        out.emplace_back(&buf[i], strnlen(&buf[i], n - i));
    return out;
}

// Opens an application and tries the default user PIN; null where it does not open.
inline HAPPLICATION login(DEVHANDLE dev, const char *name)
{
    HAPPLICATION app = nullptr;
    uint32_t retry = 0;
    if (SKF_OpenApplication(dev, name, &app) == SAR_OK)
        SKF_VerifyPIN(app, SKF_USER_TYPE, "123456", &retry);
    return app;
}

// A buffer for output, or filled from the script; an empty one is passed as a null pointer.
struct Buf {
    std::vector<uint8_t> v;
    uint32_t n;
    explicit Buf(size_t size) : v(size), n(static_cast<uint32_t>(size)) {}
    Buf(Script &s, size_t size) : Buf(size) { s.bytes(v.data(), size); }
    uint8_t *p() { return v.empty() ? nullptr : v.data(); }
};

// A structure filled from the script.
template <class T>
T pod(Script &s)
{
    T v{};
    s.bytes(&v, sizeof v);
    return v;
}

} // namespace fuzz
