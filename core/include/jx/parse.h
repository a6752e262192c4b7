/* jx/parse.h: turning bytes into a document. */
#ifndef JX_PARSE_H
#define JX_PARSE_H

#include "doc.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct jx_parse_options {
    uint8_t strict; /* bit 0: plain JSON only; every lenient form is a problem */
    uint8_t lines;  /* bit 0: read the text as JSON Lines from the start */
} jx_parse_options;

/*
 * Parses length bytes from a jx_buf_alloc buffer. The buffer passes to the
 * parser in every case: the document keeps it, or it is freed on failure.
 * options and progress may be null. On success returns the document with a
 * reference count of 1 and *status JX_OK; syntax errors do not fail the parse
 * but become problems of the document. Otherwise returns null and *status is
 * JX_CANCELLED, JX_NO_MEMORY or JX_TOO_BIG (status may be null).
 *
 * Threads: the parse runs wholly on the calling thread, which may be any
 * thread; parses on different threads share nothing and may run at once.
 * progress->fn is called on the parsing thread. The only thing another
 * thread may touch while the parse runs is *progress->cancel, which it
 * writes and the parser only reads (with atomic loads; see jx_progress).
 * The document returned is immutable and may be read from any thread.
 */
JxDoc *jx_parse(char *bytes, size_t length, const jx_parse_options *options,
                const jx_progress *progress, int *status /* out */);

#ifdef __cplusplus
}
#endif

#endif
