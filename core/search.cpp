/* search.cpp: the search run (hit chunks, the node walk, Oniguruma) and the public API. */
#include "search_int.h"

#include <oniguruma.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <thread>

#include "alloc.h"
#include "decode_int.h"
#include "doc_int.h"
#include "literals_int.h"
#include "progress_int.h"
#include "scanner_int.h"

static constexpr uint32_t DEFAULT_CAP = 10000000;
static constexpr uint32_t CHUNK_SHIFT = 16;
static constexpr uint32_t CHUNK_HITS = 1u << CHUNK_SHIFT;
static constexpr uint32_t BATCH_NODES = 1000000;
static constexpr uint64_t BYTE_STEP = 16u << 20;
static constexpr size_t PAD = JX_SCAN_PAD;
static constexpr size_t LOCAL_SCRATCH = 512;
static constexpr size_t LOCAL_RANGES = 1016;

static std::atomic<bool> g_force_words{false};
static std::atomic<bool> g_no_literals{false};

/* 0 not started, 1 under way, 2 done. */
static std::atomic<int> g_onig_state{0};

namespace {

/* The life of a search (see jx/search.h). jx_search_run takes it from MADE
 * to RUNNING and on to ENDED. jx_search_free during the run takes it from
 * RUNNING to RETIRED instead of freeing it, and the run frees it on its way
 * out. Both moves out of RUNNING are compare-and-swaps, so exactly one side
 * sees the other's move and frees the search. */
enum : uint8_t {
    MADE = 0,
    RUNNING = 1,
    ENDED = 2,
    RETIRED = 3
};

/* A buffer that decoded keys and values are written to, with PAD zero bytes after them. */
struct Scratch {
    uint8_t *p;
    size_t cap;
    uint8_t *local; /* the caller's stack buffer, never freed */
};

/* What testing a node gives. */
enum : int {
    NO = 0,
    YES = 1,
    FAIL = -1,
    STOP = -2
};

/* What storing a hit gives. */
enum : int {
    ADDED = 0,
    CAPPED = 1,
    NO_MEMORY = -1
};

}  // namespace

struct JxSearch {
    JxDoc *doc = nullptr;
    uint8_t regex = 0;
    uint8_t keys = 0;
    uint8_t values = 0;
    uint32_t cap = 0;
    jx_scanner scan{};
    OnigRegex re = nullptr;
    /* Regular expression: scanners for the literals one of which every match
     * holds (none when unknown) and, ignoring case, one for bytes above 0x7F. */
    jx_scanner lit[JX_LITERALS_MAX]{};
    uint32_t lit_count = 0;
    uint8_t high = 0;
    jx_scanner high_scan{};
    uint32_t **chunks = nullptr;
    uint32_t chunk_count = 0;
    uint32_t hit_limit = 0; /* min(node count, cap): no run can store more */
    std::atomic<uint32_t> count{0};
    std::atomic<uint8_t> capped{0};
    std::atomic<uint8_t> finished{0};
    std::atomic<uint8_t> state{MADE};
    uint8_t *scratch = nullptr;
    size_t scratch_cap = 0;
};

/* ---- UTF-8 ---- */

/* Length of the valid UTF-8 sequence at p (shortest form, no surrogates,
 * nothing above U+10FFFF), or 0 when p does not start one before end. */
static int utf8_len(const uint8_t *p, const uint8_t *end) {
    return *p < 0x80 ? 1 : int(jx__utf8_len(p, end));
}

static bool valid_utf8(const uint8_t *p, const uint8_t *end) {
    while (p < end) {
        while (end - p >= 8 && (jx__load8(p) & 0x8080808080808080ull) == 0) p += 8;
        if (p >= end) break;
        if (*p < 0x80) {
            ++p;
            continue;
        }
        int n = utf8_len(p, end);
        if (n == 0) return false;
        p += n;
    }
    return true;
}

/* ---- decoding into a scratch buffer ---- */

static void scratch_drop(Scratch &sc) {
    if (sc.p != sc.local) jx__free(sc.p);
    sc.p = sc.local;
    sc.cap = 0;
}

