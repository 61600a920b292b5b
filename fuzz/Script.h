// The fuzzer's input read as a script, shared by the harnesses and the hostile vendor library.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "UKeyAdaptor.h"

namespace fuzz {

struct Script {
    const uint8_t *data = nullptr;
    size_t size = 0;
    bool benign = true; // the hostile vendor plays fair until the harness says otherwise

    bool empty() const { return size == 0; }
    uint8_t byte() { return size ? (--size, *data++) : 0; }
    uint16_t u16() { return static_cast<uint16_t>(byte() | byte() << 8); }
    uint32_t u32() { return u16() | static_cast<uint32_t>(u16()) << 16; }
    // Copies what the script still holds, at most n bytes; the rest of dst is left as it was.
    size_t bytes(void *dst, size_t n)
    {
        const size_t k = std::min(n, size);
        if (k)
            std::memcpy(dst, data, k);
        data += k;
        size -= k;
        return k;
    }
    // Mostly small, sometimes near a boundary, sometimes anything.
    uint32_t length(uint32_t around)
    {
        switch (byte() & 3) {
        case 0:
            return byte();
        case 1:
            return around;
        case 2:
            return around + byte() - 128u;
        default:
            return u32();
        }
    }
};

template <class T>
using Pointee = std::remove_cv_t<std::remove_pointer_t<T>>;
template <class T>
constexpr bool isBytes = std::is_pointer_v<T> &&
                         (std::is_same_v<Pointee<T>, char> || std::is_same_v<Pointee<T>, uint8_t>);
template <class T>
constexpr bool isOutput = std::is_pointer_v<T> && !std::is_const_v<std::remove_pointer_t<T>> &&
                          !std::is_void_v<std::remove_pointer_t<T>> && !std::is_function_v<std::remove_pointer_t<T>>;

} // namespace fuzz
