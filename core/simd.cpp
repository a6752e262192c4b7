/* simd.cpp: the parser's scanning kernels, one set per code path, and the
 * choice between them. */
#include "simd_int.h"

#include <atomic>

#include "doc_int.h"

#if defined(__x86_64__) && defined(__SSE2__)
#include <immintrin.h>
#define JX_X86 1
#else
#define JX_X86 0
#endif

static constexpr uint64_t HIGHS = 0x8080808080808080ull;

/* Bit 7 of each byte of the result is set exactly where the byte of v equals
 * c: unlike jx__has_byte no borrow reaches the next byte, so a clear bit also
 * means the byte is not c. */
static inline uint64_t equal_bytes(uint64_t v, unsigned char c) {
    constexpr uint64_t LOWS = 0x7F7F7F7F7F7F7F7Full;
    uint64_t x = v ^ (0x0101010101010101ull * c);
    return ~(((x & LOWS) + LOWS) | x | LOWS);
}

/* ---- 8-byte words: every architecture ---- */

static const char *string_stop_words(const char *p, const char *limit, unsigned char quote) {
    for (;;) {
        if (uint64_t m = jx__string_stops(jx__load8(p), quote)) return p + (__builtin_ctzll(m) >> 3);
        p += 8;
        if (p >= limit) return p;
    }
}

static const char *blank_end_words(const char *p) {
    for (;;) {
        uint64_t w = jx__load8(p);
        uint64_t other = ~(equal_bytes(w, ' ') | equal_bytes(w, '\t') | equal_bytes(w, '\r')) & HIGHS;
        if (other) return p + (__builtin_ctzll(other) >> 3);
        p += 8;
    }
}

static const char *digits_end_words(const char *p) {
    for (;;) {
        if (uint64_t t = jx__non_digits(jx__load8(p))) return p + (__builtin_ctzll(t) >> 3);
        p += 8;
    }
}

/* Writes the line starts of one block whose LF bits (one per byte, from the
 * low end) are lf; bits at or past end are cleared first. Returns false once
 * out is full, with *next after the last LF written. */
template <class Mask>
static inline bool put_line_starts(Mask lf, const char *block, const char *end, const char *origin,
                                   uint32_t *out, uint32_t room, uint32_t &n, const char **next) {
    constexpr unsigned WIDTH = sizeof(Mask) * 8;
    if (size_t(end - block) < WIDTH) lf &= (Mask(1) << (end - block)) - 1;
    while (lf) {
        if (n == room) {
            *next = out[n - 1] + origin;
            return false;
        }
        unsigned i = unsigned(__builtin_ctzll(uint64_t(lf)));
        out[n++] = uint32_t(block + i + 1 - origin);
        lf &= lf - 1;
    }
    return true;
}

static uint32_t line_starts_words(const char *p, const char *end, const char *origin, uint32_t *out, uint32_t room,
                                  const char **next) {
    uint32_t n = 0;
    for (; p < end; p += 8) {
        uint64_t lf = equal_bytes(jx__load8(p), '\n');
        if (!lf) continue;
        /* one bit per byte, as the vector paths have them */
        uint64_t bits = 0;
        for (uint64_t m = lf; m; m &= m - 1) bits |= 1ull << (__builtin_ctzll(m) >> 3);
        if (!put_line_starts(uint8_t(bits), p, end, origin, out, room, n, next)) return n;
    }
    *next = end;
    return n;
}

#if JX_X86

/* ---- SSE2: every x86-64 machine ---- */

static inline uint32_t stops_sse2(__m128i v, __m128i quote) {
    const __m128i backslash = _mm_set1_epi8('\\'), below = _mm_set1_epi8(0x1F);
    __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(v, below), below);
    return uint32_t(_mm_movemask_epi8(
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)), control)));
}