/* Decodes the span into sc, followed by PAD zero bytes; false when memory runs out. */
static bool decode(const jx_span &sp, Scratch &sc, size_t *n) {
    jx_cursor c = jx__cursor(reinterpret_cast<char *>(sc.p), sc.cap);
    jx__decode(&c, sp.p, sp.len, sp.escaped);
    size_t len = c.total;
    if (len + PAD > sc.cap) {
        if (len > SIZE_MAX / 2 - PAD) return false;
        size_t cap = len + PAD;
        cap += cap / 2;
        uint8_t *np = static_cast<uint8_t *>(jx__malloc(cap));
        if (!np) return false;
        scratch_drop(sc);
        sc.p = np;
        sc.cap = cap;
        c = jx__cursor(reinterpret_cast<char *>(sc.p), sc.cap);
        jx__decode(&c, sp.p, sp.len, sp.escaped);
        len = c.total;
    }
    std::memset(sc.p + len, 0, PAD);
    *n = len;
    return true;
}

/* ---- one node ---- */

static const uint8_t *u8(const char *p) { return reinterpret_cast<const uint8_t *>(p); }

static int regex_text(const JxSearch *s, const uint8_t *b, const uint8_t *e) {
    int r = onig_search(s->re, b, e, b, e, nullptr, ONIG_OPTION_NONE);
    if (r >= 0) return YES;
    return r == ONIGERR_MEMORY ? FAIL : NO;
}

static int test_text(const JxSearch *s, const uint8_t *b, const uint8_t *e) {
    if (s->regex) return regex_text(s, b, e);
    const uint8_t *mend;
    return jx__scan_find(&s->scan, b, e, &mend) ? YES : NO;
}

/* Tests a key or value span without the run's cursor. */
static int test_span(const JxSearch *s, const jx_span &sp, Scratch &sc) {
    if (!sp.p) return test_text(s, u8(""), u8(""));
    /* Oniguruma is promised valid UTF-8; the decoder repairs what is not. */
    if (!sp.escaped && (!s->regex || valid_utf8(u8(sp.p), u8(sp.p) + sp.len)))
        return test_text(s, u8(sp.p), u8(sp.p) + sp.len);
    size_t n;
    if (!decode(sp, sc, &n)) return FAIL;
    return test_text(s, sc.p, sc.p + n);
}

static int test_node(const JxSearch *s, uint32_t id, Scratch &sc) {
    const JxNode *nd = jx__node(s->doc, id);
    if (s->keys && nd->key_off != JX_NONE) {
        int r = test_span(s, jx__key_span(s->doc, id), sc);
        if (r != NO) return r;
    }
    if (s->values && !jx__is_container(nd->info)) return test_span(s, jx__val_span(s->doc, id), sc);
    return NO;
}

/* ---- the run ---- */

/* Whether the caller asked the run to stop, or freed the search meanwhile. */
static bool stop_requested(const JxSearch *s, const jx_progress *pr) {
    return jx__cancel_requested(pr) || s->state.load(std::memory_order_relaxed) == RETIRED;
}

static int add_hit(JxSearch *s, uint32_t id) {
    uint32_t n = s->count.load(std::memory_order_relaxed); /* only the run writes it */
    uint32_t c = n >> CHUNK_SHIFT;
    if (!s->chunks[c]) {
        /* The last chunk is cut to what the run can store, so small documents stay small. */
        uint32_t room = std::min<uint32_t>(CHUNK_HITS, s->hit_limit - (c << CHUNK_SHIFT));
        s->chunks[c] = static_cast<uint32_t *>(jx__malloc(size_t(room) * sizeof(uint32_t)));
        if (!s->chunks[c]) return NO_MEMORY;
    }
    s->chunks[c][n & (CHUNK_HITS - 1)] = id;
    s->count.store(n + 1, std::memory_order_seq_cst);
    return n + 1 >= s->cap ? CAPPED : ADDED;
}

static int finish(JxSearch *s, const jx_progress *pr) {
    uint64_t size = s->doc ? s->doc->size : 0;
    jx__report(pr, size, size);
    s->finished.store(1, std::memory_order_seq_cst);
    return JX_OK;
}

static int cap_reached(JxSearch *s, const jx_progress *pr) {
    s->capped.store(1, std::memory_order_seq_cst);
    return finish(s, pr);
}

