#pragma once

// Name lists and text fields as they cross between vendor, adaptor and host: NUL-separated,
// double-NUL-ended lists and fixed-size fields that may lack a terminator. Free of Qt, so that
// a host program can compile this unit as it is.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ukey {

using NameList = std::vector<std::string>;

// Splits a list of at most size bytes into names, never reading past size; the first name is
// always taken.
void splitNameList(const char *buffer, uint32_t size, NameList &names);

// A zero-filled buffer for a vendor list of size bytes; false when it cannot be had, or when
// the size is beyond belief.
bool allocateList(std::vector<char> &buffer, uint32_t size);

// Length of a fixed-size text field up to its first NUL, never past the field.
size_t fieldLength(const char *field, size_t capacity);

// Hands len bytes to a host that brought out (or only asks the length): SAR_OK with the length,
// or SAR_BUFFER_TOO_SMALL with the needed length when *pulLen says out is shorter, writing nothing;
// SAR_INVALIDPARAMERR for out without pulLen.
uint32_t handOutBytes(const void *data, uint32_t len, void *out, uint32_t *pulLen);

// A text field's length with its terminator, and the text if out is given. Fields are at most
// the size of a device record's, and hosts have always passed buffers of that size unannounced.
void copyText(const char *field, size_t capacity, char *out, uint32_t *pulLen);

} // namespace ukey
