#include "skf/NameList.h"

#include <cstring>
#include <new>

#include "UKeyAdaptor.h"

namespace ukey {
namespace {

// A vendor that reports more than this for a name list is not believed.
constexpr uint32_t kMaxListSize = 16u * 1024u * 1024u;

} // namespace

size_t fieldLength(const char *field, size_t capacity)
{
    const void *nul = std::memchr(field, 0, capacity);
    return nul ? static_cast<size_t>(static_cast<const char *>(nul) - field) : capacity;
}

bool allocateList(std::vector<char> &buffer, uint32_t size)
{
    if (size > kMaxListSize)
        return false;
    try {
        buffer.assign(size, '\0');
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

void splitNameList(const char *buffer, uint32_t size, NameList &names)
{
    uint32_t offset = 0;
    do {
        const size_t len = fieldLength(buffer + offset, size - offset);
        names.emplace_back(buffer + offset, len);
        offset += static_cast<uint32_t>(len) + 1;
    } while (offset < size && buffer[offset] != '\0');
}

uint32_t handOutBytes(const void *data, uint32_t len, void *out, uint32_t *pulLen)
{
    if (out && !pulLen)
        return SAR_INVALIDPARAMERR;
    if (out && *pulLen < len) {
        *pulLen = len;
        return SAR_BUFFER_TOO_SMALL;
    }
    if (pulLen)
        *pulLen = len;
    if (out && len > 0)
        std::memcpy(out, data, len);
    return SAR_OK;
}

void copyText(const char *field, size_t capacity, char *out, uint32_t *pulLen)
{
    const size_t len = fieldLength(field, capacity);
    *pulLen = static_cast<uint32_t>(len + 1);
    if (out) {
        std::memcpy(out, field, len);
        out[len] = '\0';
    }
}

} // namespace ukey
