#include <algorithm>
#include <new>

#include "alloc.h"
#include "doc_int.h"
#include "jx/parse.h"
#include "parse_int.h"
#include "progress_int.h"
#include "decode_int.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the 8-byte scanners assume little-endian words");

namespace {

constexpr uint32_t MAX_DEPTH = 100000;
constexpr uint32_t STACK_MAX = MAX_DEPTH + 2;
constexpr uint64_t STEP = 16u << 20; /* progress and cancel checks every 16 MiB */
constexpr uint64_t SPACES8 = 0x2020202020202020ull;

/* Byte classes of the scanners. */
enum : uint8_t { C_DIGIT = 2, C_WORD = 8, C_NUMSTOP = 16, C_START = 32, C_SKIP = 64 };

constexpr auto make_classes() {
    struct T {
        uint8_t v[256];
    } t{};
    /* bytes where whitespace skipping has work to do: controls, space, comments, JSON5 spaces */
    for (int c = 1; c <= ' '; c++) t.v[c] |= C_SKIP;
    t.v[int('/')] |= C_SKIP;
    for (int c = 0xC2; c < 0x100; c++) t.v[c] |= C_SKIP;
    for (int c = '0'; c <= '9'; c++) t.v[c] |= C_DIGIT | C_WORD | C_START;
    for (int c = 'a'; c <= 'z'; c++) t.v[c] |= C_WORD | C_NUMSTOP;
    for (int c = 'A'; c <= 'Z'; c++) t.v[c] |= C_WORD | C_NUMSTOP;
    t.v[int('_')] |= C_WORD | C_NUMSTOP;
    for (int c : {'+', '-', '.'}) t.v[c] |= C_NUMSTOP;
    for (int c : {'"', '\'', '+', '-', '.', 'I', 'N', '[', 'f', 'n', 't', '{'}) t.v[c] |= C_START;
    return t;
}
constexpr auto CLASSES = make_classes();

inline bool is(unsigned char c, uint8_t cls) { return CLASSES.v[c] & cls; }

/* Ids of children 0, 16, 32, ... of a container, gathered while its children
 * are written once it has 64, so that the skip index costs no second walk. */
struct Samples {
    uint32_t *ids;
    uint32_t n, cap;
};

struct Frame {
    uint32_t id;
    uint32_t count;
    uint32_t object;
    Samples samples;
};

struct Candidate {
    uint32_t id;
    Samples samples;
};

/* What a record may have to give back when it turns out to be unreadable. */
struct Checkpoint {
    uint32_t count, root_children, big_count, syntax, syntax_offset, candidates;
};

struct Parser {
    JxDoc *d;
    const char *start, *end;
    bool strict, line_mode;
    const jx_progress *progress;
    const char *checkpoint;

    JxNode *wp, *wlimit; /* where node d->count goes, and the end of its chunk's storage */
    uint32_t avail;      /* node ids below this have storage */
    bool prefetch;       /* large text: fault node storage in ahead of the writer */
    JxNode *reserve;     /* the next chunk, allocated early so it can be faulted in */
    jx_prefault pf;
    uint32_t chunk0_cap; /* nodes in chunk 0 */
    uint32_t chunk_cap;  /* entries of the chunk pointer array */

    Frame *stack, *top; /* top is stack + depth */
    uint32_t depth, stack_cap;

    uint32_t line_cap, problem_cap, big_cap;
    bool lines_stopped;

    Candidate *candidates;
    uint32_t candidate_count, candidate_cap;
    bool candidates_failed;

    uint32_t err_off, err_msg;
    bool stopped, oom_reported, cancelled;
    uint32_t oom_off;
    const char *unterminated; /* start of a block comment that never closed */