static const char *string_stop_sse2(const char *p, const char *limit, unsigned char quote) {
    const __m128i q = _mm_set1_epi8(char(quote));
    for (;;) {
        /* two blocks a step halve the branches on long strings */
        uint32_t m = stops_sse2(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), q) |
                     stops_sse2(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16)), q) << 16;
        if (m) return p + __builtin_ctz(m);
        p += 32;
        if (p >= limit) return p;
    }
}

static inline uint32_t blanks_sse2(__m128i v) {
    return uint32_t(_mm_movemask_epi8(_mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))),
        _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')))));
}

static const char *blank_end_sse2(const char *p) {
    for (;;) {
        uint32_t other = ~blanks_sse2(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p))) & 0xFFFF;
        if (other) return p + __builtin_ctz(other);
        p += 16;
    }
}

static const char *digits_end_sse2(const char *p) {
    const __m128i zero = _mm_set1_epi8('0'), nine = _mm_set1_epi8(9);
    for (;;) {
        __m128i d = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), zero);
        uint32_t digit = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(d, nine), nine)));
        uint32_t other = ~digit & 0xFFFF;
        if (other) return p + __builtin_ctz(other);
        p += 16;
    }
}

static uint32_t line_starts_sse2(const char *p, const char *end, const char *origin, uint32_t *out, uint32_t room,
                                 const char **next) {
    const __m128i lf = _mm_set1_epi8('\n');
    uint32_t n = 0;
    for (; p < end; p += 16) {
        auto bits = uint16_t(_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), lf)));
        if (bits && !put_line_starts(bits, p, end, origin, out, room, n, next)) return n;
    }
    *next = end;
    return n;
}

/* ---- AVX2 ---- */

#define JX_AVX2 __attribute__((target("avx2")))

JX_AVX2 static const char *string_stop_avx2(const char *p, const char *limit, unsigned char quote) {
    const __m256i q = _mm256_set1_epi8(char(quote)), backslash = _mm256_set1_epi8('\\'),
                  below = _mm256_set1_epi8(0x1F);
    for (;;) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
        __m256i control = _mm256_cmpeq_epi8(_mm256_max_epu8(v, below), below);
        __m256i stop =
            _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(v, q), _mm256_cmpeq_epi8(v, backslash)), control);
        if (uint32_t m = uint32_t(_mm256_movemask_epi8(stop))) return p + __builtin_ctz(m);
        p += 32;
        if (p >= limit) return p;
    }
}

JX_AVX2 static const char *blank_end_avx2(const char *p) {
    const __m256i space = _mm256_set1_epi8(' '), tab = _mm256_set1_epi8('\t'), cr = _mm256_set1_epi8('\r');
    for (;;) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
        __m256i blank = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(v, space), _mm256_cmpeq_epi8(v, tab)),
                                        _mm256_cmpeq_epi8(v, cr));
        if (uint32_t other = ~uint32_t(_mm256_movemask_epi8(blank))) return p + __builtin_ctz(other);
        p += 32;
    }
}

JX_AVX2 static const char *digits_end_avx2(const char *p) {
    const __m256i zero = _mm256_set1_epi8('0'), nine = _mm256_set1_epi8(9);
    for (;;) {
        __m256i d = _mm256_sub_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)), zero);
        uint32_t digit = uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(d, nine), nine)));
        if (uint32_t other = ~digit) return p + __builtin_ctz(other);
        p += 32;
    }
}

JX_AVX2 static uint32_t line_starts_avx2(const char *p, const char *end, const char *origin, uint32_t *out,
                                         uint32_t room, const char **next) {
    const __m256i lf = _mm256_set1_epi8('\n');
    uint32_t n = 0;
    for (; p < end; p += 32) {
        auto bits = uint32_t(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)), lf)));
        if (bits && !put_line_starts(bits, p, end, origin, out, room, n, next)) return n;
    }
    *next = end;
    return n;
}

/* ---- AVX-512 (with the byte and word instructions) ---- */

#define JX_AVX512 __attribute__((target("avx512f,avx512bw")))

