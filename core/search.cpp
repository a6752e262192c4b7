#include "search_int.h"

#include <oniguruma.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <new>
#include <thread>

#include "alloc.h"
#include "doc_int.h"
#include "progress_int.h"
#include "decode_int.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define JX_SEARCH_SIMD 1
#else
#define JX_SEARCH_SIMD 0
#endif

static_assert(std::endian::native == std::endian::little, "the word scan numbers bytes from the low end");

namespace {

constexpr uint32_t kDefaultCap = 10000000;
constexpr uint32_t kChunkShift = 16;
constexpr uint32_t kChunkHits = 1u << kChunkShift;
constexpr uint32_t kBatchNodes = 1000000;
constexpr uint64_t kByteStep = 16u << 20;
constexpr size_t kPad = 64; /* zero bytes after any text the scanner reads: it loads whole blocks */
constexpr size_t kLocalScratch = 512;
constexpr size_t kLocalRanges = 1016;

/* Lower case of U+00C0..U+017F (simple mapping), indexed by code point - 0xC0.
 * U+0130 maps to ASCII "i" so that a dotted capital I finds a plain i. */
constexpr uint16_t fold_cp(uint32_t c) {
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return uint16_t(c + 0x20);
    if (c == 0x130) return 'i';
    if (c >= 0x100 && c <= 0x137 && c % 2 == 0) return uint16_t(c + 1);
    if (c >= 0x139 && c <= 0x148 && c % 2 == 1) return uint16_t(c + 1);
    if (c >= 0x14A && c <= 0x177 && c % 2 == 0) return uint16_t(c + 1);
    if (c == 0x178) return 0xFF;
    if (c >= 0x179 && c <= 0x17E && c % 2 == 1) return uint16_t(c + 1);
    return uint16_t(c);
}
struct FoldTable {
    uint16_t cp[192];
};
constexpr FoldTable make_fold_table() {
    FoldTable t{};
    for (uint32_t i = 0; i < 192; ++i) t.cp[i] = fold_cp(0xC0 + i);
    return t;
}
constexpr FoldTable kFold = make_fold_table();
static_assert(kFold.cp[0x130 - 0xC0] == 'i' && kFold.cp[0x178 - 0xC0] == 0xFF &&
              kFold.cp[0xC9 - 0xC0] == 0xE9);

constexpr uint64_t kOnes = 0x0101010101010101ull;

/* Which bytes can start a match: b0 (or a0) at p and, when `second`, b1 (or a1)
 * at p + 1. The case masks are ORed into the text byte before it is compared
 * with b0/b1; the alternatives are compared with the byte as it stands, since
 * they are lead bytes whose case bit must not be forced. */
struct Prefilter {
    uint8_t b0, a0, b1, a1;
    uint8_t second;
    uint8_t c4; /* 0xC4 (the lead of U+0130) starts a candidate by itself */
    uint64_t m0, m1;
};

std::atomic<bool> g_force_words{false};

/* 0 not started, 1 under way, 2 done. */
std::atomic<int> g_onig_state{0};

}  // namespace

struct JxSearch {
    JxDoc *doc = nullptr;
    uint8_t match_case = 0;
    uint8_t regex = 0;
    uint8_t keys = 0;
    uint8_t values = 0;
    uint32_t cap = 0;
    uint8_t *pattern = nullptr;
    uint32_t plen = 0;
    Prefilter pf{};
    OnigRegex re = nullptr;
    uint32_t **chunks = nullptr;
    uint32_t chunk_count = 0;
    uint32_t hit_limit = 0; /* min(node count, cap): no run can store more */
    std::atomic<uint32_t> count{0};
    std::atomic<uint8_t> capped{0};
    std::atomic<uint8_t> finished{0};
    uint8_t started = 0;
    uint32_t result = 0;
    uint8_t *scratch = nullptr;
    size_t scratch_cap = 0;
    uint8_t simd = 0;
};

