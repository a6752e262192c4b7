#include "alloc.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "jx/base.h"

/* Off unless a test arms it; a relaxed counter keeps the cost to one atomic add. */
static std::atomic<uint64_t> g_count{0};
static std::atomic<uint64_t> g_fail_at{0};
static std::atomic<bool> g_persistent{false};
static std::atomic<bool> g_failed{false};

static bool should_fail() {
    uint64_t at = g_fail_at.load(std::memory_order_relaxed);
    if (at == 0) return false;
    uint64_t n = g_count.fetch_add(1, std::memory_order_relaxed) + 1;
    if (n == at || (n > at && g_persistent.load(std::memory_order_relaxed))) {
        g_failed.store(true, std::memory_order_relaxed);
        return true;
    }
    return false;
}

/* The whole pages inside [p, p + n), as a start and a length (0 when none):
 * advice must not reach pages that other allocations share. */
[[maybe_unused]] static size_t whole_pages(void *p, size_t n, void **start) {
    uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    uintptr_t a = (uintptr_t(p) + page - 1) & ~(page - 1), b = (uintptr_t(p) + n) & ~(page - 1);
    *start = reinterpret_cast<void *>(a);
    return b > a ? b - a : 0;
}

void *jx__malloc(size_t n) { return should_fail() ? nullptr : std::malloc(n ? n : 1); }
void *jx__calloc(size_t count, size_t size) {
    return should_fail() ? nullptr : std::calloc(count ? count : 1, size ? size : 1);
}
void *jx__realloc(void *p, size_t n) { return should_fail() ? nullptr : std::realloc(p, n ? n : 1); }
void jx__free(void *p) { std::free(p); }

void jx__hint_huge(void *p, size_t n) {
#ifdef MADV_HUGEPAGE
    constexpr size_t HUGE_PAGE = size_t(2) << 20;
    if (!p || n < 2 * HUGE_PAGE) return;
    void *start;
    if (size_t len = whole_pages(p, n, &start)) madvise(start, len, MADV_HUGEPAGE);
#else
    (void)p;
    (void)n;
#endif
}

static void *populate(void *arg) {
    auto *pf = static_cast<jx_prefault *>(arg);
#ifdef MADV_POPULATE_WRITE
    void *start;
    if (size_t len = whole_pages(pf->p, pf->n, &start)) madvise(start, len, MADV_POPULATE_WRITE);
#endif
    return nullptr;
}

void jx__prefault_join(jx_prefault *pf) {
    if (pf->running) pthread_join(pf->thread, nullptr);
    pf->running = false;
}

void jx__prefault(jx_prefault *pf, void *p, size_t n) {
    jx__prefault_join(pf);
#ifdef MADV_POPULATE_WRITE
    pf->p = p;
    pf->n = n;
    pf->running = pthread_create(&pf->thread, nullptr, populate, pf) == 0;
#else
    (void)p;
    (void)n;
#endif
}

void jx__alloc_fail_at(uint64_t n, bool persistent) {
    g_count.store(0, std::memory_order_relaxed);
    g_persistent.store(persistent, std::memory_order_relaxed);
    g_failed.store(false, std::memory_order_relaxed);
    g_fail_at.store(n, std::memory_order_relaxed);
}
bool jx__alloc_failed() { return g_failed.load(std::memory_order_relaxed); }

extern "C" char *jx_buf_alloc(size_t n) {
    if (n > JX_MAX_SIZE) return nullptr;
    char *buf = static_cast<char *>(jx__malloc(n + 64));
    if (buf) {
        jx__hint_huge(buf, n);
        __builtin_memset(buf + n, 0, 64);
    }
    return buf;
}

extern "C" void jx_buf_free(char *buf) { jx__free(buf); }