/* Visits the nodes in batches ending at every millionth node, at node chunk
 * boundaries and once 16 MiB of text have passed; between batches it reports
 * progress and honours the cancel flag. visit(id, node) returns NO, YES, FAIL
 * or STOP. */
template <typename Visit>
static int walk(JxSearch *s, const jx_progress *pr, Visit &&visit) {
    const JxDoc *d = s->doc;
    const uint32_t n = d->count;
    uint64_t mark = BYTE_STEP;
    uint32_t id = 0;
    while (id < n) {
        uint64_t bend = std::min<uint64_t>({n, (uint64_t(id) / BATCH_NODES + 1) * BATCH_NODES,
                                            ((uint64_t(id) >> JX_CHUNK_SHIFT) + 1) << JX_CHUNK_SHIFT});
        const JxNode *nd = jx__node(d, id);
        for (; id < bend; ++id, ++nd) {
            if (nd->val_off > mark) break;
            int r = visit(id, nd);
            if (r == NO) continue;
            if (r == FAIL) return JX_NO_MEMORY;
            if (r == STOP) return JX_CANCELLED;
            int a = add_hit(s, id);
            if (a == NO_MEMORY) return JX_NO_MEMORY;
            if (a == CAPPED) return cap_reached(s, pr);
        }
        if (id >= n) break;
        uint32_t off = jx__node(d, id)->val_off;
        jx__report(pr, off, d->size);
        if (stop_requested(s, pr)) return JX_CANCELLED;
        mark = uint64_t(off) + BYTE_STEP;
    }
    return finish(s, pr);
}

static int run_regex(JxSearch *s, const jx_progress *pr) {
    Scratch sc{s->scratch, s->scratch_cap, nullptr};
    int r = walk(s, pr, [&](uint32_t id, const JxNode *) {
        if (stop_requested(s, pr)) return int(STOP); /* one match can be slow: ask before each node */
        return test_node(s, id, sc);
    });
    s->scratch = sc.p;
    s->scratch_cap = sc.cap;
    return r;
}

/* Plain search: one cursor walks the whole text to the next candidate; a
 * node's key or value is looked at only when the cursor lies inside it, so
 * most nodes cost a few comparisons. No candidate lies before the cursor in
 * the stretch last scanned. */
static int run_plain(JxSearch *s, const jx_progress *pr) {
    const JxDoc *d = s->doc;
    const uint8_t *text = reinterpret_cast<const uint8_t *>(d->text);
    const uint8_t *tend = text + d->size;
    const uint8_t *cur = text;
    const bool keys = s->keys, values = s->values;
    Scratch sc{s->scratch, s->scratch_cap, nullptr};
    int r = walk(s, pr, [&](uint32_t id, const JxNode *nd) -> int {
        const uint32_t info = nd->info;
        const uint8_t *mend;
        if (keys && nd->key_off != JX_NONE) {
            if (jx__flags_of(nd) & JX_F_KEY_ESCAPED) {
                size_t len;
                if (!decode(jx__key_span(d, id), sc, &len)) return FAIL;
                if (jx__scan_find(&s->scan, sc.p, sc.p + len, &mend)) return YES;
            } else {
                const uint8_t *k = text + nd->key_off, *v = text + nd->val_off;
                if (cur < k) cur = jx__scan_next(&s->scan, k, values ? tend : v);
                if (cur < v) {
                    jx_span sp = jx__key_span(d, id);
                    const uint8_t *b = u8(sp.p), *e = b + sp.len;
                    if (b && cur < e && jx__scan_find(&s->scan, std::max(b, cur), e, &mend)) return YES;
                }
            }
        }
        if (!values || jx__is_container(info)) return NO;
        if ((info & 7) == JX_STRING && (jx__flags_of(nd) & JX_F_ESCAPED)) {
            /* Escapes can spell the query without a candidate byte in the text. */
            size_t len;
            if (!decode(jx__val_span(d, id), sc, &len)) return FAIL;
            return jx__scan_find(&s->scan, sc.p, sc.p + len, &mend) ? YES : NO;
        }
        const uint8_t *v = text + nd->val_off;
        if (cur < v) cur = jx__scan_next(&s->scan, v, tend);
        if (cur >= v + (info >> 8) && !(info & JX_BIG_MARK)) return NO; /* the usual case: nothing inside */
        jx_span sp = jx__val_span(d, id);
        if (!sp.p) return NO;
        const uint8_t *b = u8(sp.p), *e = b + sp.len;
        return cur < e && jx__scan_find(&s->scan, std::max(b, cur), e, &mend) ? YES : NO;
    });
    s->scratch = sc.p;
    s->scratch_cap = sc.cap;
    return r;
}

