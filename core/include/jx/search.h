/*
 * jx/search.h: finding keys and values by plain text or regular expression.
 *
 * A search is made by its owner (jx_search_new, on any thread), filled once
 * by jx_search_run, usually on a worker thread, and read while it fills.
 * Its life has three states:
 *
 *   made     jx_search_new has returned it. The owner may hand it to one
 *            thread for jx_search_run, call the readers (no hits yet) or
 *            free it - but not while a thread it was handed to may still be
 *            about to enter jx_search_run: that call would find it gone.
 *   running  jx_search_run is under way; its thread is the only one that
 *            writes the search. Meanwhile any thread may call the readers:
 *            jx_search_count, jx_search_hit, jx_search_finished,
 *            jx_search_capped, jx_search_next, jx_search_index_of,
 *            jx_search_matches and jx_search_ranges, and set the cancel flag
 *            of the run's jx_progress. Another jx_search_run is refused with
 *            JX_REFUSED. jx_search_free retires the search rather than
 *            freeing it: the run stops at its next checkpoint and frees the
 *            search as it returns.
 *   ended    jx_search_run has returned. The hits no longer change; the
 *            readers may be called from any thread; jx_search_run is refused
 *            with JX_REFUSED; jx_search_free frees the search.
 *
 * The owner calls jx_search_free once, when its own readers are done; from
 * then on the handle is gone for every thread. A free is safe once the run
 * has begun (a hit, a progress call or jx_search_finished has been seen, or
 * the run's thread has come back): a running search is freed by its run. So
 * the thread that runs the search leaves it alone once jx_search_run has
 * returned, unless it is the owner: it reports the result code, and the
 * owner reads the hits and frees the search.
 *
 * Hits are node ids in increasing order, each node at most once; a published
 * hit never changes or moves.
 */
#ifndef JX_SEARCH_H
#define JX_SEARCH_H

#include "doc.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct JxSearch JxSearch;

/* What a search looks at. */
enum {
    JX_SCOPE_ALL = 0, /* keys and values */
    JX_SCOPE_KEYS = 1,
    JX_SCOPE_VALUES = 2
};

/* Options of a search; a null pointer means all fields zero. */
typedef struct JxSearchOptions {
    uint8_t match_case; /* 1: case-sensitive; 0: case is ignored */
    uint8_t regex;      /* 1: the query is an Oniguruma regular expression; 0: plain text */
    uint8_t scope;      /* JX_SCOPE_ALL, JX_SCOPE_KEYS or JX_SCOPE_VALUES */
    uint32_t max_hits;  /* stop after this many hits; 0 means 10,000,000 */
} JxSearchOptions;

/*
 * Makes a search for len bytes of query over doc, which it retains. Returns
 * null when doc or query is null or len is 0 (err is then ""), when memory
 * runs out (err "out of memory"), or when a regular expression does not
 * compile (err holds Oniguruma's message; a query that is not valid UTF-8
 * gives "invalid code point value"). err may be null; it is always cleared
 * first and receives at most err_size - 1 bytes, cut on a UTF-8 boundary and
 * ended by a zero byte. Free the search with jx_search_free. Any thread.
 */
JxSearch *jx_search_new(JxDoc *doc, const char *query, size_t len, const JxSearchOptions *options,
                        char *err /* out */, size_t err_size);

/*
 * Frees the search and releases its document. Null-safe. Called by the
 * owner, once, when no reader of its own still uses the search. During a
 * run it returns at once and the run frees the search as it returns (soon:
 * the run stops at its next checkpoint). A second call during the run does
 * nothing.
 */
void jx_search_free(JxSearch *search);

/*
 * Runs the search over the whole document; a search runs once. Returns
 * JX_OK (0) when every node was visited or the cap was reached, JX_CANCELLED
 * (1) when progress->cancel was set or the search was freed during the run,
 * JX_NO_MEMORY (2) when memory ran out, or JX_REFUSED (4) without doing
 * anything when the search is running or has run; a null search gives 2. A
 * stopped run keeps the hits it found and never reports finished. progress
 * may be null; its callback gets (ctx, byte offset reached, document size) on
 * the running thread about every million nodes or 16 MiB of text, and (size,
 * size) at the end. Any one thread; readers may work meanwhile. After it
 * returns the search may already be freed (see jx_search_free): only the
 * owner touches it again.
 */
int jx_search_run(JxSearch *search, const jx_progress *progress);

/* Hits published so far (0 for null). Any thread, also during the run. */
uint32_t jx_search_count(const JxSearch *search);
/* Node of hit i; JX_NONE when i is not below jx_search_count or search is null. Any thread. */
uint32_t jx_search_hit(const JxSearch *search, uint32_t i);
/* 1 once the run went through every node or stopped at the cap, else 0 (0 for null). Any thread. */
int jx_search_finished(const JxSearch *search);
/* 1 when the run stopped at its cap of hits, else 0 (0 for null). Any thread. */
int jx_search_capped(const JxSearch *search);

/*
 * Hit number to step to from node: forward, the first hit after node, or hit 0
 * when there is none (wrapping); backward (backward != 0), the last hit before
 * node, or the last hit when there is none. node may be JX_NONE: forward then
 * gives hit 0, backward the last hit. JX_NONE when there are no hits or search
 * is null. Any thread.
 */
uint32_t jx_search_next(const JxSearch *search, uint32_t node, int backward);

/* Hit number of node, JX_NONE when it is not a hit (or search is null). Any thread. */
uint32_t jx_search_index_of(const JxSearch *search, uint32_t node);

/*
 * 1 when the key or value of node matches the query in the search's scope,
 * tested the way the run tests it, else 0 (also for null, an invalid id, or
 * when memory runs out). Any thread.
 */
int jx_search_matches(const JxSearch *search, uint32_t node);

/*
 * Where the query matches inside a decoded key (is_key 1) or value (is_key 0)
 * of len bytes: returns the number of non-overlapping, non-empty matches, and
 * writes the byte offset and length of the first max of them, in order, to
 * starts[] and lengths[] when both are given. A match covers whole
 * characters: a plain query that is part of a character (a lone UTF-8 lead
 * or continuation byte) marks the characters it touches, and matches that
 * touch one character are one. Returns 0 when the search does not cover keys
 * (is_key 1) or values (is_key 0), when text is null and len above 0, when
 * search is null, or when memory for the copy runs out. Any thread.
 */
uint32_t jx_search_ranges(const JxSearch *search, const char *text, uint32_t len, int is_key,
                          uint32_t *starts /* out */, uint32_t *lengths /* out */, uint32_t max);

#ifdef __cplusplus
}
#endif

#endif
