/* scanner.cpp: the plain-text scanner of the search: case folding, the
 * prefilter, the word and SSE2 candidate scans and the match test. */
#include "scanner_int.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "alloc.h"
#include "chars_int.h"
#include "doc_int.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define JX_SCAN_SIMD 1
#else
#define JX_SCAN_SIMD 0
#endif

static_assert(std::endian::native == std::endian::little, "the word scan numbers bytes from the low end");

static constexpr uint64_t ONES = 0x0101010101010101ull;

namespace {
struct FoldTable {
    uint16_t cp[192];
};
}  // namespace

/* Lower case of U+00C0..U+017F, indexed by code point - 0xC0. */
static constexpr FoldTable FOLD = [] {
    auto fold = [](uint32_t c) -> uint32_t {
        if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
        if (c == 0x130) return 'i'; /* a dotted capital I finds a plain i */
        if (c >= 0x100 && c <= 0x137 && c % 2 == 0) return c + 1;
        if (c >= 0x139 && c <= 0x148 && c % 2 == 1) return c + 1;
        if (c >= 0x14A && c <= 0x177 && c % 2 == 0) return c + 1;
        if (c == 0x178) return 0xFF;
        if (c >= 0x179 && c <= 0x17E && c % 2 == 1) return c + 1;
        return c;
    };
    FoldTable t{};
    for (uint32_t i = 0; i < 192; ++i) t.cp[i] = uint16_t(fold(0xC0 + i));
    return t;
}();
static_assert(FOLD.cp[0x130 - 0xC0] == 'i' && FOLD.cp[0x131 - 0xC0] == 0x131 &&
              FOLD.cp[0x178 - 0xC0] == 0xFF && FOLD.cp[0xC9 - 0xC0] == 0xE9);

/* ---- case folding ---- */

static bool is_upper(uint8_t c) { return uint8_t(c - 'A') < 26; }
static bool is_lower(uint8_t c) { return uint8_t(c - 'a') < 26; }

/* Folds the two-byte character c, c1 (lead 0xC3..0xC5) into its code point's lower case. */
static uint32_t fold2(uint8_t c, uint8_t c1) {
    return FOLD.cp[(uint32_t(c & 0x1F) << 6 | (c1 & 0x3F)) - 0xC0];
}