/* A regular expression with literals: one cursor per literal (and, ignoring
 * case, one for bytes above 0x7F) goes ahead through the text as in the plain
 * search, and only the keys and values a cursor stops in go to the engine. */
static int run_filtered(JxSearch *s, const jx_progress *pr) {
    const JxDoc *d = s->doc;
    const uint8_t *text = reinterpret_cast<const uint8_t *>(d->text);
    const uint8_t *tend = text + d->size;
    const bool keys = s->keys, values = s->values, high = s->high;
    const uint32_t count = s->lit_count;
    const uint8_t *cur[JX_LITERALS_MAX];
    std::fill(cur, cur + count, text);
    const uint8_t *hcur = text;
    Scratch sc{s->scratch, s->scratch_cap, nullptr};

    /* Moves the cursors that lie before start to their next candidates, up to
     * limit; true when one lies before end. */
    auto ahead = [&](const uint8_t *start, const uint8_t *limit, const uint8_t *end) {
        bool any = false;
        if (high) {
            if (hcur < start) hcur = jx__scan_next(&s->high_scan, start, limit);
            any = hcur < end;
        }
        for (uint32_t i = 0; i < count; ++i) {
            if (cur[i] < start) cur[i] = jx__scan_next(&s->lit[i], start, limit);
            any |= cur[i] < end;
        }
        return any;
    };
    /* Whether the span, reached by the cursors, holds a literal or a byte
     * above 0x7F (before it only its opening quote lies, which is neither). */
    auto holds = [&](const jx_span &sp) {
        if (!sp.p) return false;
        const uint8_t *b = u8(sp.p), *e = b + sp.len, *mend;
        if (high && hcur < e) return true;
        for (uint32_t i = 0; i < count; ++i)
            if (cur[i] < e && jx__scan_find(&s->lit[i], std::max(b, cur[i]), e, &mend)) return true;
        return false;
    };
    /* The same for a decoded text, which the cursors do not see. */
    auto decoded = [&](const jx_span &sp) -> int {
        size_t len;
        if (!decode(sp, sc, &len)) return FAIL;
        const uint8_t *b = sc.p, *e = b + len, *mend;
        bool hit = high && jx__scan_next(&s->high_scan, b, e) < e;
        for (uint32_t i = 0; i < count && !hit; ++i) hit = jx__scan_find(&s->lit[i], b, e, &mend);
        if (!hit) return NO;
        if (stop_requested(s, pr)) return STOP;
        return regex_text(s, b, e);
    };
    auto engine = [&](const jx_span &sp) -> int {
        if (stop_requested(s, pr)) return STOP; /* one match can be slow: ask before each */
        return test_span(s, sp, sc);
    };

    int r = walk(s, pr, [&](uint32_t id, const JxNode *nd) -> int {
        const uint32_t info = nd->info;
        if (keys && nd->key_off != JX_NONE) {
            int k = NO;
            if (jx__flags_of(nd) & JX_F_KEY_ESCAPED) {
                k = decoded(jx__key_span(d, id));
            } else {
                const uint8_t *v = text + nd->val_off;
                if (ahead(text + nd->key_off, values ? tend : v, v)) {
                    jx_span sp = jx__key_span(d, id);
                    if (holds(sp)) k = engine(sp);
                }
            }
            if (k != NO) return k;
        }
        if (!values || jx__is_container(info)) return NO;
        if ((info & 7) == JX_STRING && (jx__flags_of(nd) & JX_F_ESCAPED)) return decoded(jx__val_span(d, id));
        const uint8_t *v = text + nd->val_off;
        if (!ahead(v, tend, info & JX_BIG_MARK ? tend : v + (info >> 8))) return NO; /* the usual case */
        jx_span sp = jx__val_span(d, id);
        return holds(sp) ? engine(sp) : NO;
    });
    s->scratch = sc.p;
    s->scratch_cap = sc.cap;
    return r;
}