namespace {

/* ---- UTF-8 ---- */

/* Length of the valid UTF-8 sequence at p (shortest form, no surrogates,
 * nothing above U+10FFFF), or 0 when p does not start one before end. */
inline int utf8_len(const uint8_t *p, const uint8_t *end) {
    return *p < 0x80 ? 1 : int(jx__utf8_len(p, end));
}

bool valid_utf8(const uint8_t *p, const uint8_t *end) {
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

/* ---- case folding ---- */

/* Folds the two-byte character c, c1 (lead 0xC3..0xC5) into its code point's lower case. */
inline uint32_t fold2(uint8_t c, uint8_t c1) {
    return kFold.cp[(uint32_t(c & 0x1F) << 6 | (c1 & 0x3F)) - 0xC0];
}

inline bool is_upper(uint8_t c) { return uint8_t(c - 'A') < 26; }
inline bool is_lower(uint8_t c) { return uint8_t(c - 'a') < 26; }

/* Writes the folded form of [p, end) to out (room for end - p bytes; folding never grows). */
uint32_t fold_text(const uint8_t *p, const uint8_t *end, uint8_t *out) {
    uint8_t *o = out;
    while (p < end) {
        uint8_t c = *p;
        if (is_upper(c)) {
            *o++ = c | 0x20;
            ++p;
        } else if (c >= 0xC3 && c <= 0xC5 && end - p >= 2 && jx__is_cont(p[1])) {
            o += jx__utf8_put(fold2(c, p[1]), reinterpret_cast<char *>(o));
            p += 2;
        } else {
            *o++ = c;
            ++p;
        }
    }
    return uint32_t(o - out);
}

/* End of the text matching the folded pattern at p, not reaching past to; null when none. */
const uint8_t *match_folded(const uint8_t *p, const uint8_t *to, const uint8_t *pat, uint32_t plen) {
    uint32_t i = 0;
    while (i < plen) {
        if (p >= to) return nullptr;
        uint8_t c = *p;
        if (c >= 0xC3 && c <= 0xC5 && to - p >= 2 && jx__is_cont(p[1])) {
            char f[4];
            uint32_t n = jx__utf8_put(fold2(c, p[1]), f);
            p += 2;
            /* the pattern may end after the first byte of a folded character */
            for (uint32_t k = 0; k < n && i < plen; ++k, ++i)
                if (uint8_t(f[k]) != pat[i]) return nullptr;
            continue;
        }
        if ((is_upper(c) ? c | 0x20 : c) != pat[i]) return nullptr;
        ++p;
        ++i;
    }
    return p;
}

/* ---- candidate scan ---- */

inline uint64_t has_byte(uint64_t v, uint8_t c) { return jx__has_byte(v, c); }

const uint8_t *next_start_words(const Prefilter &f, const uint8_t *p, const uint8_t *limit) {
    const uint64_t c4 = f.c4 ? ~0ull : 0;
    while (p < limit) {
        uint64_t w = jx__load8(p);
        uint64_t h = has_byte(w | f.m0, f.b0) | has_byte(w, f.a0);
        if (f.second) {
            uint64_t w1 = jx__load8(p + 1);
            h &= has_byte(w1 | f.m1, f.b1) | has_byte(w1, f.a1);
        }
        h |= has_byte(w, 0xC4) & c4;
        if (h) {
            /* A borrow can flag a byte above a true hit; the lowest flag is
             * exact or at worst a position the match test rejects. */
            p += std::countr_zero(h) >> 3;
            return p < limit ? p : limit;
        }
        p += 8;
    }
    return limit;
}

#if JX_SEARCH_SIMD
template <bool Second, bool C4>
const uint8_t *next_start_vec_t(const Prefilter &f, const uint8_t *p, const uint8_t *limit) {
    const __m128i m0 = _mm_set1_epi8(char(f.m0 & 0xFF)), b0 = _mm_set1_epi8(char(f.b0)),
                  a0 = _mm_set1_epi8(char(f.a0));
    const __m128i m1 = _mm_set1_epi8(char(f.m1 & 0xFF)), b1 = _mm_set1_epi8(char(f.b1)),
                  a1 = _mm_set1_epi8(char(f.a1));
    const __m128i c4 = _mm_set1_epi8(char(0xC4));
    auto block = [&](const uint8_t *q) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
        __m128i e = _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(v, m0), b0), _mm_cmpeq_epi8(v, a0));
        if constexpr (Second) {
            __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q + 1));
            e = _mm_and_si128(e,
                              _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(v1, m1), b1), _mm_cmpeq_epi8(v1, a1)));
        }
        if constexpr (C4) e = _mm_or_si128(e, _mm_cmpeq_epi8(v, c4));
        return e;
    };
    /* Two blocks per step keep the loop's branch cost down on long runs without candidates. */
    while (limit - p > 16) {
        __m128i e0 = block(p), e1 = block(p + 16);
        uint32_t bits = uint32_t(_mm_movemask_epi8(e0)) | uint32_t(_mm_movemask_epi8(e1)) << 16;
        if (bits) {
            p += std::countr_zero(bits);
            return p < limit ? p : limit;
        }
        p += 32;
    }
    if (p < limit) {
        uint32_t bits = uint32_t(_mm_movemask_epi8(block(p)));
        if (bits) {
            p += std::countr_zero(bits);
            return p < limit ? p : limit;
        }
    }
    return limit;
}