/* Writes the folded form of [p, end) to out (room for end - p bytes; folding never grows). */
static uint32_t fold_text(const uint8_t *p, const uint8_t *end, uint8_t *out) {
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
static const uint8_t *match_folded(const uint8_t *p, const uint8_t *to, const uint8_t *pat, uint32_t plen) {
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

static const uint8_t *scan_words(const jx_prefilter &f, const uint8_t *p, const uint8_t *limit) {
    const uint64_t c4 = f.c4 ? ~0ull : 0;
    while (p < limit) {
        uint64_t w = jx__load8(p);
        uint64_t h = jx__has_byte(w | f.m0, f.b0) | jx__has_byte(w, f.a0);
        if (f.second) {
            uint64_t w1 = jx__load8(p + 1);
            h &= jx__has_byte(w1 | f.m1, f.b1) | jx__has_byte(w1, f.a1);
        }
        h |= jx__has_byte(w, 0xC4) & c4;
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

#if JX_SCAN_SIMD
template <bool SECOND, bool C4>
static const uint8_t *scan_vec(const jx_prefilter &f, const uint8_t *p, const uint8_t *limit) {
    const __m128i m0 = _mm_set1_epi8(char(f.m0 & 0xFF)), b0 = _mm_set1_epi8(char(f.b0)),
                  a0 = _mm_set1_epi8(char(f.a0));
    const __m128i m1 = _mm_set1_epi8(char(f.m1 & 0xFF)), b1 = _mm_set1_epi8(char(f.b1)),
                  a1 = _mm_set1_epi8(char(f.a1));
    const __m128i c4 = _mm_set1_epi8(char(0xC4));
    auto block = [&](const uint8_t *q) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
        __m128i e = _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(v, m0), b0), _mm_cmpeq_epi8(v, a0));
        if constexpr (SECOND) {
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
#endif

/* ---- making a scanner ---- */

static void set_prefilter(jx_scanner *sc) {
    jx_prefilter &f = sc->pf;
    const uint8_t b0 = sc->pattern[0], b1 = sc->plen >= 2 ? sc->pattern[1] : 0;
    f = jx_prefilter{};
    f.b0 = f.a0 = b0;
    f.b1 = f.a1 = b1;
    f.second = sc->plen >= 2;
    if (sc->exact) return;
    if (b0 >= 0x80) {
        /* U+0178 and U+013F fold across lead bytes; the continuation byte
         * changes with case, so the second byte says nothing. */
        if (b0 == 0xC3) f.a0 = 0xC5;
        if (b0 == 0xC5) f.a0 = 0xC4;
        f.second = 0;
    } else if (is_lower(b0)) {
        f.m0 = 0x20 * ONES;
        if (b0 == 'i') f.c4 = 1; /* U+0130, two bytes wide: its second byte is no guide */
    }
    if (f.second) {
        if (is_lower(b1)) {
            f.m1 = 0x20 * ONES;
            if (b1 == 'i') f.a1 = 0xC4;
        } else if (b1 == 0xC3) {
            f.a1 = 0xC5;
        } else if (b1 == 0xC5) {
            f.a1 = 0xC4;
        }
    }
}

bool jx__scanner_init(jx_scanner *sc, const uint8_t *query, size_t len, bool match_case, bool simd) {
    *sc = jx_scanner{};
    /* plen is 32 bits, and the pad must fit beside it */
    if (len == 0 || len > 0xFFFFFFFFu - JX_SCAN_PAD) return false;
    sc->pattern = static_cast<uint8_t *>(jx__malloc(len + JX_SCAN_PAD));
    if (!sc->pattern) return false;
    sc->simd = JX_SCAN_SIMD && simd;
    if (match_case) {
        std::memcpy(sc->pattern, query, len);
        sc->plen = uint32_t(len);
    } else {
        sc->plen = fold_text(query, query + len, sc->pattern);
    }
    /* Only letters and bytes of other characters fold; a pattern of neither
     * (digits, punctuation) matches exactly what it matches with case. */
    sc->exact = match_case || std::none_of(sc->pattern, sc->pattern + sc->plen,
                                           [](uint8_t b) { return is_lower(b) || b >= 0x80; });
    std::memset(sc->pattern + sc->plen, 0, JX_SCAN_PAD);
    sc->head = jx__load8(sc->pattern);
    sc->head_mask = sc->plen >= 8 ? ~0ull : (1ull << (8 * sc->plen)) - 1;
    set_prefilter(sc);
    return true;
}

void jx__scanner_init_high(jx_scanner *sc, bool simd) {
    *sc = jx_scanner{};
    sc->simd = JX_SCAN_SIMD && simd;
    /* OR-ing 0x7F into a byte gives 0xFF exactly when its top bit is set. */
    sc->pf.b0 = sc->pf.a0 = 0xFF;
    sc->pf.m0 = 0x7F * ONES;
}

void jx__scanner_free(jx_scanner *sc) {
    if (!sc) return;
    jx__free(sc->pattern);
    *sc = jx_scanner{};
}

/* ---- scanning ---- */

const uint8_t *jx__scan_next(const jx_scanner *sc, const uint8_t *p, const uint8_t *limit) {
#if JX_SCAN_SIMD
    if (sc->simd) {
        const jx_prefilter &f = sc->pf;
        if (f.second) return f.c4 ? scan_vec<true, true>(f, p, limit) : scan_vec<true, false>(f, p, limit);
        return f.c4 ? scan_vec<false, true>(f, p, limit) : scan_vec<false, false>(f, p, limit);
    }
#endif
    return scan_words(sc->pf, p, limit);
}

const uint8_t *jx__scan_find(const jx_scanner *sc, const uint8_t *from, const uint8_t *to,
                             const uint8_t **mend /* out */) {
    const uint32_t plen = sc->plen;
    if (from >= to || size_t(to - from) < plen) return nullptr;
    const uint8_t *last = to - plen; /* text matches are never shorter than the folded pattern */
    const uint8_t *pat = sc->pattern;
    for (const uint8_t *p = from;; ++p) {
        p = jx__scan_next(sc, p, last + 1);
        if (p > last) return nullptr;
        if (sc->exact) {
            /* Most queries fit in one word; the text's padding makes the 8-byte load safe. */
            if (((jx__load8(p) ^ sc->head) & sc->head_mask) == 0 &&
                (plen <= 8 || std::memcmp(p + 8, pat + 8, plen - 8) == 0)) {
                *mend = p + plen;
                return p;
            }
        } else if (const uint8_t *e = match_folded(p, to, pat, plen)) {
            *mend = e;
            return p;
        }
    }
}
