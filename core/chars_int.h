/* chars_int.h: the characters of UTF-8 text and of JSON and JSON5 escapes.
 *
 * Every part of the core that reads, counts or writes characters (the value
 * decoder, the row line reader, the path writer and reader, the parser, the
 * UTF-16 conversion, the case folder of the search, the column and character
 * counts of the texts) is built on these primitives, so that a byte sequence means the same thing
 * wherever it is read.
 *
 * Bounds: nothing here reads at or past the end pointer it is given. */
#ifndef JX_CHARS_INT_H
#define JX_CHARS_INT_H

#include <cstddef>
#include <cstdint>

/* What malformed UTF-8, a bad escape or a lone surrogate reads as. */
inline constexpr uint32_t JX_REPLACEMENT = 0xFFFD;
/* Read for bytes that stand for no character: a line continuation, a
 * backslash before a non-ASCII byte, a backslash that ends the text. */
inline constexpr uint32_t JX_NO_CHAR = 0xFFFFFFFFu;

/* Hex digit values; 16 marks a byte that is not one. */
struct jx_hex_table {
    uint8_t v[256];
};
inline constexpr jx_hex_table JX_HEX_DIGITS = [] {
    jx_hex_table t{};
    for (int i = 0; i < 256; i++) t.v[i] = 16;
    for (int i = 0; i < 10; i++) t.v['0' + i] = uint8_t(i);
    for (int i = 0; i < 6; i++) t.v['a' + i] = t.v['A' + i] = uint8_t(10 + i);
    return t;
}();

inline unsigned jx__hex_digit(unsigned char c) { return JX_HEX_DIGITS.v[c]; }
inline bool jx__is_hex(unsigned char c) { return JX_HEX_DIGITS.v[c] < 16; }

/* Reads exactly 4 hex digits (either case) at p into *out; returns false,
 * leaving *out alone, if one is not a hex digit. Reads all 4 bytes: the
 * caller makes sure they are there. */
inline bool jx__hex4(const char *p, uint16_t *out) {
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    unsigned a = jx__hex_digit(u[0]), b = jx__hex_digit(u[1]), c = jx__hex_digit(u[2]), d = jx__hex_digit(u[3]);
    if ((a | b | c | d) > 0xF) return false;
    *out = uint16_t(a << 12 | b << 8 | c << 4 | d);
    return true;
}

inline bool jx__is_cont(unsigned char b) { return (b & 0xC0) == 0x80; }

/* Length of the valid UTF-8 sequence starting at p (2, 3 or 4 bytes; no
 * overlong forms, no encoded surrogates, nothing above U+10FFFF) that ends
 * before end; 0 if there is none. p[0] must be >= 0x80 and p < end. */
inline size_t jx__utf8_len(const unsigned char *p, const unsigned char *end) {
    const size_t left = size_t(end - p);
    const unsigned char b = p[0];
    if (b >= 0xC2 && b <= 0xDF) return left >= 2 && jx__is_cont(p[1]) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        if (left < 3 || !jx__is_cont(p[1]) || !jx__is_cont(p[2])) return 0;
        if ((b == 0xE0 && p[1] < 0xA0) || (b == 0xED && p[1] > 0x9F)) return 0;
        return 3;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        if (left < 4 || !jx__is_cont(p[1]) || !jx__is_cont(p[2]) || !jx__is_cont(p[3])) return 0;
        if ((b == 0xF0 && p[1] < 0x90) || (b == 0xF4 && p[1] > 0x8F)) return 0;
        return 4;
    }
    return 0;
}

/* Bytes of the character at p (p < end): the valid sequence there, or 1 for
 * ASCII and for a byte that starts none (a character of its own). */
inline size_t jx__char_len(const unsigned char *p, const unsigned char *end) {
    if (*p < 0x80) return 1;
    size_t n = jx__utf8_len(p, end);
    return n ? n : 1;
}

/* Reads the character at p (p < end) and moves *pp past it: the code point of
 * a valid sequence, the byte itself for ASCII, U+FFFD for a byte that starts
 * no valid sequence (one byte at a time). */
inline uint32_t jx__utf8_read(const unsigned char **pp, const unsigned char *end) {
    const unsigned char *p = *pp;
    const unsigned char b = *p;
    if (b < 0x80) {
        *pp = p + 1;
        return b;
    }
    const size_t n = jx__utf8_len(p, end);
    *pp = p + (n ? n : 1);
    if (n == 2) return uint32_t(b & 0x1F) << 6 | (p[1] & 0x3F);
    if (n == 3) return uint32_t(b & 0x0F) << 12 | uint32_t(p[1] & 0x3F) << 6 | (p[2] & 0x3F);
    if (n == 4)
        return uint32_t(b & 0x07) << 18 | uint32_t(p[1] & 0x3F) << 12 | uint32_t(p[2] & 0x3F) << 6 | (p[3] & 0x3F);
    return JX_REPLACEMENT;
}

/* Writes cp as UTF-8 to out (room for 4 bytes) and returns the byte count.
 * Values above U+10FFFF are written as U+FFFD. Surrogates are written as
 * they are: the callers never pass one. */