    uint32_t pending_key, pending_flags;
};

inline uint32_t off(const Parser &p, const char *s) { return uint32_t(s - p.start); }

/* ---- failures and out of memory ---- */

bool fail(Parser &p, uint32_t offset, uint32_t msg) {
    p.err_off = offset;
    p.err_msg = msg;
    return false;
}

void out_of_memory(Parser &p, uint32_t offset) {
    if (!p.stopped) {
        p.stopped = true;
        p.oom_off = offset;
    }
    p.checkpoint = p.start; /* the next check ends the parse */
}

bool fail_oom(Parser &p, uint32_t offset) {
    out_of_memory(p, offset);
    return fail(p, p.oom_off, JX_MSG_OOM);
}

/* Fails at a token that is not what the grammar wants there: the text end, a
 * line end in line mode and a comment in strict mode have messages of their own. */
bool fail_at(Parser &p, const char *s, uint32_t msg) {
    if (s >= p.end) return fail(p, off(p, p.end), p.line_mode ? JX_MSG_EOL : JX_MSG_EOF);
    if (p.line_mode && *s == '\n') {
        const char *at = (s > p.start && s[-1] == '\r') ? s - 1 : s;
        return fail(p, off(p, at), JX_MSG_EOL);
    }
    if (*s == '/' && (s[1] == '/' || s[1] == '*')) return fail(p, off(p, s), JX_MSG_COMMENTS);
    return fail(p, off(p, s), msg);
}

void set_syntax(Parser &p, uint32_t bit, const char *at) {
    p.d->syntax |= bit;
    p.d->syntax_offset = std::min(p.d->syntax_offset, off(p, at));
}

/* ---- growth ---- */

template <class T>
bool grow_array(T *&array, uint32_t &cap, uint32_t first, uint64_t limit = 0xFFFFFFFFu) {
    uint64_t n = cap ? uint64_t(cap) * 2 : first;
    if (n > limit) n = limit;
    if (n <= cap) return false;
    T *grown = static_cast<T *>(jx__realloc(array, n * sizeof(T)));
    if (!grown) return false;
    array = grown;
    cap = uint32_t(n);
    return true;
}

/* Points the write pointer at node d->count after the count was changed. */
void seek(Parser &p) {
    JxDoc *d = p.d;
    uint32_t id = d->count;
    if (id >= p.avail) {
        p.wp = p.wlimit = nullptr;
        return;
    }
    uint32_t c = id >> JX_CHUNK_SHIFT;
    p.wp = jx__node(d, id);
    p.wlimit = d->chunks[c] + (c == 0 ? p.chunk0_cap : JX_CHUNK_NODES);
}

JxNode *new_chunk() {
    auto *chunk = static_cast<JxNode *>(jx__malloc(size_t(JX_CHUNK_NODES) * sizeof(JxNode)));
    jx__hint_huge(chunk, size_t(JX_CHUNK_NODES) * sizeof(JxNode));
    return chunk;
}

/* On a large text, allocates the next chunk early and faults it in on a
 * helper thread once the nodes per byte so far say the text will need it. */
void reserve_chunk(Parser &p, const char *s) {
    JxDoc *d = p.d;
    if (!p.prefetch || p.reserve || p.avail < JX_CHUNK_NODES || d->chunk_count >= JX_MAX_CHUNKS - 1) return;
    uint64_t done = uint64_t(s - p.start);
    if (done == 0) return;
    uint64_t expected = uint64_t(d->count) * d->size / done;
    if (expected < uint64_t(p.avail) + JX_CHUNK_NODES / 8) return;
    p.reserve = new_chunk();
    if (p.reserve) jx__prefault(&p.pf, p.reserve, size_t(JX_CHUNK_NODES) * sizeof(JxNode));
}

bool grow_nodes(Parser &p) {
    JxDoc *d = p.d;
    uint32_t id = d->count;
    if (!d->chunks) {
        d->chunks = static_cast<JxNode **>(jx__calloc(16, sizeof(JxNode *)));
        if (!d->chunks) return false;
        p.chunk_cap = 16;
    }
    if (id < JX_CHUNK_NODES) {
        uint32_t cap = p.chunk0_cap;
        if (!cap) {
            uint32_t want = std::min<uint32_t>(d->size / 16, JX_CHUNK_NODES);
            for (cap = 4096; cap < want; cap *= 2) {
            }
        } else {
            cap = std::min(cap * 2, JX_CHUNK_NODES);
        }
        JxNode *grown = static_cast<JxNode *>(jx__realloc(d->chunks[0], size_t(cap) * sizeof(JxNode)));
        if (!grown) return false;
        jx__hint_huge(grown, size_t(cap) * sizeof(JxNode));
        if (p.prefetch && cap == JX_CHUNK_NODES) jx__prefault(&p.pf, grown, size_t(cap) * sizeof(JxNode));
        d->chunks[0] = grown;
        d->chunk_count = 1;
        p.chunk0_cap = p.avail = cap;
        seek(p);
        return true;
    }
    uint32_t c = id >> JX_CHUNK_SHIFT;
    if (c >= JX_MAX_CHUNKS) return false;
    if (c >= p.chunk_cap) {
        uint32_t cap = p.chunk_cap;
        if (!grow_array(d->chunks, cap, 16)) return false;
        p.chunk_cap = cap;
    }
    JxNode *chunk = p.reserve ? p.reserve : new_chunk();
    p.reserve = nullptr;
    if (!chunk) return false;
    d->chunks[c] = chunk;
    d->chunk_count = c + 1;
    p.avail = (c + 1) << JX_CHUNK_SHIFT;
    seek(p);
    return true;
}

/* Storage for node d->count, or null when memory ran out. */
inline JxNode *new_node(Parser &p) {
    if (p.wp == p.wlimit && !grow_nodes(p)) return nullptr;
    return p.wp;
}

/* Takes the node new_node gave. */
inline uint32_t commit_node(Parser &p) {
    p.wp++;
    return p.d->count++;
}

void add_line(Parser &p, uint32_t offset) {
    if (p.lines_stopped) return;
    JxDoc *d = p.d;
    if (d->line_count == p.line_cap && !grow_array(d->line_starts, p.line_cap, 1024)) {
        p.lines_stopped = true;
        out_of_memory(p, offset);
        return;
    }
    d->line_starts[d->line_count++] = offset;
}

/* Records a line start unless it is already recorded (records revisit line ends). */
void add_line_once(Parser &p, uint32_t offset) {
    if (p.d->line_count == 0 || p.d->line_starts[p.d->line_count - 1] < offset) add_line(p, offset);
}

/* Stores a count or length; a big one goes to the big table. */
uint32_t number_field(Parser &p, uint32_t id, uint64_t value, uint32_t at) {
    if (value < JX_BIG_FROM) return uint32_t(value) << 8;
    JxDoc *d = p.d;
    if (d->big_count == p.big_cap && !grow_array(d->big, p.big_cap, 8)) {
        out_of_memory(p, at);
    } else {
        d->big[d->big_count++] = {id, uint32_t(value)};
    }
    return (JX_FIELD_MAX << 8) | JX_BIG_MARK;
}

/* Adds a stored problem in offset order; one entry is always kept spare for
 * "out of memory" so that running out can still be reported. */
bool add_problem(Parser &p, uint32_t offset, uint32_t node, uint32_t msg) {
    JxDoc *d = p.d;
    uint64_t need = uint64_t(d->problem_count) + (msg == JX_MSG_OOM ? 1 : 2);
    while (need > p.problem_cap) {
        if (!grow_array(d->problems, p.problem_cap, 2)) return false;
    }
    uint32_t i = d->problem_count++;
    while (i > 0 && d->problems[i - 1].offset > offset) {
        d->problems[i] = d->problems[i - 1];
        i--;
    }
    d->problems[i] = {offset, node, msg};
    if (msg == JX_MSG_OOM) p.oom_reported = true;
    return true;
}

/* ---- containers ---- */

/* Makes room for one more sample; at the first one the samples of children
 * 0, 16, 32 and 48 are found by following the first children's links. */
bool sample_room(Parser &p, Frame &f) {
    Samples &sm = f.samples;
    if (p.candidates_failed || f.id == JX_NONE) return false;
    if (sm.n == sm.cap) {
        uint32_t cap = sm.cap;
        if (!grow_array(sm.ids, cap, 16)) {
            p.candidates_failed = true; /* no skip index: queries walk children */
            return false;
        }
        sm.cap = cap;
    }
    if (sm.n == 0) {
        uint32_t child = f.id + 1;
        for (uint32_t i = 0; i < 64; i++, child = jx__node(p.d, child)->end)
            if (i % 16 == 0) sm.ids[sm.n++] = child;
    }
    return true;
}

/* Records child id, the container's child number 64, 80, 96, ... */
[[gnu::noinline]] void add_sample(Parser &p, Frame &f, uint32_t id) {
    if (sample_room(p, f)) f.samples.ids[f.samples.n++] = id;
}

void close_top(Parser &p, bool unclosed) {
    Frame &f = *p.top;
    JxNode *n = jx__node(p.d, f.id);
    n->end = p.d->count;
    n->info = (n->info & 0x7F) | (unclosed ? JX_F_UNCLOSED << 3 : 0) |
              number_field(p, f.id, f.count, n->val_off);
    if (f.count == 64) sample_room(p, f); /* exactly 64 children: no 65th brought the first samples */
    if (f.count >= 64 && !p.candidates_failed) {
        if (p.candidate_count == p.candidate_cap && !grow_array(p.candidates, p.candidate_cap, 16)) {
            p.candidates_failed = true;
        } else {
            p.candidates[p.candidate_count++] = {f.id, f.samples};
            f.samples = {};
        }
    }
    jx__free(f.samples.ids);
    f.samples = {};
    p.depth--;
    p.top--;
}

void close_all(Parser &p) {
    while (p.depth > 0) close_top(p, true);
}

/* ---- progress ---- */

bool cancel_requested(const Parser &p) {
    return jx__cancel_requested(p.progress);
}

void advance_checkpoint(Parser &p, const char *s) {
    p.checkpoint = (uint64_t(p.end - s) <= STEP) ? p.end + 1 : s + STEP;
}

bool check(Parser &p, const char *s) {
    if (s < p.checkpoint) return true;
    if (p.stopped) return fail(p, p.oom_off, JX_MSG_OOM);
    if (cancel_requested(p)) {
        p.cancelled = true;
        return fail(p, off(p, s), JX_MSG_UNKNOWN);
    }
    jx__report(p.progress, uint64_t(s - p.start), p.d->size);
    reserve_chunk(p, s);
    advance_checkpoint(p, s);
    return true;
}

/* Inside a long string only cancellation counts: a string in progress may
 * finish after memory ran out. */
bool check_in_string(Parser &p, const char *s) {
    if (s < p.checkpoint || p.stopped) return true;
    return check(p, s);
}

/* ---- whitespace and comments ---- */

/* s is at a '/' followed by '/' or '*'. Returns the position after the comment:
 * the LF ending a line comment, or the text end (line mode: the LF) when a
 * block comment never closes, which is remembered in p.unterminated. */
const char *skip_comment(Parser &p, const char *s) {
    if (s[1] == '/') {
        /* a lone CR ends the comment too, or a file with old Mac line ends
         * would lose everything after its first comment */
        set_syntax(p, JX_SYNTAX_COMMENTS, s);
        const char *q = s + 2;
        while (q < p.end && *q != '\n' && *q != '\r') q++;
        return q;
    }
    for (const char *q = s + 2; q < p.end; q++) {
        if (*q == '*' && q[1] == '/') {
            set_syntax(p, JX_SYNTAX_COMMENTS, s);
            return q + 2;
        }
        if (*q == '\n') {
            if (p.line_mode) {
                p.unterminated = s;
                return q;
            }
            add_line(p, off(p, q + 1));
        }
    }
    p.unterminated = s;
    return p.end;
}

/* Length of whitespace only JSON5 allows at s (form feed, vertical tab,
 * no-break space, line and paragraph separators, byte order mark), else 0. */
size_t json5_space(const char *s) {
    const auto *u = reinterpret_cast<const unsigned char *>(s);
    if (u[0] == '\f' || u[0] == '\v') return 1;
    if (u[0] == 0xC2 && u[1] == 0xA0) return 2;
    if (u[0] == 0xE2 && u[1] == 0x80 && (u[2] == 0xA8 || u[2] == 0xA9)) return 3;
    if (u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) return 3;
    return 0;
}

const char *skip_ws_slow(Parser &p, const char *s) {
    for (;;) {
        unsigned char c = *s;
        if (c == ' ' || c == '\t' || c == '\r') {
            s++;
        } else if (c == '\n') {
            if (p.line_mode) return s;
            s++;
            add_line(p, off(p, s));
            while (jx__load8(s) == SPACES8) s += 8;
        } else if (c == '/' && !p.strict && (s[1] == '/' || s[1] == '*')) {
            s = skip_comment(p, s);
            if (p.unterminated) return s;
        } else if (size_t n = p.strict ? 0 : json5_space(s)) {
            set_syntax(p, JX_SYNTAX_JSON5, s);
            s += n;
        } else {
            return s;
        }
    }
}

inline const char *skip_ws(Parser &p, const char *s) {
    unsigned char c = *s;
    if (!is(c, C_SKIP)) return s;
    if (c == ' ' && !is(s[1], C_SKIP)) return s + 1; /* the usual ", " and ": " */
    return skip_ws_slow(p, s);
}

/* ---- strings ---- */

inline bool hex4(const char *s) {
    uint16_t unused;
    return jx__hex4(s, &unused);
}

inline uint64_t stops(uint64_t w, unsigned char quote) {
    return jx__has_byte(w, quote) | jx__has_byte(w, '\\') | jx__has_less(w, 0x20);
}

/* Fails a string that reaches the text end. */
bool fail_unterminated(Parser &p, const char *open) {
    if (p.line_mode) return fail(p, off(p, p.end), JX_MSG_EOL);
    return fail(p, off(p, open), JX_MSG_UNTERMINATED_STRING);
}

/* Escapes only JSON5 allows; q is at the backslash. Returns the position after
 * the escape, or null after failing. */
const char *json5_escape(Parser &p, const char *open, const char *q, uint32_t &flags) {
    if (q + 1 >= p.end) return fail_unterminated(p, open), nullptr;
    if (p.strict) return fail(p, off(p, q), JX_MSG_INVALID_ESCAPE), nullptr;
    unsigned char e = q[1];
    const char *next = nullptr;
    if (e == '\n' || (e == '\r' && q[2] == '\n')) {
        if (p.line_mode) return fail(p, off(p, q + 1), JX_MSG_EOL), nullptr;
        next = q + (e == '\r' ? 3 : 2);
        add_line(p, off(p, next));
    } else if (e == '\r' || e == '\'' || e == 'v') {
        next = q + 2;
    } else if (e == '0') {
        if (!is(q[2], C_DIGIT)) next = q + 2;
    } else if (e == 'x') {
        if (jx__is_hex(q[2]) && jx__is_hex(q[3])) next = q + 4;
    } else if (e == 0xE2 && uint8_t(q[2]) == 0x80 && (uint8_t(q[3]) == 0xA8 || uint8_t(q[3]) == 0xA9)) {
        next = q + 4;
    }
    if (!next) return fail(p, off(p, q), JX_MSG_INVALID_ESCAPE), nullptr;
    set_syntax(p, JX_SYNTAX_JSON5, q);
    flags |= JX_F_NONSTANDARD;
    return next;
}

/* Reads a string of any form from its opening quote; returns the position
 * after the closing quote, or null after failing. */
const char *slow_string(Parser &p, const char *open, unsigned char quote, uint32_t &flags) {
    const char *q = open + 1;
    for (;;) {
        uint64_t m = stops(jx__load8(q), quote);
        if (!m) {
            q += 8;
            if (!check_in_string(p, q)) return nullptr;
            continue;
        }
        q += __builtin_ctzll(m) >> 3;
        unsigned char c = *q;
        if (c == quote) return q + 1;
        if (c == '\\') {
            flags |= JX_F_ESCAPED;
            unsigned char e = q[1];
            if (e == '"' || e == '\\' || e == '/' || e == 'b' || e == 'f' || e == 'n' || e == 'r' || e == 't') {
                q += 2;
            } else if (e == 'u') {
                if (q + 6 > p.end) return fail_unterminated(p, open), nullptr;
                if (!hex4(q + 2)) return fail(p, off(p, q), JX_MSG_INVALID_ESCAPE), nullptr;
                q += 6;
            } else {
                q = json5_escape(p, open, q, flags);
                if (!q) return nullptr;
            }
            continue;
        }
        /* a control byte */
        if (q >= p.end) return fail_unterminated(p, open), nullptr;
        if (p.line_mode && (c == '\n' || (c == '\r' && q[1] == '\n'))) return fail(p, off(p, q), JX_MSG_EOL), nullptr;
        if (p.strict) return fail(p, off(p, q), JX_MSG_CONTROL_CHAR), nullptr;
        set_syntax(p, JX_SYNTAX_CONTROL, q);
        if (c == '\n') add_line(p, off(p, q + 1));
        q++;
    }
}

/* A double-quoted string: the plain JSON escapes are handled here, anything
 * else goes to the slow reader from the start. */
inline const char *scan_string(Parser &p, const char *open, uint32_t &flags) {
    const char *q = open + 1;
    for (;;) {
        uint64_t m = stops(jx__load8(q), '"');
        if (!m) {
            q += 8;
            if (q >= p.checkpoint && !check_in_string(p, q)) return nullptr;
            continue;
        }
        q += __builtin_ctzll(m) >> 3;
        if (*q == '"') return q + 1;
        if (*q == '\\') {
            unsigned char e = q[1];
            if (e == '"' || e == '\\' || e == '/' || e == 'b' || e == 'f' || e == 'n' || e == 'r' || e == 't') {
                flags |= JX_F_ESCAPED;
                q += 2;
                continue;
            }
            if (e == 'u' && hex4(q + 2)) {
                flags |= JX_F_ESCAPED;
                q += 6;
                continue;
            }
        }
        flags = 0;
        return slow_string(p, open, '"', flags);
    }
}

/* ---- numbers ---- */

/* Skips ASCII digits 8 at a time. A carry out of a non-digit byte can only
 * disturb the bytes after it, so the first flagged byte is exact. */
inline const char *digits(const char *s) {
    for (;;) {
        uint64_t w = jx__load8(s);
        uint64_t t = ((w & 0xF0F0F0F0F0F0F0F0ull) | (((w + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) >> 4)) ^
                     0x3333333333333333ull;
        if (t) return s + (__builtin_ctzll(t) >> 3);
        s += 8;
    }
}

/* A JSON5 number from s; returns its end or null. */
const char *json5_number(const char *s) {
    const char *q = s;
    if (*q == '+' || *q == '-') q++;
    if (std::memcmp(q, "Infinity", 8) == 0 && !is(q[8], C_WORD)) return q + 8;
    if (std::memcmp(q, "NaN", 3) == 0 && !is(q[3], C_WORD)) return q + 3;
    if (q[0] == '0' && (q[1] | 0x20) == 'x' && jx__is_hex(q[2])) {
        q += 3;
        while (jx__is_hex(*q)) q++;
        return is(*q, C_NUMSTOP) ? nullptr : q;
    }
    const char *first = q;
    if (*q == '0') {
        q++;
        if (is(*q, C_DIGIT)) return nullptr;
    } else {
        q = digits(q);
    }
    bool any = q > first;
    if (*q == '.') {
        const char *frac = q + 1;
        q = digits(frac);
        any = any || q > frac;
    }
    if (!any) return nullptr;
    if ((*q | 0x20) == 'e') {
        q++;
        if (*q == '+' || *q == '-') q++;
        if (!is(*q, C_DIGIT)) return nullptr;
        q = digits(q);
    }
    return is(*q, C_NUMSTOP) ? nullptr : q;
}

/* A strict JSON number from s; returns its end or null. */
inline const char *strict_number(const char *s) {
    const char *q = s;
    if (*q == '-') q++;
    if (*q == '0') {
        q++;
        if (is(*q, C_DIGIT)) return nullptr;
    } else if (is(*q, C_DIGIT)) {
        q = digits(q + 1);
    } else {
        return nullptr;
    }
    if (*q == '.') {
        if (!is(q[1], C_DIGIT)) return nullptr;
        q = digits(q + 2);
    }
    if ((*q | 0x20) == 'e') {
        q++;
        if (*q == '+' || *q == '-') q++;
        if (!is(*q, C_DIGIT)) return nullptr;
        q = digits(q + 1);
    }
    return is(*q, C_NUMSTOP) ? nullptr : q;
}

/* ---- nodes ---- */

/* Writes node d->count with the pending key as a child of the stack top.
 * Returns it, or null when memory ran out. */
[[gnu::always_inline]] inline JxNode *write_node(Parser &p, const char *s, uint32_t info) {
    JxNode *n = new_node(p);
    if (!n) return fail_oom(p, off(p, s)), nullptr;
    uint32_t id = commit_node(p);
    *n = {p.pending_key, off(p, s), id + 1, p.top->id, info | (p.pending_flags << 3)};
    uint32_t k = p.top->count++;
    if ((k & 15) == 0 && k >= 64) add_sample(p, *p.top, id);
    p.pending_key = JX_NONE;
    p.pending_flags = 0;
    return n;
}

bool write_scalar(Parser &p, uint32_t type, uint32_t flags, const char *vs, const char *ve) {
    JxNode *n = write_node(p, vs, type | (flags << 3));
    if (!n) return false;
    n->info |= number_field(p, n->end - 1, uint64_t(ve - vs), n->val_off);
    return true;
}

bool open_container(Parser &p, const char *s, bool object) {
    if (p.depth >= MAX_DEPTH) return fail(p, off(p, s), JX_MSG_TOO_DEEP);
    if (p.depth + 1 >= p.stack_cap) {
        if (!grow_array(p.stack, p.stack_cap, 64, STACK_MAX)) return fail_oom(p, off(p, s));
        p.top = p.stack + p.depth;
    }
    JxNode *n = write_node(p, s, object ? JX_OBJECT : JX_ARRAY);
    if (!n) return false;
    *++p.top = {n->end - 1, 0, object, {}};
    p.depth++;
    return true;
}

/* ---- the value machine ---- */

/* A value that is not an object, array, double-quoted string, strict number or
 * literal. Returns its end or null after failing. */
const char *lenient_value(Parser &p, const char *s, uint32_t &type, uint32_t &flags) {
    unsigned char c = *s;
    if (p.strict || s >= p.end) return fail_at(p, s, JX_MSG_EXPECTED_VALUE), nullptr;
    if (c == '\'') {
        const char *e = slow_string(p, s, '\'', flags);
        if (!e) return nullptr;
        type = JX_STRING;
        flags |= JX_F_NONSTANDARD;
        set_syntax(p, JX_SYNTAX_JSON5, s);
        return e;
    }
    if (const char *e = json5_number(s)) {
        type = JX_NUMBER;
        flags = JX_F_NONSTANDARD;
        set_syntax(p, JX_SYNTAX_JSON5, s);
        return e;
    }
    if (c == '+' || c == '.') return fail(p, off(p, s), JX_MSG_INVALID_NUMBER), nullptr;
    if (c == 'N' || c == 'I') return fail(p, off(p, s), JX_MSG_INVALID_LITERAL), nullptr;
    return fail_at(p, s, JX_MSG_EXPECTED_VALUE), nullptr;
}

/* A \\u escape with four hex digits, which identifiers may hold. */
inline bool ident_escape(const char *s) { return s[0] == '\\' && s[1] == 'u' && hex4(s + 2); }

/* Reads a key from s; sets p.pending_key/flags. Returns its end or null. */
const char *read_key(Parser &p, const char *s) {
    uint32_t flags = 0;
    const char *e;
    if (*s == '"') {
        e = scan_string(p, s, flags);
        if (!e) return nullptr;
        flags = (flags & JX_F_ESCAPED ? JX_F_KEY_ESCAPED : 0) | (flags & JX_F_NONSTANDARD);
    } else if (!p.strict && s < p.end && *s == '\'') {
        e = slow_string(p, s, '\'', flags);
        if (!e) return nullptr;
        flags = (flags & JX_F_ESCAPED ? JX_F_KEY_ESCAPED : 0) | JX_F_NONSTANDARD;
        set_syntax(p, JX_SYNTAX_JSON5, s);
    } else if (!p.strict && ((jx__ident_byte(*s) && !is(*s, C_DIGIT)) || ident_escape(s))) {
        e = s + jx__scan_string_end(s, p.end);
        flags = JX_F_NONSTANDARD | (std::memchr(s, '\\', size_t(e - s)) ? JX_F_KEY_ESCAPED : 0);
        set_syntax(p, JX_SYNTAX_JSON5, s);
    } else {
        return fail_at(p, s, JX_MSG_EXPECTED_KEY), nullptr;
    }
    p.pending_key = off(p, s);
    p.pending_flags = flags;
    return e;
}

/* Reads one value from s with the stack top as its container. On success
 * *cur is the position after it; on failure p.err_off/err_msg say why and the
 * stack keeps what was open. */
bool read_value(Parser &p, const char *&cur) {
    const char *s = cur;
    uint32_t type, flags;
    const char *e;
    unsigned char c;
    bool object;

value:
    c = *s;
    flags = 0;
    switch (c) {
    case '{':
    case '[':
        object = c == '{';
        if (!open_container(p, s, object)) return false;
        s = skip_ws(p, s + 1);
        if (*s == (object ? '}' : ']')) {
            close_top(p, false);
            s++;
            goto after;
        }
        if (object) goto key;
        goto value;
    case '"':
        e = scan_string(p, s, flags);
        if (!e) return false;
        type = JX_STRING;
        break;
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
        type = JX_NUMBER;
        e = strict_number(s);
        if (!e) {
            e = p.strict ? nullptr : json5_number(s);
            if (!e) return fail(p, off(p, s), JX_MSG_INVALID_NUMBER);
            flags = JX_F_NONSTANDARD;
            set_syntax(p, JX_SYNTAX_JSON5, s);
        }
        break;
    case 't':
    case 'f':
    case 'n': {
        static constexpr const char *words[] = {"true", "false", "null"};
        int w = c == 't' ? 0 : c == 'f' ? 1 : 2;
        size_t len = w == 1 ? 5 : 4;
        if (std::memcmp(s, words[w], len) != 0 || is(s[len], C_WORD))
            return fail(p, off(p, s), JX_MSG_INVALID_LITERAL);
        type = uint32_t(JX_TRUE + w);
        e = s + len;
        break;
    }
    default:
        e = lenient_value(p, s, type, flags);
        if (!e) return false;
        break;
    }
    if (!write_scalar(p, type, flags, s, e)) return false;
    s = e;

after:
    if (s >= p.checkpoint && !check(p, s)) return false;
    if (p.depth == 0) {
        cur = s;
        return true;
    }
    s = skip_ws(p, s);
    object = p.top->object;
    c = *s;
    if (c == ',') {
        const char *comma = s;
        s = skip_ws(p, s + 1);
        if (*s == (object ? '}' : ']')) {
            if (p.strict) return fail(p, off(p, comma), JX_MSG_TRAILING_COMMA);
            set_syntax(p, JX_SYNTAX_TRAILING_COMMA, comma);
            close_top(p, false);
            s++;
            goto after;
        }
        if (object) goto key;
        goto value;
    }
    if (c == (object ? '}' : ']') && s < p.end) {
        close_top(p, false);
        s++;
        goto after;
    }
    return fail_at(p, s, object ? JX_MSG_EXPECTED_COMMA_OBJECT : JX_MSG_EXPECTED_COMMA_ARRAY);

key:
    s = read_key(p, s);
    if (!s) return false;
    s = skip_ws(p, s);
    if (*s != ':' || s >= p.end) return fail_at(p, s, JX_MSG_EXPECTED_COLON);
    s = skip_ws(p, s + 1);
    goto value;
}

/* ---- records ---- */

/* Forgets the candidates after the first keep. */
void drop_candidates(Parser &p, uint32_t keep) {
    for (uint32_t i = keep; i < p.candidate_count; i++) jx__free(p.candidates[i].samples.ids);
    p.candidate_count = std::min(p.candidate_count, keep);
}

/* Forgets the containers still open above the top level. */
void drop_frames(Parser &p) {
    for (uint32_t i = 1; i <= p.depth && i < p.stack_cap; i++) {
        jx__free(p.stack[i].samples.ids);
        p.stack[i].samples = {};
    }
}

Checkpoint take_checkpoint(const Parser &p) {
    const JxDoc *d = p.d;
    return {d->count, p.stack[0].count, d->big_count, d->syntax, d->syntax_offset, p.candidate_count};
}

/* Replaces whatever the failed record left with one JX_BAD node over
 * [s, e) and its problem. False when memory ran out (the parse stops). */
bool bad_record(Parser &p, const Checkpoint &k, const char *s, const char *e, uint32_t err_off, uint32_t msg) {
    JxDoc *d = p.d;
    d->count = k.count;
    d->big_count = k.big_count;
    d->syntax = k.syntax;
    d->syntax_offset = k.syntax_offset;
    drop_candidates(p, k.candidates);
    drop_frames(p);
    Frame &root = p.stack[0];
    root.count = k.root_children;
    if (root.count < 64) {
        jx__free(root.samples.ids);
        root.samples = {};
    } else {
        root.samples.n = std::min(root.samples.n, (root.count + 15) / 16);
    }
    p.depth = 0;
    p.top = p.stack;
    p.pending_key = JX_NONE;
    p.pending_flags = 0;
    seek(p);
    if (e > s && e[-1] == '\r') e--;
    JxNode *n = new_node(p);
    if (!n) return out_of_memory(p, off(p, s)), false;
    uint32_t id = d->count;
    if (!add_problem(p, err_off, id, msg)) return out_of_memory(p, err_off), false;
    uint32_t info = number_field(p, id, uint64_t(e - s), off(p, s));
    *n = {JX_NONE, off(p, s), id + 1, 0, JX_BAD | info};
    commit_node(p);
    p.stack[0].count = k.root_children + 1;
    if (k.root_children >= 64 && k.root_children % 16 == 0) add_sample(p, p.stack[0], id);
    return true;
}

const char *line_end(const Parser &p, const char *s) {
    const void *lf = std::memchr(s, '\n', size_t(p.end - s));
    return lf ? static_cast<const char *>(lf) : p.end;
}

void read_lines(Parser &p, const char *s) {
    while (s < p.end) {
        if (s >= p.checkpoint && !check(p, s)) return;
        Checkpoint k = take_checkpoint(p);
        const char *line = s;
        p.unterminated = nullptr;
        s = skip_ws(p, s);
        bool ok;
        if (p.unterminated) {
            ok = fail_at(p, s, JX_MSG_EOL);
        } else if (s >= p.end) {
            return;
        } else if (*s == '\n') {
            s++;
            add_line_once(p, off(p, s));
            continue;
        } else {
            ok = read_value(p, s);
            if (ok) {
                s = skip_ws(p, s);
                if (p.unterminated) ok = fail_at(p, s, JX_MSG_EOL);
                else if (s < p.end && *s != '\n') ok = fail_at(p, s, JX_MSG_EXPECTED_EOL);
            }
        }
        if (!ok) {
            if (p.cancelled || p.err_msg == JX_MSG_OOM) return;
            s = line_end(p, p.start + std::max(p.err_off, off(p, line)));
            if (!bad_record(p, k, line, s, p.err_off, p.err_msg)) return;
        }
        if (s >= p.end) return;
        s++;
        add_line_once(p, off(p, s));
    }
}

void read_values(Parser &p, const char *s) {
    for (;;) {
        if (s >= p.checkpoint && !check(p, s)) return;
        s = skip_ws(p, s);
        Checkpoint k = take_checkpoint(p);
        if (p.unterminated) {
            bad_record(p, k, p.unterminated, p.end, p.d->size, JX_MSG_EOF);
            return;
        }
        if (s >= p.end) return;
        const char *first = s;
        if (read_value(p, s)) continue;
        if (p.cancelled || p.err_msg == JX_MSG_OOM) return;
        const char *lf = line_end(p, std::max(p.start + p.err_off, first));
        if (!bad_record(p, k, first, lf, p.err_off, p.err_msg) || lf >= p.end) return;
        s = lf + 1;
        uint32_t resume = off(p, s);
        while (p.d->line_count > 0 && p.d->line_starts[p.d->line_count - 1] >= resume) p.d->line_count--;
        add_line(p, resume);
    }
}

/* Turns the nodes read so far into the first record of a new synthetic root. */
bool make_root(Parser &p) {
    JxDoc *d = p.d;
    uint32_t count = d->count;
    if (!new_node(p)) return false;
    for (uint32_t i = count; i > 0; i--) *jx__node(d, i) = *jx__node(d, i - 1);
    for (uint32_t i = 1; i <= count; i++) {
        JxNode *n = jx__node(d, i);
        n->end++;
        n->parent = n->parent == JX_NONE ? 0 : n->parent + 1;
    }
    for (uint32_t i = 0; i < d->big_count; i++) d->big[i].node++;
    for (uint32_t i = 0; i < p.candidate_count; i++) {
        Candidate &c = p.candidates[i];
        c.id++;
        for (uint32_t k = 0; k < c.samples.n; k++) c.samples.ids[k]++;
    }
    *jx__node(d, 0) = {JX_NONE, 0, count + 1, JX_NONE, JX_ARRAY};
    commit_node(p);
    p.stack[0].id = 0;
    return true;
}

void read_records(Parser &p, const char *s, bool lines) {
    JxDoc *d = p.d;
    if (!make_root(p)) {
        out_of_memory(p, off(p, s));
        return;
    }
    d->format = lines ? JX_FORMAT_LINES : JX_FORMAT_VALUES;
    p.line_mode = lines;
    if (lines)
        read_lines(p, s);
    else
        read_values(p, s);
    close_all(p);
    p.line_mode = false;
    close_top(p, p.stopped); /* the root */
    p.depth = 0;
    p.top = p.stack;
    if (p.stack[0].count == 0) d->count = 0;
}

/* Whether the rest of the line after s holds only spaces, tabs, CR and comments. */
bool line_ends_after(const Parser &p, const char *s) {
    for (;;) {
        while (*s == ' ' || *s == '\t' || *s == '\r') s++;
        if (*s == '/' && s[1] == '/') return true;
        if (*s == '/' && s[1] == '*') {
            const char *q = s + 2;
            while (q < p.end && *q != '\n' && !(*q == '*' && q[1] == '/')) q++;
            if (q >= p.end || *q == '\n') return false;
            s = q + 2;
            continue;
        }
        return *s == '\n' && s < p.end;
    }
}

/* Starts over in line mode from the first byte. */
void restart_as_lines(Parser &p) {
    JxDoc *d = p.d;
    d->count = 0;
    seek(p);
    d->big_count = 0;
    d->syntax = 0;
    d->syntax_offset = JX_NONE;
    d->line_count = 0;
    p.lines_stopped = false;
    add_line(p, 0);
    drop_candidates(p, 0);
    p.stack[0] = {JX_NONE, 0, 0, {}};
    p.depth = 0;
    p.top = p.stack;
    p.unterminated = nullptr;
    read_records(p, p.start, true);
}

void parse_document(Parser &p, bool lines) {
    JxDoc *d = p.d;
    p.stack[0] = {JX_NONE, 0, 0, {}};
    p.depth = 0;
    p.top = p.stack;
    d->format = JX_FORMAT_VALUE;
    if (lines) return read_records(p, p.start, true);
    const char *s = skip_ws(p, p.start);
    if (s >= p.end) {
        if (p.unterminated)
            add_problem(p, d->size, JX_NONE, JX_MSG_EOF);
        else if (p.strict)
            add_problem(p, off(p, s), JX_NONE, JX_MSG_EXPECTED_VALUE);
        return;
    }
    const char *first = s;
    if (!read_value(p, s)) {
        close_all(p);
        if (!p.cancelled) add_problem(p, p.err_off, JX_NONE, p.err_msg);
        return;
    }
    const char *after = s;
    s = skip_ws(p, s);
    if (s >= p.end) {
        if (p.unterminated) add_problem(p, d->size, JX_NONE, JX_MSG_EOF);
        return;
    }
    if (p.strict || !is(*s, C_START)) {
        bool comment = *s == '/' && (s[1] == '/' || s[1] == '*');
        add_problem(p, off(p, s), JX_NONE, comment ? JX_MSG_COMMENTS : JX_MSG_TRAILING_TEXT);
        return;
    }
    if (!std::memchr(first, '\n', size_t(after - first)) && line_ends_after(p, after))
        return restart_as_lines(p);
    read_records(p, s, false);
}

/* ---- finishing pass ---- */

void complete_lines(Parser &p) {
    JxDoc *d = p.d;
    if (p.lines_stopped || d->size == 0) return;
    const char *s = p.start + (d->line_count ? d->line_starts[d->line_count - 1] : 0);
    while (s < p.end) {
        const void *lf = std::memchr(s, '\n', size_t(p.end - s));
        if (!lf) break;
        s = static_cast<const char *>(lf) + 1;
        add_line(p, off(p, s));
        if (p.lines_stopped) return;
    }
}

bool long_line(const JxDoc *d) {
    if (d->size == 0 || d->line_count == 0) return false;
    if (d->size - d->line_starts[d->line_count - 1] > 10000) return true;
    for (uint32_t i = 0; i + 1 < d->line_count; i++) {
        uint32_t a = d->line_starts[i], b = d->line_starts[i + 1];
        if (b - a < 10002) continue;
        uint32_t len = b - a - 1;
        if (len > 0 && d->text[a + len - 1] == '\r') len--;
        if (len > 10000) return true;
    }
    return false;
}

void sort_big(JxDoc *d) {
    for (uint32_t i = 1; i < d->big_count; i++) {
        JxBig v = d->big[i];
        uint32_t j = i;
        for (; j > 0 && d->big[j - 1].node > v.node; j--) d->big[j] = d->big[j - 1];
        d->big[j] = v;
    }
}

void build_skip_index(Parser &p) {
    JxDoc *d = p.d;
    Candidate *c = p.candidates;
    uint32_t n = p.candidate_count;
    if (p.candidates_failed || n == 0) return;
    bool ascending = true;
    for (uint32_t i = 1; i < n && ascending; i++) ascending = c[i - 1].id < c[i].id;
    if (!ascending) std::sort(c, c + n, [](const Candidate &a, const Candidate &b) { return a.id < b.id; });
    auto count_of = [&](const Candidate &k) -> uint64_t {
        if (k.id >= d->count || !jx__is_container(jx__node(d, k.id)->info)) return 0;
        return jx__number(d, k.id, jx__node(d, k.id));
    };
    /* samples that disagree with a count: no index, queries walk children */
    for (uint32_t i = 0; i < n; i++) {
        uint64_t count = count_of(c[i]);
        if (count >= 64 && c[i].samples.n != (count + 15) / 16) return;
    }
    uint64_t samples = 0;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < n; i++) {
        if ((kept && c[kept - 1].id == c[i].id) || count_of(c[i]) < 64) {
            jx__free(c[i].samples.ids);
            continue;
        }
        samples += c[i].samples.n;
        c[kept++] = c[i];
    }
    p.candidate_count = kept;
    if (!kept || samples > 0xFFFFFFFFu) return;
    auto *heads = static_cast<JxSkipHead *>(jx__malloc(kept * sizeof(JxSkipHead)));
    auto *sample = static_cast<uint32_t *>(jx__malloc(samples * sizeof(uint32_t)));
    if (!heads || !sample) {
        jx__free(heads);
        jx__free(sample);
        return;
    }
    uint32_t at = 0;
    for (uint32_t i = 0; i < kept; i++) {
        heads[i] = {c[i].id, at};
        std::memcpy(sample + at, c[i].samples.ids, c[i].samples.n * sizeof(uint32_t));
        at += c[i].samples.n;
    }
    d->skip_heads = heads;
    d->skip_head_count = kept;
    d->skip_samples = sample;
}

void finish(Parser &p) {
    JxDoc *d = p.d;
    complete_lines(p);
    if (p.stopped && !p.oom_reported) add_problem(p, p.oom_off, JX_NONE, JX_MSG_OOM);
    if (d->line_count && d->line_count < p.line_cap) {
        auto *shrunk = static_cast<uint32_t *>(jx__realloc(d->line_starts, d->line_count * sizeof(uint32_t)));
        if (shrunk) d->line_starts = shrunk;
    }
    d->oom_problem = JX_NONE;
    for (uint32_t i = 0; i < d->problem_count; i++) {
        if (d->problems[i].message == JX_MSG_OOM) {
            d->oom_problem = i;
            break;
        }
    }
    if (d->problem_count) {
        jx__error_make(d, 0, &d->first_problem);
        if (d->problem_count > 1) {
            uint32_t blocks = (d->problem_count - 1) / 1024 + 1;
            d->problem_blocks = static_cast<std::atomic<jx_problem *> *>(jx__calloc(blocks, sizeof(void *)));
            if (d->problem_blocks) d->block_count = blocks;
        }
    }
    d->minified = long_line(d);
    sort_big(d);
    build_skip_index(p);
    if (d->count == 0) d->format = JX_FORMAT_EMPTY;
}

void free_parser(Parser &p) {
    jx__prefault_join(&p.pf);
    drop_candidates(p, 0);
    if (p.stack) {
        drop_frames(p);
        jx__free(p.stack[0].samples.ids);
    }
    jx__free(p.reserve);
    jx__free(p.stack);
    jx__free(p.candidates);
}

/* Detects a byte order mark; converts UTF-16 into a new buffer. */
int decode_bom(JxDoc *d, const jx_progress *progress) {
    const unsigned char *b = reinterpret_cast<const unsigned char *>(d->buffer);
    if (d->size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        d->text += 3;
        d->size -= 3;
        d->encoding = "UTF-8 with BOM";
        return JX_OK;
    }
    if (d->size < 2 || !((b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0xFF && b[1] == 0xFE))) return JX_OK;
    bool be = b[0] == 0xFE;
    uint64_t n = jx__utf16(b + 2, d->size - 2, be, nullptr, progress);
    if (n == UINT64_MAX) return JX_CANCELLED;
    if (n > JX_MAX_SIZE) return JX_TOO_BIG;
    char *out = jx_buf_alloc(n);
    if (!out) return JX_NO_MEMORY;
    if (jx__utf16(b + 2, d->size - 2, be, out, progress) == UINT64_MAX) {
        jx_buf_free(out);
        return JX_CANCELLED;
    }
    jx_buf_free(d->buffer);
    d->buffer = out;
    d->text = out;
    d->size = uint32_t(n);
    d->encoding = be ? "UTF-16 BE" : "UTF-16 LE";
    return JX_OK;
}

}  // namespace

