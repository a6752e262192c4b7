// Bytes allocated through malloc, counted as they come and go, so that a benchmark can tell what an
// operation keeps and what it needs at its peak. Include this header in one translation unit of a
// benchmark only: it replaces malloc and its relatives with glibc's own plus the count, and
// replacing them twice would not link. Blocks count by their usable size, so a figure includes
// the allocator's rounding. Under AddressSanitizer, which replaces malloc itself, nothing is
// replaced and alloc_counting() says that there are no figures.
#pragma once

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#define ORVEL_BENCH_ALLOC_COUNT 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVEL_BENCH_ALLOC_COUNT 0
#endif
#endif
#ifndef ORVEL_BENCH_ALLOC_COUNT
#define ORVEL_BENCH_ALLOC_COUNT 1
#endif

namespace bench {

namespace alloc_detail {
inline std::atomic<int64_t> live{0};
inline std::atomic<int64_t> peak{0};

inline void add(void *p) {
    if (!p) return;
    const int64_t n = int64_t(malloc_usable_size(p));
    const int64_t now = live.fetch_add(n, std::memory_order_relaxed) + n;
    int64_t top = peak.load(std::memory_order_relaxed);
    while (now > top && !peak.compare_exchange_weak(top, now, std::memory_order_relaxed)) {
    }
}
inline void remove(void *p) {
    if (p) live.fetch_sub(int64_t(malloc_usable_size(p)), std::memory_order_relaxed);
}
}  // namespace alloc_detail

// Whether the figures below mean anything in this build.
inline bool alloc_counting() { return ORVEL_BENCH_ALLOC_COUNT; }
// Bytes allocated and not yet freed.
inline int64_t live_bytes() { return alloc_detail::live.load(std::memory_order_relaxed); }
// The most live_bytes() has been since reset_peak_bytes().
inline int64_t peak_bytes() { return alloc_detail::peak.load(std::memory_order_relaxed); }
inline void reset_peak_bytes() { alloc_detail::peak.store(live_bytes(), std::memory_order_relaxed); }

// What an operation leaves allocated and the most it adds while it runs, in bytes.
struct AllocUse {
    int64_t kept = 0;
    int64_t peak = 0;
};

template <class Fn>
inline AllocUse alloc_use(Fn &&fn) {
    const int64_t before = live_bytes();
    reset_peak_bytes();
    fn();
    return {live_bytes() - before, peak_bytes() - before};
}

}  // namespace bench

#if ORVEL_BENCH_ALLOC_COUNT
extern "C" {
void *__libc_malloc(size_t n);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *p, size_t n);
void __libc_free(void *p);
void *__libc_memalign(size_t alignment, size_t n);
void *__libc_valloc(size_t n);
void *__libc_pvalloc(size_t n);

void *malloc(size_t n) noexcept {
    void *p = __libc_malloc(n);
    bench::alloc_detail::add(p);
    return p;
}
void *calloc(size_t count, size_t size) noexcept {
    void *p = __libc_calloc(count, size);
    bench::alloc_detail::add(p);
    return p;
}
void *realloc(void *p, size_t n) noexcept {
    const int64_t old = p ? int64_t(malloc_usable_size(p)) : 0;
    void *q = __libc_realloc(p, n);
    // A null result keeps p, except that realloc(p, 0) may free it.
    if (q || (p && n == 0)) bench::alloc_detail::live.fetch_sub(old, std::memory_order_relaxed);
    bench::alloc_detail::add(q);
    return q;
}
void free(void *p) noexcept {
    bench::alloc_detail::remove(p);
    __libc_free(p);
}
void *memalign(size_t alignment, size_t n) noexcept {
    void *p = __libc_memalign(alignment, n);
    bench::alloc_detail::add(p);
    return p;
}
void *aligned_alloc(size_t alignment, size_t n) noexcept { return memalign(alignment, n); }
int posix_memalign(void **out, size_t alignment, size_t n) noexcept {
    if (alignment < sizeof(void *) || (alignment & (alignment - 1))) return EINVAL;
    void *p = memalign(alignment, n);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
void *valloc(size_t n) noexcept {
    void *p = __libc_valloc(n);
    bench::alloc_detail::add(p);
    return p;
}
void *pvalloc(size_t n) noexcept {
    void *p = __libc_pvalloc(n);
    bench::alloc_detail::add(p);
    return p;
}
}
#endif