/* ---- Oniguruma ---- */

/* onig_initialize must run once per process, before any onig_new, even when
 * two searches are made at the same time on different threads. */
static int onig_once() {
    for (;;) {
        int st = g_onig_state.load(std::memory_order_acquire);
        if (st == 2) return ONIG_NORMAL;
        if (st == 0 && g_onig_state.compare_exchange_strong(st, 1, std::memory_order_acq_rel)) {
            OnigEncoding enc[1] = {ONIG_ENCODING_UTF8};
            int r = onig_initialize(enc, 1);
            /* A failed start leaves the state open for a later attempt. */
            g_onig_state.store(r == ONIG_NORMAL ? 2 : 0, std::memory_order_release);
            return r;
        }
        std::this_thread::yield();
    }
}

static void put_err(char *err, size_t err_size, const char *msg) {
    jx__copy_text(msg, std::strlen(msg), err, err_size);
}

static void put_onig_err(char *err, size_t err_size, int code, OnigErrorInfo *info) {
    OnigUChar msg[ONIG_MAX_ERROR_MESSAGE_LEN + 1] = {};
    if (info)
        onig_error_code_to_str(msg, code, info);
    else
        onig_error_code_to_str(msg, code);
    msg[ONIG_MAX_ERROR_MESSAGE_LEN] = 0;
    put_err(err, err_size, msg[0] ? reinterpret_cast<const char *>(msg) : "invalid regular expression");
}

static uint32_t hit_at(const JxSearch *s, uint32_t i) {
    return s->chunks[i >> CHUNK_SHIFT][i & (CHUNK_HITS - 1)];
}

/* First hit number in [0, n) whose node is >= node (n when none). Hits
 * ascend, and the first n of them never change while the run adds more:
 * the chunk comes from the last hit of each full chunk, then the place in it. */
static uint32_t lower_bound(const JxSearch *s, uint32_t n, uint32_t node) {
    uint32_t *const *chunks = s->chunks, *const *full_end = chunks + (n >> CHUNK_SHIFT);
    uint32_t *const *c = std::partition_point(chunks, full_end,
                                              [node](const uint32_t *h) { return h[CHUNK_HITS - 1] < node; });
    const uint32_t base = uint32_t(c - chunks) << CHUNK_SHIFT;
    const uint32_t size = std::min(n - base, CHUNK_HITS);
    if (size == 0) return n;
    return base + uint32_t(std::lower_bound(*c, *c + size, node) - *c);
}

/* Frees the search and everything it holds; whoever calls it owns it alone. */
static void destroy(JxSearch *s) {
    if (s->chunks)
        for (uint32_t i = 0; i < s->chunk_count; ++i) jx__free(s->chunks[i]);
    jx__free(s->chunks);
    jx__scanner_free(&s->scan);
    for (jx_scanner &l : s->lit) jx__scanner_free(&l);
    if (s->re) onig_free(s->re);
    jx__free(s->scratch);
    jx_doc_release(s->doc);
    s->~JxSearch();
    jx__free(s);
}

/* ---- internal interface ---- */

void jx__search_force_words(bool on) { g_force_words.store(on, std::memory_order_relaxed); }

void jx__search_no_literals(bool on) { g_no_literals.store(on, std::memory_order_relaxed); }

/* ---- public interface ---- */