const uint8_t *next_start_vec(const Prefilter &f, const uint8_t *p, const uint8_t *limit) {
    if (f.second)
        return f.c4 ? next_start_vec_t<true, true>(f, p, limit) : next_start_vec_t<true, false>(f, p, limit);
    return f.c4 ? next_start_vec_t<false, true>(f, p, limit) : next_start_vec_t<false, false>(f, p, limit);
}
#endif

inline const uint8_t *next_start(const JxSearch *s, const uint8_t *p, const uint8_t *limit) {
#if JX_SEARCH_SIMD
    if (s->simd) return next_start_vec(s->pf, p, limit);
#endif
    return next_start_words(s->pf, p, limit);
}

/* First match wholly inside [from, to); sets *mend. */
const uint8_t *find(const JxSearch *s, const uint8_t *from, const uint8_t *to, const uint8_t **mend) {
    const uint32_t plen = s->plen;
    if (from >= to || size_t(to - from) < plen) return nullptr;
    const uint8_t *last = to - plen; /* text matches are never shorter than the folded pattern */
    const uint8_t *pat = s->pattern;
    for (const uint8_t *p = from;; ++p) {
        p = next_start(s, p, last + 1);
        if (p > last) return nullptr;
        if (s->match_case) {
            if (std::memcmp(p, pat, plen) == 0) {
                *mend = p + plen;
                return p;
            }
        } else if (const uint8_t *e = match_folded(p, to, pat, plen)) {
            *mend = e;
            return p;
        }
    }
}

void set_prefilter(JxSearch *s) {
    Prefilter &f = s->pf;
    const uint8_t b0 = s->pattern[0], b1 = s->plen >= 2 ? s->pattern[1] : 0;
    f.b0 = f.a0 = b0;
    f.b1 = f.a1 = b1;
    f.second = s->plen >= 2;
    if (s->match_case) return;
    if (b0 >= 0x80) {
        /* U+0178 and U+013F fold across lead bytes; the continuation byte
         * changes with case, so the second byte says nothing. */
        if (b0 == 0xC3) f.a0 = 0xC5;
        if (b0 == 0xC5) f.a0 = 0xC4;
        f.second = 0;
    } else if (is_lower(b0)) {
        f.m0 = 0x20 * kOnes;
        if (b0 == 'i') f.c4 = 1; /* U+0130, two bytes wide: its second byte is no guide */
    }
    if (f.second) {
        if (is_lower(b1)) {
            f.m1 = 0x20 * kOnes;
            if (b1 == 'i') f.a1 = 0xC4;
        } else if (b1 == 0xC3) {
            f.a1 = 0xC5;
        } else if (b1 == 0xC5) {
            f.a1 = 0xC4;
        }
    }
}

/* ---- decoding into a scratch buffer ---- */

struct Scratch {
    uint8_t *p;
    size_t cap;
    uint8_t *local; /* the caller's stack buffer, never freed */
};

void scratch_drop(Scratch &sc) {
    if (sc.p != sc.local) jx__free(sc.p);
    sc.p = sc.local;
    sc.cap = 0;
}

