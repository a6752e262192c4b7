/* alloc.h: the core's one allocation seam. Every allocation that may fail goes
 * through here so that tests can make the Nth one fail. */
#ifndef JX_ALLOC_H
#define JX_ALLOC_H

#include <pthread.h>

#include <cstddef>
#include <cstdint>

void *jx__malloc(size_t n);
void *jx__calloc(size_t count, size_t size);
void *jx__realloc(void *p, size_t n);
void jx__free(void *p);

/* Asks the kernel to back a large block with huge pages: a document's node
 * storage is written once from start to end, and 4 KiB page faults would
 * otherwise cost as much as the parse itself. A hint only; never fails. */
void jx__hint_huge(void *p, size_t n);

/* Faulting in fresh pages costs about as much as parsing into them; a helper
 * thread can take that cost while the parser works on the previous block.
 * jx__prefault waits for the previous request, then populates [p, p + n) on
 * a new thread (nothing happens when no thread can be started). The memory
 * must stay allocated until jx__prefault_join returns. */
struct jx_prefault {
    pthread_t thread;
    void *p;
    size_t n;
    bool running;
};
void jx__prefault(jx_prefault *pf, void *p, size_t n);
void jx__prefault_join(jx_prefault *pf);

/* Test hook: make allocation number n (1-based, counted from this call) fail;
 * persistent makes every later one fail too. n = 0 switches failures off. */
void jx__alloc_fail_at(uint64_t n, bool persistent);
/* 1 once an injected failure has happened since the last jx__alloc_fail_at. */
bool jx__alloc_failed();

#endif
