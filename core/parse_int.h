/* parse_int.h: the parser's state, shared by its modules.
 *
 * One parse is spread over four modules: encoding.cpp first turns the bytes
 * into UTF-8; parse.cpp reads the grammar; records.cpp turns a text of
 * several values or JSON Lines into records; store.cpp owns the storage the
 * parse fills (nodes, lines, problems, the big table, the skip index) and
 * finishes it. The last three share the jx_parser below and the small inline
 * helpers that the hot paths cannot afford to call across modules. */
#ifndef JX_PARSE_INT_H
#define JX_PARSE_INT_H

#include <algorithm>
#include <cstdint>

#include "alloc.h"
#include "doc_int.h"
#include "progress_int.h"
#include "simd_int.h"

/* Byte classes of the scanners. */
enum : uint8_t {
    JX_C_DIGIT = 2,
    JX_C_WORD = 8,
    JX_C_NUMSTOP = 16,
    JX_C_START = 32,
    JX_C_SKIP = 64
};

struct jx_byte_classes {
    uint8_t v[256];
};
inline constexpr jx_byte_classes JX_CLASSES = [] {
    jx_byte_classes t{};
    /* bytes where whitespace skipping has work to do: controls, space, comments, JSON5 spaces */
    for (int c = 1; c <= ' '; c++) t.v[c] |= JX_C_SKIP;
    t.v[int('/')] |= JX_C_SKIP;
    for (int c = 0xC2; c < 0x100; c++) t.v[c] |= JX_C_SKIP;
    for (int c = '0'; c <= '9'; c++) t.v[c] |= JX_C_DIGIT | JX_C_WORD | JX_C_START;
    for (int c = 'a'; c <= 'z'; c++) t.v[c] |= JX_C_WORD | JX_C_NUMSTOP;
    for (int c = 'A'; c <= 'Z'; c++) t.v[c] |= JX_C_WORD | JX_C_NUMSTOP;
    t.v[int('_')] |= JX_C_WORD | JX_C_NUMSTOP;
    for (int c : {'+', '-', '.'}) t.v[c] |= JX_C_NUMSTOP;
    for (int c : {'"', '\'', '+', '-', '.', 'I', 'N', '[', 'f', 'n', 't', '{'}) t.v[c] |= JX_C_START;
    return t;
}();

inline bool jx__is(unsigned char c, uint8_t cls) { return JX_CLASSES.v[c] & cls; }

/* Ids of children 0, 16, 32, ... of a container, gathered while its children
 * are written once it has 64, so that the skip index costs no second walk. */
struct jx_samples {
    uint32_t *ids;
    uint32_t n, cap;
};

/* An open container. */
struct jx_frame {
    uint32_t id;
    uint32_t count;
    uint32_t object;
    jx_samples samples;
};

/* A closed container of 64 or more children: a skip index entry to be. */
struct jx_candidate {
    uint32_t id;
    jx_samples samples;
};

struct jx_parser {
    JxDoc *d;
    const char *start, *end;
    bool strict, line_mode;
    const jx_progress *progress;
    const char *checkpoint;
    const jx_kernels *k; /* the scanning kernels, taken once per parse */

    JxNode *wp, *wlimit; /* where node d->count goes, and the end of its chunk's storage */
    uint32_t avail;      /* node ids below this have storage */
    bool prefetch;       /* large text: fault node storage in ahead of the writer */
    JxNode *reserve;     /* the next chunk, allocated early so it can be faulted in */
    jx_prefault pf;
    uint32_t chunk0_cap; /* nodes in chunk 0 */
    uint32_t chunk_cap;  /* entries of the chunk pointer array */

    jx_frame *stack, *top; /* top is stack + depth */
    uint32_t depth, stack_cap;

    uint32_t line_cap, problem_cap, big_cap;
    bool lines_stopped;
    bool lines_complete; /* the parse recorded every line start: nothing is left to collect */

    jx_candidate *candidates;
    uint32_t candidate_count, candidate_cap;
    bool candidates_failed;

    uint32_t err_off, err_msg;
    bool stopped, oom_reported, cancelled;
    uint32_t oom_off;
    const char *unterminated; /* start of a block comment that never closed */

    uint32_t pending_key, pending_flags;
};

inline uint32_t jx__off(const jx_parser &p, const char *s) { return uint32_t(s - p.start); }

/* ---- failures and out of memory ---- */