/* Decodes the span into sc, followed by kPad zero bytes; false when memory runs out. */
bool decode(const jx_span &sp, Scratch &sc, size_t *n) {
    jx_cursor c = jx__cursor(reinterpret_cast<char *>(sc.p), sc.cap);
    jx__decode(&c, sp.p, sp.len, sp.escaped);
    size_t len = c.total;
    if (len + kPad > sc.cap) {
        if (len > SIZE_MAX / 2 - kPad) return false;
        size_t cap = len + kPad;
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
    std::memset(sc.p + len, 0, kPad);
    *n = len;
    return true;
}

/* ---- one node ---- */

enum : int {
    kNo = 0,
    kYes = 1,
    kFail = -1,
    kStop = -2
};

inline const uint8_t *u8(const char *p) { return reinterpret_cast<const uint8_t *>(p); }

int regex_text(const JxSearch *s, const uint8_t *b, const uint8_t *e) {
    int r = onig_search(s->re, b, e, b, e, nullptr, ONIG_OPTION_NONE);
    if (r >= 0) return kYes;
    return r == ONIGERR_MEMORY ? kFail : kNo;
}

int test_text(const JxSearch *s, const uint8_t *b, const uint8_t *e) {
    if (s->regex) return regex_text(s, b, e);
    const uint8_t *mend;
    return find(s, b, e, &mend) ? kYes : kNo;
}

/* Tests a key or value span without the run's cursor. */
int test_span(const JxSearch *s, const jx_span &sp, Scratch &sc) {
    if (!sp.p) return test_text(s, u8(""), u8(""));
    /* Oniguruma is promised valid UTF-8; the decoder repairs what is not. */
    if (!sp.escaped && (!s->regex || valid_utf8(u8(sp.p), u8(sp.p) + sp.len)))
        return test_text(s, u8(sp.p), u8(sp.p) + sp.len);
    size_t n;
    if (!decode(sp, sc, &n)) return kFail;
    return test_text(s, sc.p, sc.p + n);
}

int test_node(const JxSearch *s, uint32_t id, Scratch &sc) {
    const JxNode *nd = jx__node(s->doc, id);
    if (s->keys && nd->key_off != JX_NONE) {
        int r = test_span(s, jx__key_span(s->doc, id), sc);
        if (r != kNo) return r;
    }
    if (s->values && !jx__is_container(nd->info)) return test_span(s, jx__val_span(s->doc, id), sc);
    return kNo;
}

/* ---- the run ---- */

enum : int {
    kAdded = 0,
    kCapped = 1,
    kNoMemory = -1
};

int add_hit(JxSearch *s, uint32_t id) {
    uint32_t n = s->count.load(std::memory_order_relaxed); /* only the run writes it */
    uint32_t c = n >> kChunkShift;
    if (!s->chunks[c]) {
        /* The last chunk is cut to what the run can store, so small documents stay small. */
        uint32_t room = std::min<uint32_t>(kChunkHits, s->hit_limit - (c << kChunkShift));
        s->chunks[c] = static_cast<uint32_t *>(jx__malloc(size_t(room) * sizeof(uint32_t)));
        if (!s->chunks[c]) return kNoMemory;
    }
    s->chunks[c][n & (kChunkHits - 1)] = id;
    s->count.store(n + 1, std::memory_order_seq_cst);
    return n + 1 >= s->cap ? kCapped : kAdded;
}

int finish(JxSearch *s, const jx_progress *pr) {
    uint64_t size = s->doc ? s->doc->size : 0;
    jx__report(pr, size, size);
    s->finished.store(1, std::memory_order_seq_cst);
    return JX_OK;
}

int cap_reached(JxSearch *s, const jx_progress *pr) {
    s->capped.store(1, std::memory_order_seq_cst);
    return finish(s, pr);
}

/* Visits the nodes in batches ending at every millionth node, at node chunk
 * boundaries and once 16 MiB of text have passed; between batches it reports
 * progress and honours the cancel flag. visit(id, node) returns kNo, kYes, kFail
 * or kStop. */
template <typename Visit>
int walk(JxSearch *s, const jx_progress *pr, Visit &&visit) {
    const JxDoc *d = s->doc;
    const uint32_t n = d->count;
    uint64_t mark = kByteStep;
    uint32_t id = 0;
    while (id < n) {
        uint64_t bend = std::min<uint64_t>({n, (uint64_t(id) / kBatchNodes + 1) * kBatchNodes,
                                            ((uint64_t(id) >> JX_CHUNK_SHIFT) + 1) << JX_CHUNK_SHIFT});
        const JxNode *nd = jx__node(d, id);
        for (; id < bend; ++id, ++nd) {
            if (nd->val_off > mark) break;
            int r = visit(id, nd);
            if (r == kNo) continue;
            if (r == kFail) return JX_NO_MEMORY;
            if (r == kStop) return JX_CANCELLED;
            int a = add_hit(s, id);
            if (a == kNoMemory) return JX_NO_MEMORY;
            if (a == kCapped) return cap_reached(s, pr);
        }
        if (id >= n) break;
        uint32_t off = jx__node(d, id)->val_off;
        jx__report(pr, off, d->size);
        if (jx__cancel_requested(pr)) return JX_CANCELLED;
        mark = uint64_t(off) + kByteStep;
    }
    return finish(s, pr);
}

int run_regex(JxSearch *s, const jx_progress *pr) {
    Scratch sc{s->scratch, s->scratch_cap, nullptr};
    int r = walk(s, pr, [&](uint32_t id, const JxNode *) {
        if (jx__cancel_requested(pr)) return int(kStop); /* one match can be slow: ask before each node */
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
int run_plain(JxSearch *s, const jx_progress *pr) {
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
                if (!decode(jx__key_span(d, id), sc, &len)) return kFail;
                if (find(s, sc.p, sc.p + len, &mend)) return kYes;
            } else {
                const uint8_t *k = text + nd->key_off, *v = text + nd->val_off;
                if (cur < k) cur = next_start(s, k, values ? tend : v);
                if (cur < v) {
                    jx_span sp = jx__key_span(d, id);
                    const uint8_t *b = u8(sp.p), *e = b + sp.len;
                    if (b && cur < e && find(s, std::max(b, cur), e, &mend)) return kYes;
                }
            }
        }
        if (!values || jx__is_container(info)) return kNo;
        if ((info & 7) == JX_STRING && (jx__flags_of(nd) & JX_F_ESCAPED)) {
            /* Escapes can spell the query without a candidate byte in the text. */
            size_t len;
            if (!decode(jx__val_span(d, id), sc, &len)) return kFail;
            return find(s, sc.p, sc.p + len, &mend) ? kYes : kNo;
        }
        const uint8_t *v = text + nd->val_off;
        if (cur < v) cur = next_start(s, v, tend);
        if (cur >= v + (info >> 8) && !(info & JX_BIG_MARK)) return kNo; /* the usual case: nothing inside */
        jx_span sp = jx__val_span(d, id);
        if (!sp.p) return kNo;
        const uint8_t *b = u8(sp.p), *e = b + sp.len;
        return cur < e && find(s, std::max(b, cur), e, &mend) ? kYes : kNo;
    });
    s->scratch = sc.p;
    s->scratch_cap = sc.cap;
    return r;
}