inline uint32_t jx__utf8_put(uint32_t cp, char *out) {
    if (cp < 0x80) {
        out[0] = char(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = char(0xC0 | cp >> 6);
        out[1] = char(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp > 0x10FFFF) cp = JX_REPLACEMENT;
    if (cp < 0x10000) {
        out[0] = char(0xE0 | cp >> 12);
        out[1] = char(0x80 | (cp >> 6 & 0x3F));
        out[2] = char(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | cp >> 18);
    out[1] = char(0x80 | (cp >> 12 & 0x3F));
    out[2] = char(0x80 | (cp >> 6 & 0x3F));
    out[3] = char(0x80 | (cp & 0x3F));
    return 4;
}

/* What a character is drawn as: a control character shown as itself would
 * break a row or vanish, so it becomes its picture (tab U+21E5, line feed
 * U+23CE, DEL U+2421, any other code c below 0x20 U+2400 + c). */
inline uint32_t jx__picture(uint32_t cp) {
    if (cp == '\t') return 0x21E5;
    if (cp == '\n') return 0x23CE;
    if (cp == 0x7F) return 0x2421;
    if (cp < 0x20) return 0x2400 + cp;
    return cp;
}

/* One escape as it reads: the character (or JX_NO_CHAR) and the bytes it takes. */
struct jx_escape {
    uint32_t cp;
    uint32_t len;
};

/*
 * Reads the escape whose backslash is at p (p < end), the way a value
 * decodes: the JSON escapes; JSON5's \v, \0, \xHH and any other ASCII letter
 * standing for itself; \uXXXX pairs joined, lone surrogates and malformed \u
 * or \x as U+FFFD (taking the backslash and the letter only); a backslash
 * before a line end (LF, CRLF, CR, U+2028, U+2029) continues the line and
 * reads as nothing; before any other non-ASCII byte, or at the end, the
 * backslash alone reads as nothing and the byte is read next.
 */
inline jx_escape jx__read_escape(const unsigned char *p, const unsigned char *end) {
    const size_t left = size_t(end - p);
    if (left < 2) return {JX_NO_CHAR, 1};
    const unsigned char e = p[1];
    switch (e) {
        case 'b': return {0x08, 2};
        case 'f': return {0x0C, 2};
        case 'n': return {0x0A, 2};
        case 'r': return {0x0D, 2};
        case 't': return {0x09, 2};
        case 'v': return {0x0B, 2};
        case '0': return {0, 2};
        case '\n': return {JX_NO_CHAR, 2};
        case '\r': return {JX_NO_CHAR, left >= 3 && p[2] == '\n' ? 3u : 2u};
        case 'x':
            if (left >= 4 && jx__is_hex(p[2]) && jx__is_hex(p[3]))
                return {jx__hex_digit(p[2]) << 4 | jx__hex_digit(p[3]), 4};
            return {JX_REPLACEMENT, 2};
        case 'u': {
            uint16_t u, lo;
            if (left < 6 || !jx__hex4(reinterpret_cast<const char *>(p + 2), &u)) return {JX_REPLACEMENT, 2};
            if (u >= 0xD800 && u <= 0xDBFF) {
                if (left >= 12 && p[6] == '\\' && p[7] == 'u' &&
                    jx__hex4(reinterpret_cast<const char *>(p + 8), &lo) && lo >= 0xDC00 && lo <= 0xDFFF)
                    return {0x10000 + ((uint32_t(u) - 0xD800) << 10) + (lo - 0xDC00u), 12};
                return {JX_REPLACEMENT, 6};
            }
            return {u >= 0xDC00 && u <= 0xDFFF ? JX_REPLACEMENT : u, 6};
        }
        default: break;
    }
    if (e < 0x80) return {e, 2};
    if (left >= 4 && e == 0xE2 && p[2] == 0x80 && (p[3] == 0xA8 || p[3] == 0xA9)) return {JX_NO_CHAR, 4};
    return {JX_NO_CHAR, 1};
}

/* Reads one character at *pp (< end) and moves *pp past it: with decode,
 * a backslash escape as jx__read_escape reads it, else as jx__utf8_read. */
inline uint32_t jx__read_char(const unsigned char **pp, const unsigned char *end, bool decode) {
    const unsigned char *p = *pp;
    if (*p != '\\' || !decode) return jx__utf8_read(pp, end);
    jx_escape e = jx__read_escape(p, end);
    *pp = p + e.len;
    return e.cp;
}

/* Characters from p up to stop: one per valid sequence and one per other
 * byte, where a sequence may run on up to end (end >= stop). */
uint64_t jx__count_chars(const unsigned char *p, const unsigned char *stop, const unsigned char *end);

/* How many of the n bytes of text to keep so that at most max remain and no
 * UTF-8 sequence is split: n when n <= max, else max moved back to the start
 * of a sequence the cut would split. */
size_t jx__utf8_cut(const char *text, size_t n, size_t max);

/*
 * Hands a built text to a caller's buffer: returns n, copies at most size - 1
 * bytes, moved back so that no UTF-8 sequence is split, and a zero byte. buf
 * may be null or size 0 to measure.
 */
size_t jx__copy_text(const char *text, size_t n, char *buf, size_t size);

#endif
