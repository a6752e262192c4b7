/* store_int.h: the storage a parse fills, for the parser's other modules.
 *
 * Nodes live in chunks of JX_CHUNK_NODES (chunk 0 grows by doubling; on a
 * large text the next chunk is allocated early and faulted in on a helper
 * thread). Beside them: the line index, the stored problems in offset order,
 * the big table of counts and lengths that do not fit a node, and the skip
 * index of large containers, built at the end from samples gathered on the
 * way. Running out of memory never fails a write here silently: it stops the
 * parse through jx__out_of_memory, or the writer reports null or false. */
#ifndef JX_STORE_INT_H
#define JX_STORE_INT_H

#include <cstdint>

#include "parse_int.h"

/* ---- nodes ---- */

/* Gives node d->count storage (a new or larger chunk); false when memory ran out. */
bool jx__grow_nodes(jx_parser &p);

/* Points the write pointer at node d->count after the count was changed. */
void jx__seek(jx_parser &p);

/* On a large text, allocates the next chunk early and faults it in on a
 * helper thread once the nodes per byte up to s say the text will need it. */
void jx__reserve_chunk(jx_parser &p, const char *s);

/* Storage for node d->count, or null when memory ran out. */
inline JxNode *jx__new_node(jx_parser &p) {
    if (p.wp == p.wlimit && !jx__grow_nodes(p)) return nullptr;
    return p.wp;
}

/* Takes the node jx__new_node gave; returns its id. */
inline uint32_t jx__commit_node(jx_parser &p) {
    p.wp++;
    return p.d->count++;
}

/* Enters value (>= JX_BIG_FROM) of node id in the big table; at is the
 * offset reported when memory runs out. Returns the node's field. */
uint32_t jx__big_field(jx_parser &p, uint32_t id, uint64_t value, uint32_t at);

/* Stores a count or length as a node's info field (bits 8-31); a big one goes
 * to the big table. */
inline uint32_t jx__number_field(jx_parser &p, uint32_t id, uint64_t value, uint32_t at) {
    if (value < JX_BIG_FROM) return uint32_t(value) << 8;
    return jx__big_field(p, id, value, at);
}

/* ---- lines and problems ---- */

/* Adds a stored problem in offset order; one entry is always kept spare for
 * "out of memory" so that running out can still be reported. False when
 * memory ran out. */
bool jx__add_problem(jx_parser &p, uint32_t offset, uint32_t node, uint32_t msg);

/* ---- the skip index ---- */

/* Records child id, the container's child number 64, 80, 96, ... */
void jx__add_sample(jx_parser &p, jx_frame &f, uint32_t id);

/* Keeps the samples of a closing container of 64 or more children as a
 * candidate for the skip index (they leave f). */
void jx__keep_samples(jx_parser &p, jx_frame &f);

/* Closes the container on top of the stack (unclosed: its text ended first).
 * Inline for the parser's hot path: most containers have fewer than 64
 * children, so nothing for the skip index and a count that fits the node. */
inline void jx__close_top(jx_parser &p, bool unclosed) {
    jx_frame &f = *p.top;
    JxNode *n = jx__node(p.d, f.id);
    n->end = p.d->count;
    n->info = (n->info & 0x7F) | (unclosed ? JX_F_UNCLOSED << 3 : 0) |
              jx__number_field(p, f.id, f.count, n->val_off);
    if (f.count >= 64) jx__keep_samples(p, f);
    if (f.samples.ids) {
        jx__free(f.samples.ids);
        f.samples = {};
    }
    p.depth--;
    p.top--;
}

/* Forgets the candidates after the first keep. */
void jx__drop_candidates(jx_parser &p, uint32_t keep);

/* Forgets the samples of the containers still open above the top level. */
void jx__drop_frames(jx_parser &p);

/* ---- the end ---- */

/* The finishing pass of a parse that was not cancelled: the rest of the line
 * index, the out-of-memory problem, the readable problem records kept ready,
 * the big table in node order and the skip index. */
void jx__finish(jx_parser &p);

#endif
