/* scanner_int.h: the plain-text scanner behind the search.
 *
 * A scanner holds the query as it is compared (folded when case is ignored)
 * and a prefilter of the bytes that can start a match; it finds the next
 * candidate start a word or a vector at a time and tests a match there.
 *
 * Case folding covers A-Z and U+00C0..U+017F (simple lower case); U+0130
 * folds to an ASCII "i", so a match may be longer than the folded query.
 *
 * Bounds: the scan loads whole 8- or 16-byte blocks and may read up to
 * JX_SCAN_PAD bytes past its limit; every text it is given (document texts,
 * decoded copies) is followed by that many bytes it may read. */
#ifndef JX_SCANNER_INT_H
#define JX_SCANNER_INT_H

#include <cstddef>
#include <cstdint>

/* Readable bytes that must follow a text handed to the scanner. */
inline constexpr size_t JX_SCAN_PAD = 64;

/* Which bytes can start a match: b0 (or a0) at p and, when `second`, b1 (or a1)
 * at p + 1. The case masks are ORed into the text byte before it is compared
 * with b0/b1; the alternatives are compared with the byte as it stands, since
 * they are lead bytes whose case bit must not be forced. */
struct jx_prefilter {
    uint8_t b0, a0, b1, a1;
    uint8_t second;
    uint8_t c4; /* 0xC4 (the lead of U+0130) starts a candidate by itself */
    uint64_t m0, m1;
};

struct jx_scanner {
    uint8_t *pattern; /* plen bytes then JX_SCAN_PAD zero bytes, from jx__malloc */
    uint32_t plen;
    uint8_t exact; /* texts match byte for byte: case matters, or nothing in the pattern folds */
    uint8_t simd;  /* scan with the vector unit */
    jx_prefilter pf;
    uint64_t head;      /* the pattern's first 8 bytes (zeros after its end) */
    uint64_t head_mask; /* the bytes of head that belong to the pattern */
};

/* Makes sc scan for the len bytes of query, folded unless match_case; simd
 * picks the vector scan where there is one. False when memory is short or
 * len is too long; sc then holds nothing to free. */
[[nodiscard]] bool jx__scanner_init(jx_scanner *sc, const uint8_t *query, size_t len, bool match_case,
                                    bool simd);
/* Makes sc a scanner whose candidates are the bytes above 0x7F: for
 * jx__scan_next only, since it has no pattern to match. Allocates nothing. */
void jx__scanner_init_high(jx_scanner *sc, bool simd);
/* Frees what jx__scanner_init allocated. Null-safe, and safe on a zeroed scanner. */
void jx__scanner_free(jx_scanner *sc);

/* First candidate start in [p, limit), or limit when there is none. A
 * candidate is a position whose first (and, where it decides, second) byte
 * can begin a match: candidates are a superset of match starts. */
const uint8_t *jx__scan_next(const jx_scanner *sc, const uint8_t *p, const uint8_t *limit);

/* First match lying wholly inside [from, to): returns its start and sets
 * *mend to its end, or returns null. */
const uint8_t *jx__scan_find(const jx_scanner *sc, const uint8_t *from, const uint8_t *to,
                             const uint8_t **mend /* out */);

#endif