extern "C" JxSearch *jx_search_new(JxDoc *doc, const char *query, size_t len, const JxSearchOptions *options,
                                   char *err, size_t err_size) {
    if (err && err_size) err[0] = 0;
    if (!doc || !query || len == 0) return nullptr;
    JxSearchOptions opt{};
    if (options) opt = *options;
    if (opt.regex && !valid_utf8(reinterpret_cast<const uint8_t *>(query),
                                 reinterpret_cast<const uint8_t *>(query) + len)) {
        put_onig_err(err, err_size, ONIGERR_INVALID_CODE_POINT_VALUE, nullptr);
        return nullptr;
    }
    void *mem = jx__calloc(1, sizeof(JxSearch));
    if (!mem) {
        put_err(err, err_size, "out of memory");
        return nullptr;
    }
    JxSearch *s = new (mem) JxSearch();
    s->regex = opt.regex ? 1 : 0;
    s->keys = opt.scope != JX_SCOPE_VALUES;
    s->values = opt.scope != JX_SCOPE_KEYS;
    s->cap = opt.max_hits ? opt.max_hits : DEFAULT_CAP;
    s->hit_limit = std::min(jx_doc_count(doc), s->cap);
    s->chunk_count =
        std::max<uint32_t>(1, uint32_t((uint64_t(s->hit_limit) + CHUNK_HITS - 1) >> CHUNK_SHIFT));
    s->chunks = static_cast<uint32_t **>(jx__calloc(s->chunk_count, sizeof(uint32_t *)));
    if (!s->chunks) {
        destroy(s);
        put_err(err, err_size, "out of memory");
        return nullptr;
    }
    const bool simd = !g_force_words.load(std::memory_order_relaxed);
    if (!s->regex) {
        if (!jx__scanner_init(&s->scan, reinterpret_cast<const uint8_t *>(query), len, opt.match_case,
                              simd)) {
            destroy(s);
            put_err(err, err_size, "out of memory");
            return nullptr;
        }
    } else {
        int r = onig_once();
        OnigErrorInfo info{};
        if (r == ONIG_NORMAL) {
            const OnigUChar *q = reinterpret_cast<const OnigUChar *>(query);
            r = onig_new(&s->re, q, q + len, opt.match_case ? ONIG_OPTION_NONE : ONIG_OPTION_IGNORECASE,
                         ONIG_ENCODING_UTF8, ONIG_SYNTAX_ONIGURUMA, &info);
        }
        if (r != ONIG_NORMAL) {
            s->re = nullptr;
            if (r == ONIGERR_MEMORY)
                put_err(err, err_size, "out of memory");
            else
                put_onig_err(err, err_size, r, &info);
            destroy(s);
            return nullptr;
        }
        jx_literals lits;
        lits.count = 0;
        if (!g_no_literals.load(std::memory_order_relaxed))
            jx__regex_literals(reinterpret_cast<const uint8_t *>(query), len, opt.match_case, &lits);
        for (; s->lit_count < lits.count; ++s->lit_count) {
            if (!jx__scanner_init(&s->lit[s->lit_count], lits.text[s->lit_count], lits.len[s->lit_count],
                                  opt.match_case, simd)) {
                destroy(s);
                put_err(err, err_size, "out of memory");
                return nullptr;
            }
        }
        s->high = lits.count && !opt.match_case;
        if (s->high) jx__scanner_init_high(&s->high_scan, simd);
    }
    s->doc = jx_doc_retain(doc);
    return s;
}

extern "C" void jx_search_free(JxSearch *s) {
    if (!s) return;
    uint8_t st = s->state.load(std::memory_order_acquire);
    while (st == RUNNING)
        if (s->state.compare_exchange_weak(st, RETIRED, std::memory_order_acq_rel, std::memory_order_acquire))
            return;            /* the run frees it as it returns */
    if (st == RETIRED) return; /* freed twice during the run: the run still frees it once */
    destroy(s);
}

extern "C" int jx_search_run(JxSearch *s, const jx_progress *progress) {
    if (!s) return JX_NO_MEMORY;
    uint8_t st = MADE;
    if (!s->state.compare_exchange_strong(st, RUNNING, std::memory_order_acq_rel)) return JX_REFUSED;
    int r;
    if (jx__cancel_requested(progress))
        r = JX_CANCELLED;
    else if (s->doc->count == 0)
        r = finish(s, progress);
    else
        r = !s->regex      ? run_plain(s, progress)
            : s->lit_count ? run_filtered(s, progress)
                           : run_regex(s, progress);
    st = RUNNING;
    if (!s->state.compare_exchange_strong(st, ENDED, std::memory_order_acq_rel))
        destroy(s); /* retired meanwhile */
    return r;
}

extern "C" uint32_t jx_search_count(const JxSearch *s) {
    return s ? s->count.load(std::memory_order_acquire) : 0;
}

extern "C" uint32_t jx_search_hit(const JxSearch *s, uint32_t i) {
    if (!s || i >= s->count.load(std::memory_order_acquire)) return JX_NONE;
    return hit_at(s, i);
}