/* ---- Oniguruma ---- */

/* onig_initialize must run once per process, before any onig_new, even when
 * two searches are made at the same time on different threads. */
int onig_once() {
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

void put_err(char *err, size_t err_size, const char *msg) { jx__copy_text(msg, std::strlen(msg), err, err_size); }

void put_onig_err(char *err, size_t err_size, int code, OnigErrorInfo *info) {
    OnigUChar msg[ONIG_MAX_ERROR_MESSAGE_LEN + 1] = {};
    if (info)
        onig_error_code_to_str(msg, code, info);
    else
        onig_error_code_to_str(msg, code);
    msg[ONIG_MAX_ERROR_MESSAGE_LEN] = 0;
    put_err(err, err_size, msg[0] ? reinterpret_cast<const char *>(msg) : "invalid regular expression");
}

uint32_t hit_at(const JxSearch *s, uint32_t i) { return s->chunks[i >> kChunkShift][i & (kChunkHits - 1)]; }

/* First hit number in [0, n) whose node is >= node (n when none). */
uint32_t lower_bound(const JxSearch *s, uint32_t n, uint32_t node) {
    uint32_t lo = 0, hi = n;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (hit_at(s, mid) < node)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

}  // namespace

/* ---- internal interface ---- */

void jx__search_force_words(bool on) { g_force_words.store(on, std::memory_order_relaxed); }

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
    if (!opt.regex && len > 0xFFFFFFFFu - kPad) {
        put_err(err, err_size, "out of memory");
        return nullptr;
    }
    void *mem = jx__calloc(1, sizeof(JxSearch));
    if (!mem) {
        put_err(err, err_size, "out of memory");
        return nullptr;
    }
    JxSearch *s = new (mem) JxSearch();
    s->match_case = opt.match_case ? 1 : 0;
    s->regex = opt.regex ? 1 : 0;
    s->keys = opt.scope != JX_SCOPE_VALUES;
    s->values = opt.scope != JX_SCOPE_KEYS;
    s->cap = opt.max_hits ? opt.max_hits : kDefaultCap;
    s->simd = JX_SEARCH_SIMD && !g_force_words.load(std::memory_order_relaxed);
    s->hit_limit = std::min(jx_doc_count(doc), s->cap);
    s->chunk_count =
        std::max<uint32_t>(1, uint32_t((uint64_t(s->hit_limit) + kChunkHits - 1) >> kChunkShift));
    s->chunks = static_cast<uint32_t **>(jx__calloc(s->chunk_count, sizeof(uint32_t *)));
    if (!s->chunks) {
        jx_search_free(s);
        put_err(err, err_size, "out of memory");
        return nullptr;
    }
    if (!s->regex) {
        s->pattern = static_cast<uint8_t *>(jx__malloc(len + kPad));
        if (!s->pattern) {
            jx_search_free(s);
            put_err(err, err_size, "out of memory");
            return nullptr;
        }
        const uint8_t *q = reinterpret_cast<const uint8_t *>(query);
        if (s->match_case) {
            std::memcpy(s->pattern, q, len);
            s->plen = uint32_t(len);
        } else {
            s->plen = fold_text(q, q + len, s->pattern);
        }
        std::memset(s->pattern + s->plen, 0, kPad);
        set_prefilter(s);
    } else {
        int r = onig_once();
        OnigErrorInfo info{};
        if (r == ONIG_NORMAL) {
            const OnigUChar *q = reinterpret_cast<const OnigUChar *>(query);
            r = onig_new(&s->re, q, q + len, s->match_case ? ONIG_OPTION_NONE : ONIG_OPTION_IGNORECASE,
                         ONIG_ENCODING_UTF8, ONIG_SYNTAX_ONIGURUMA, &info);
        }
        if (r != ONIG_NORMAL) {
            s->re = nullptr;
            if (r == ONIGERR_MEMORY)
                put_err(err, err_size, "out of memory");
            else
                put_onig_err(err, err_size, r, &info);
            jx_search_free(s);
            return nullptr;
        }
    }
    s->doc = jx_doc_retain(doc);
    return s;
}

