#include "AllocationCounter.h"

#include <atomic>
#include <cstddef>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define UKEY_OWN_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || !defined(__GLIBC__)
#define UKEY_OWN_ALLOCATOR 1
#endif

namespace {
std::atomic<uint64_t> g_count{0};
std::atomic<int64_t> g_bytes{0};
std::atomic<int64_t> g_blocks{0};
} // namespace

#ifndef UKEY_OWN_ALLOCATOR
#include <malloc.h>

#include <cerrno>

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);
void __libc_free(void *);
}

namespace {
constexpr int64_t kHeader = 8;

void *counted(void *p)
{
    if (p) {
        g_count.fetch_add(1, std::memory_order_relaxed);
        g_blocks.fetch_add(1, std::memory_order_relaxed);
        g_bytes.fetch_add(static_cast<int64_t>(malloc_usable_size(p)) + kHeader, std::memory_order_relaxed);
    }
    return p;
}
void released(void *p)
{
    if (p)
        g_blocks.fetch_sub(1, std::memory_order_relaxed);
    if (p)
        g_bytes.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)) + kHeader, std::memory_order_relaxed);
}
} // namespace

extern "C" {
void *malloc(size_t n)
{
    return counted(__libc_malloc(n));
}
void *calloc(size_t n, size_t size)
{
    return counted(__libc_calloc(n, size));
}
void *realloc(void *p, size_t n)
{
    released(p);
    void *q = __libc_realloc(p, n);
    if (!q && p && n) { // p is still there
        counted(p);
        g_count.fetch_sub(1, std::memory_order_relaxed);
        return q;
    }
    return counted(q);
}
void *memalign(size_t alignment, size_t n)
{
    return counted(__libc_memalign(alignment, n));
}
void *aligned_alloc(size_t alignment, size_t n)
{
    return counted(__libc_memalign(alignment, n));
}
int posix_memalign(void **out, size_t alignment, size_t n)
{
    void *p = counted(__libc_memalign(alignment, n));
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
void free(void *p)
{
    released(p);
    __libc_free(p);
}
}
#endif

namespace allocation {

bool available()
{
#ifdef UKEY_OWN_ALLOCATOR
    return false;
#else
    return true;
#endif
}

uint64_t count()
{
    return g_count.load(std::memory_order_relaxed);
}

int64_t blocksHeld()
{
    return g_blocks.load(std::memory_order_relaxed);
}

int64_t bytesHeld()
{
    return g_bytes.load(std::memory_order_relaxed);
}

} // namespace allocation