uint64_t jx__utf16(const unsigned char *in, uint64_t length, bool be, char *out, const jx_progress *progress) {
    auto unit = [&](uint64_t i) -> uint32_t {
        return be ? (uint32_t(in[i]) << 8 | in[i + 1]) : (uint32_t(in[i + 1]) << 8 | in[i]);
    };
    auto put = [&](uint64_t &n, const char *bytes, int k) {
        if (out) std::memcpy(out + n, bytes, size_t(k));
        n += uint64_t(k);
    };
    uint64_t i = 0, n = 0, next_poll = STEP;
    while (i + 1 < length) {
        if (i >= next_poll) {
            if (jx__cancel_requested(progress)) return UINT64_MAX;
            next_poll += STEP;
        }
        if (i + 8 <= length) {
            uint64_t w = jx__load8(in + i);
            uint64_t high = be ? 0x00FF00FF00FF00FFull : 0xFF00FF00FF00FF00ull;
            if (!(w & (high | 0x8080808080808080ull))) {
                char four[4];
                for (int k = 0; k < 4; k++) four[k] = char(in[i + 2 * k + (be ? 1 : 0)]);
                put(n, four, 4);
                i += 8;
                continue;
            }
        }
        uint32_t u = unit(i);
        i += 2;
        uint32_t cp = u;
        if (u >= 0xD800 && u <= 0xDFFF) {
            cp = JX_REPLACEMENT;
            if (u <= 0xDBFF && i + 1 < length) {
                uint32_t lo = unit(i);
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    cp = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                    i += 2;
                }
            }
        }
        char buf[4];
        put(n, buf, int(jx__utf8_put(cp, buf)));
    }
    if (i < length) put(n, "\xEF\xBF\xBD", 3);
    return n;
}

