/* jx/base.h: shared constants, status codes, progress reporting and text buffers. */
#ifndef JX_BASE_H
#define JX_BASE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* "No node" and "no offset". */
#define JX_NONE 0xFFFFFFFFu

/* Result codes of long operations (parsing, searching). */
enum {
    JX_OK = 0,
    JX_CANCELLED = 1, /* the cancel flag was set (or the handle was freed meanwhile) */
    JX_NO_MEMORY = 2,
    JX_TOO_BIG = 3, /* the text is larger than JX_MAX_SIZE */
    JX_REFUSED = 4  /* the call is not allowed in the handle's current state; nothing changed */
};

/* Largest text the core accepts, in bytes. */
#define JX_MAX_SIZE 0xFFFFFF00u

/*
 * Progress of a long operation (parse, search, text layout). fn may be null;
 * it is called on the working thread with (ctx, bytes done, total bytes) and
 * must be cheap. cancel may be null; to ask the operation to stop, another
 * thread (or fn itself) writes a non-zero value to *cancel with an atomic
 * store: std::atomic_ref<uint32_t>(flag).store(1) in C++, or
 * __atomic_store_n(&flag, 1, __ATOMIC_RELAXED) in C with GCC or Clang. The
 * operation reads the flag with atomic loads, notices it at its next
 * checkpoint and returns JX_CANCELLED. The flag must outlive the operation.
 */
typedef struct jx_progress {
    void (*fn)(void *ctx, uint64_t done, uint64_t total);
    void *ctx;
    uint32_t *cancel;
} jx_progress;

/*
 * Allocates a text buffer of n bytes followed by 64 zero bytes, which the
 * core's 8-byte scanning relies on. Every text handed to the core must come
 * from here. Returns null when n > JX_MAX_SIZE or memory is short. The n text
 * bytes are uninitialised. Free with jx_buf_free (null is accepted).
 */
char *jx_buf_alloc(size_t n);
void jx_buf_free(char *buf);

#ifdef __cplusplus
}
#endif

#endif
