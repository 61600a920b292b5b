// The software token's SKF entry points, declared from the vendor entry-point list, and helpers
// its two fuzzers share.
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
inline std::vector<std::string> names(uint32_t (*list)(void *, char *, uint32_t *), void *h, size_t max = 4)
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

} // namespace fuzz