/* Records why the value at hand could not be read; always false. */
inline bool jx__fail(jx_parser &p, uint32_t offset, uint32_t msg) {
    p.err_off = offset;
    p.err_msg = msg;
    return false;
}

/* Stops the parse at its next check; the first offset where memory ran out
 * is the one reported. */
inline void jx__out_of_memory(jx_parser &p, uint32_t offset) {
    if (!p.stopped) {
        p.stopped = true;
        p.oom_off = offset;
    }
    p.checkpoint = p.start; /* the next check ends the parse */
}

inline bool jx__fail_oom(jx_parser &p, uint32_t offset) {
    jx__out_of_memory(p, offset);
    return jx__fail(p, p.oom_off, JX_MSG_OOM);
}

/* Fails at a token that is not what the grammar wants there: the text end, a
 * line end in line mode and a comment in strict mode have messages of their own. */
bool jx__fail_at(jx_parser &p, const char *s, uint32_t msg);

inline void jx__set_syntax(jx_parser &p, uint32_t bit, const char *at) {
    p.d->syntax |= bit;
    p.d->syntax_offset = std::min(p.d->syntax_offset, jx__off(p, at));
}

/* Doubles an array (or gives it first entries), up to limit entries. False
 * when it cannot grow, leaving array and cap as they were. */
template <class T>
bool jx__grow_array(T *&array, uint32_t &cap, uint32_t first, uint64_t limit = 0xFFFFFFFFu) {
    uint64_t n = cap ? uint64_t(cap) * 2 : first;
    if (n > limit) n = limit;
    if (n <= cap) return false;
    T *grown = static_cast<T *>(jx__realloc(array, n * sizeof(T)));
    if (!grown) return false;
    array = grown;
    cap = uint32_t(n);
    return true;
}

/* ---- progress ---- */

/* Called when s reaches p.checkpoint: reports progress, notices cancellation
 * and a stop after running out of memory (then fails), and sets the next
 * checkpoint. */
bool jx__check(jx_parser &p, const char *s);

/* ---- the grammar, for the records ---- */

const char *jx__skip_ws_slow(jx_parser &p, const char *s);

/* Skips the spaces at s, the usual indentation: up to four words here (the
 * lowest bit that differs from a space is in the first other byte), a deeper
 * one by the kernel, which also passes tabs and CRs. A kernel's call and
 * vector latency cost more than the few well-predicted words of a common
 * indentation. */
inline const char *jx__spaces(const jx_parser &p, const char *s) {
    constexpr uint64_t SPACES8 = 0x2020202020202020ull;
    for (int i = 0; i < 4; i++, s += 8)
        if (uint64_t x = jx__load8(s) ^ SPACES8) return s + (__builtin_ctzll(x) >> 3);
    return p.k->blank_end(s);
}

/* Makes room for one more line start; on failure stops recording lines and
 * the parse. False when there is no room. */
bool jx__lines_room(jx_parser &p, uint32_t offset);

/* Records the start of a line. */
inline void jx__add_line(jx_parser &p, uint32_t offset) {
    if (p.lines_stopped) return;
    JxDoc *d = p.d;
    if (d->line_count == p.line_cap && !jx__lines_room(p, offset)) return;
    d->line_starts[d->line_count++] = offset;
}

/* Skips whitespace, comments (lenient) and, outside line mode, line ends,
 * recording line starts. Stops at a line end in line mode and after a block
 * comment that never closes (p.unterminated set). */
inline const char *jx__skip_ws(jx_parser &p, const char *s) {
    unsigned char c = *s;
    if (!jx__is(c, JX_C_SKIP)) return s;
    if (c == ' ' && !jx__is(s[1], JX_C_SKIP)) return s + 1; /* the usual ", " and ": " */
    if (c == '\n' && !p.line_mode) { /* the usual line end and indentation */
        s++;
        jx__add_line(p, jx__off(p, s));
        s = jx__spaces(p, s);
        if (!jx__is(*s, JX_C_SKIP)) return s;
    }
    return jx__skip_ws_slow(p, s);
}

/* Reads one value from s with the stack top as its container. On success
 * *cur is the position after it; on failure p.err_off/err_msg say why and the
 * stack keeps what was open. */
bool jx__read_value(jx_parser &p, const char *&cur);

/* Closes every container still open, as unclosed. */
void jx__close_all(jx_parser &p);

#endif