JX_AVX512 static const char *string_stop_avx512(const char *p, const char *limit, unsigned char quote) {
    const __m512i q = _mm512_set1_epi8(char(quote)), backslash = _mm512_set1_epi8('\\'),
                  below = _mm512_set1_epi8(0x20);
    for (;;) {
        __m512i v = _mm512_loadu_si512(p);
        uint64_t m = _mm512_cmpeq_epi8_mask(v, q) | _mm512_cmpeq_epi8_mask(v, backslash) |
                     _mm512_cmplt_epu8_mask(v, below);
        if (m) return p + __builtin_ctzll(m);
        p += 64;
        if (p >= limit) return p;
    }
}

JX_AVX512 static const char *blank_end_avx512(const char *p) {
    const __m512i space = _mm512_set1_epi8(' '), tab = _mm512_set1_epi8('\t'), cr = _mm512_set1_epi8('\r');
    for (;;) {
        __m512i v = _mm512_loadu_si512(p);
        uint64_t blank =
            _mm512_cmpeq_epi8_mask(v, space) | _mm512_cmpeq_epi8_mask(v, tab) | _mm512_cmpeq_epi8_mask(v, cr);
        if (~blank) return p + __builtin_ctzll(~blank);
        p += 64;
    }
}

JX_AVX512 static const char *digits_end_avx512(const char *p) {
    const __m512i zero = _mm512_set1_epi8('0'), nine = _mm512_set1_epi8(9);
    for (;;) {
        __m512i d = _mm512_sub_epi8(_mm512_loadu_si512(p), zero);
        if (uint64_t other = _mm512_cmpgt_epu8_mask(d, nine)) return p + __builtin_ctzll(other);
        p += 64;
    }
}

JX_AVX512 static uint32_t line_starts_avx512(const char *p, const char *end, const char *origin, uint32_t *out,
                                             uint32_t room, const char **next) {
    const __m512i lf = _mm512_set1_epi8('\n');
    uint32_t n = 0;
    for (; p < end; p += 64) {
        uint64_t bits = _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p), lf);
        if (bits && !put_line_starts(bits, p, end, origin, out, room, n, next)) return n;
    }
    *next = end;
    return n;
}

#endif /* JX_X86 */

/* ---- the choice ---- */

static const jx_kernels KERNELS[JX_PATH_COUNT] = {
    {string_stop_words, blank_end_words, digits_end_words, line_starts_words},
#if JX_X86
    {string_stop_sse2, blank_end_sse2, digits_end_sse2, line_starts_sse2},
    {string_stop_avx2, blank_end_avx2, digits_end_avx2, line_starts_avx2},
    {string_stop_avx512, blank_end_avx512, digits_end_avx512, line_starts_avx512},
#endif
};

bool jx__path_supported(int path) {
    if (path == JX_PATH_WORDS) return true;
#if JX_X86
    __builtin_cpu_init();
    if (path == JX_PATH_SSE2) return true;
    if (path == JX_PATH_AVX2) return __builtin_cpu_supports("avx2");
    if (path == JX_PATH_AVX512) return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
#endif
    return false;
}

static int best_path() {
    static const int best = [] {
        int path = JX_PATH_COUNT - 1;
        while (path > JX_PATH_WORDS && !jx__path_supported(path)) path--;
        return path;
    }();
    return best;
}

static std::atomic<int> g_forced{-1};

int jx__kernel_path() {
    int forced = g_forced.load(std::memory_order_relaxed);
    return forced >= 0 ? forced : best_path();
}

const jx_kernels *jx__kernels() { return &KERNELS[jx__kernel_path()]; }

bool jx__force_path(int path) {
    if (path >= JX_PATH_COUNT || (path >= 0 && !jx__path_supported(path))) return false;
    g_forced.store(path < 0 ? -1 : path, std::memory_order_relaxed);
    return true;
}

const char *jx__path_name(int path) {
    static constexpr const char *NAMES[JX_PATH_COUNT] = {"words", "sse2", "avx2", "avx512"};
    return path >= 0 && path < JX_PATH_COUNT ? NAMES[path] : "";
}
