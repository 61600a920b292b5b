// Counts every heap allocation of the process (glibc only): the test or benchmark executable
// that links AllocationCounter.cpp replaces malloc and its kin for every library it loads.
#pragma once

#include <cstdint>

namespace allocation {

// False where the counter cannot be built (sanitizers bring their own allocator).
bool available();
// Allocations made so far.
uint64_t count();
// Bytes held right now, each block counted with its usable size and its 8-byte header.
int64_t bytesHeld();
// Blocks held right now.
int64_t blocksHeld();

} // namespace allocation
