/* jx/problem.h: problems found while parsing. Every call here only reads the
 * document (jx_doc_error builds its records lazily but thread-safely), so it
 * may run on any thread, concurrently with any other reader of the document. */
#ifndef JX_PROBLEM_H
#define JX_PROBLEM_H

#include "doc.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A readable problem record. */
typedef struct jx_problem {
    uint32_t offset;   /* byte offset in the text */
    uint32_t line;     /* 1-based */
    uint32_t column;   /* 1-based, in characters */
    uint32_t node;     /* the unreadable record it produced, else JX_NONE */
    char message[80];  /* NUL-terminated */
} jx_problem;

/*
 * Problem i in offset order, or null when doc is null, i >= jx_doc_error_count
 * or memory is short. Records are built lazily, 1,024 at a time; when memory
 * is short for them the call returns null and a later call tries again. The
 * records of problem 0 and of an "out of memory" problem are made by the
 * parse and never need memory. The pointer stays valid until the last
 * reference to the document is released; the record is never changed.
 * Thread-safe: any number of threads may call it on the same document at
 * once (a record built by two threads at the same time is published once).
 */
const jx_problem *jx_doc_error(const JxDoc *doc, uint32_t i);

/* How many members of the node's parent object carry the node's key, the node
 * itself included (escapes and quoting do not matter); 0 without key or parent,
 * and 0 when a key longer than 255 bytes cannot be decoded for lack of memory.
 * Linear in the number of siblings; any thread. */
uint32_t jx_key_repeats(const JxDoc *doc, uint32_t id);

#ifdef __cplusplus
}
#endif

#endif