extern "C" int jx_search_finished(const JxSearch *s) {
    return s ? s->finished.load(std::memory_order_acquire) : 0;
}

extern "C" int jx_search_capped(const JxSearch *s) {
    return s ? s->capped.load(std::memory_order_acquire) : 0;
}

extern "C" uint32_t jx_search_next(const JxSearch *s, uint32_t node, int backward) {
    uint32_t n = jx_search_count(s);
    if (n == 0) return JX_NONE;
    if (backward) {
        uint32_t i = lower_bound(s, n, node);
        return i == 0 ? n - 1 : i - 1;
    }
    if (node == JX_NONE) return 0;
    uint32_t i = lower_bound(s, n, node + 1);
    return i == n ? 0 : i;
}

extern "C" uint32_t jx_search_index_of(const JxSearch *s, uint32_t node) {
    uint32_t n = jx_search_count(s);
    if (n == 0 || node == JX_NONE) return JX_NONE;
    uint32_t i = lower_bound(s, n, node);
    return i < n && hit_at(s, i) == node ? i : JX_NONE;
}

extern "C" int jx_search_matches(const JxSearch *s, uint32_t node) {
    if (!s || !jx__valid(s->doc, node)) return 0;
    uint8_t local[LOCAL_SCRATCH];
    Scratch sc{local, sizeof local, local};
    int r = test_node(s, node, sc);
    scratch_drop(sc);
    return r == YES;
}

extern "C" uint32_t jx_search_ranges(const JxSearch *s, const char *text, uint32_t len, int is_key,
                                     uint32_t *starts, uint32_t *lengths, uint32_t max) {
    if (!s || (is_key ? !s->keys : !s->values) || (!text && len > 0)) return 0;
    uint8_t local[LOCAL_RANGES + PAD];
    uint8_t *buf = local;
    if (len >= LOCAL_RANGES) {
        buf = static_cast<uint8_t *>(jx__malloc(size_t(len) + PAD));
        if (!buf) return 0;
    }
    if (len) std::memcpy(buf, text, len);
    std::memset(buf + len, 0, PAD);
    const uint8_t *end = buf + len;
    const bool record = starts && lengths;
    uint32_t count = 0;
    auto put = [&](const uint8_t *b, const uint8_t *e) {
        if (record && count < max) {
            starts[count] = uint32_t(b - buf);
            lengths[count] = uint32_t(e - b);
        }
        ++count;
    };
    if (s->regex) {
        /* Oniguruma is promised valid UTF-8; a substitute byte keeps every offset in place. */
        for (uint8_t *p = buf; p < end;) {
            int n = utf8_len(p, end);
            if (n == 0) {
                *p++ = 0x1A;
            } else {
                p += n;
            }
        }
        OnigRegion *region = onig_region_new();
        if (!region) {
            if (buf != local) jx__free(buf);
            return 0;
        }
        const uint8_t *p = buf;
        while (p <= end) {
            int r = onig_search(s->re, buf, end, p, end, region, ONIG_OPTION_NONE);
            if (r < 0 || region->num_regs < 1) break;
            const uint8_t *mb = buf + region->beg[0], *me = buf + region->end[0];
            if (me > mb) {
                put(mb, me);
                p = me;
                continue;
            }
            /* An empty match is not shown; step over one character after it. */
            if (mb >= end) break;
            p = mb + jx__char_len(mb, end);
        }
        onig_region_free(region, 1);
    } else {
        /* Plain text may be part of a character (a lone lead or continuation
         * byte), but what is marked is shown: each match widens to the whole
         * characters it touches, and matches that then share a character are
         * one. ch is the start of a character at or before the next match. */
        const uint8_t *p = buf, *mend = nullptr, *ch = buf, *last = nullptr;
        while (const uint8_t *m = jx__scan_find(&s->scan, p, end, &mend)) {
            for (const uint8_t *next; (next = ch + jx__char_len(ch, end)) <= m;) ch = next;
            const uint8_t *e = ch;
            while (e < mend) e += jx__char_len(e, end);
            if (last && ch < last) {
                if (record && count <= max) lengths[count - 1] = uint32_t(e - buf) - starts[count - 1];
            } else {
                put(ch, e);
            }
            last = e;
            p = mend;
        }
    }
    if (buf != local) jx__free(buf);
    return count;
}