extern "C" void jx_search_free(JxSearch *s) {
    if (!s) return;
    if (s->chunks)
        for (uint32_t i = 0; i < s->chunk_count; ++i) jx__free(s->chunks[i]);
    jx__free(s->chunks);
    jx__free(s->pattern);
    if (s->re) onig_free(s->re);
    jx__free(s->scratch);
    jx_doc_release(s->doc);
    s->~JxSearch();
    jx__free(s);
}

extern "C" int jx_search_run(JxSearch *s, const jx_progress *progress) {
    if (!s) return JX_NO_MEMORY;
    if (s->started) return int(s->result);
    s->started = 1;
    int r;
    if (jx__cancel_requested(progress))
        r = JX_CANCELLED;
    else if (s->doc->count == 0)
        r = finish(s, progress);
    else
        r = s->regex ? run_regex(s, progress) : run_plain(s, progress);
    s->result = uint32_t(r);
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
    uint8_t local[kLocalScratch];
    Scratch sc{local, sizeof local, local};
    int r = test_node(s, node, sc);
    scratch_drop(sc);
    return r == kYes;
}

extern "C" uint32_t jx_search_ranges(const JxSearch *s, const char *text, uint32_t len, int is_key,
                                     uint32_t *starts, uint32_t *lengths, uint32_t max) {
    if (!s || (is_key ? !s->keys : !s->values) || (!text && len > 0)) return 0;
    uint8_t local[kLocalRanges + kPad];
    uint8_t *buf = local;
    if (len >= kLocalRanges) {
        buf = static_cast<uint8_t *>(jx__malloc(size_t(len) + kPad));
        if (!buf) return 0;
    }
    if (len) std::memcpy(buf, text, len);
    std::memset(buf + len, 0, kPad);
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
            p = mb + std::max(1, utf8_len(mb, end));
        }
        onig_region_free(region, 1);
    } else {
        const uint8_t *p = buf, *mend = nullptr;
        while (const uint8_t *m = find(s, p, end, &mend)) {
            put(m, mend);
            p = mend;
        }
    }
    if (buf != local) jx__free(buf);
    return count;
}