extern "C" JxDoc *jx_parse(char *bytes, size_t length, const jx_parse_options *options,
                           const jx_progress *progress, int *status) {
    int dummy;
    int &st = status ? *status : dummy;
    if (length > JX_MAX_SIZE) {
        jx_buf_free(bytes);
        return st = JX_TOO_BIG, nullptr;
    }
    if (!bytes) return st = JX_NO_MEMORY, nullptr;
    if (jx__cancel_requested(progress)) {
        jx_buf_free(bytes);
        return st = JX_CANCELLED, nullptr;
    }
    void *mem = jx__calloc(1, sizeof(JxDoc));
    if (!mem) {
        jx_buf_free(bytes);
        return st = JX_NO_MEMORY, nullptr;
    }
    JxDoc *d = new (mem) JxDoc{};
    d->refs.store(1, std::memory_order_relaxed);
    d->text = d->buffer = bytes;
    d->size = uint32_t(length);
    d->encoding = "UTF-8";
    d->syntax_offset = JX_NONE;
    d->oom_problem = JX_NONE;
    if (int rc = decode_bom(d, progress); rc != JX_OK) {
        jx_doc_release(d);
        return st = rc, nullptr;
    }

    Parser p{};
    p.d = d;
    p.start = d->text;
    p.end = d->text + d->size;
    p.strict = options && (options->strict & 1);
    p.progress = progress;
    p.pending_key = JX_NONE;
    p.prefetch = d->size >= (128u << 20);
    advance_checkpoint(p, p.start);
    bool ok = grow_array(p.stack, p.stack_cap, 64);
    if (ok) p.stack[0] = {JX_NONE, 0, 0, {}};
    ok = ok && grow_array(d->problems, p.problem_cap, 2);
    if (ok) {
        uint32_t want = std::max<uint32_t>(d->size / 32, 1024);
        d->line_starts = static_cast<uint32_t *>(jx__malloc(size_t(want) * sizeof(uint32_t)));
        if (!d->line_starts && want > 1024) {
            want = 1024;
            d->line_starts = static_cast<uint32_t *>(jx__malloc(size_t(want) * sizeof(uint32_t)));
        }
        p.line_cap = d->line_starts ? want : 0;
        jx__hint_huge(d->line_starts, size_t(p.line_cap) * sizeof(uint32_t));
        ok = d->line_starts != nullptr;
    }
    if (!ok) {
        free_parser(p);
        jx_doc_release(d);
        return st = JX_NO_MEMORY, nullptr;
    }
    if (d->size) add_line(p, 0);

    parse_document(p, options && (options->lines & 1));

    if (p.cancelled || cancel_requested(p)) {
        free_parser(p);
        jx_doc_release(d);
        return st = JX_CANCELLED, nullptr;
    }
    finish(p);
    free_parser(p);
    jx__report(progress, d->size, d->size);
    st = JX_OK;
    return d;
}
