/* jx/problem.h: problems found while parsing. */
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
 * or memory is short. Records are built lazily, 1,024 at a time; the pointer
 * stays valid while the document lives. Safe from several threads at once.
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
