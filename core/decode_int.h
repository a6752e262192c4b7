/* decode_int.h: decoding of key and value spans, for the core's other modules.
 *
 * Keys and values stay in the document as written. Everything that needs
 * their meaning (row lines, search, paths, JSON output) goes through the one
 * decoder below, so that escapes and invalid UTF-8 read the same everywhere.
 *
 * Bounds: the decoder never reads outside the span it is given, not even for
 * a backslash or a UTF-8 lead byte that is its last byte, so a span may lie in
 * any memory. The scanners take an explicit end for the same reason. */
#ifndef JX_DECODE_INT_H
#define JX_DECODE_INT_H

#include <cstddef>
#include <cstdint>

#include "chars_int.h"
#include "doc_int.h"

/* Where decoded text goes: a caller's buffer that is filled like snprintf.
 *  - buf may be null and cap 0: then only total is counted (overflow is set
 *    from the start).
 *  - A piece is stored only when written + its length < cap, so one byte is
 *    always left for the NUL. The first piece that does not fit sets overflow
 *    and nothing is stored after it; total keeps counting the full length.
 *  - Runs of ASCII are cut to the room left; a multi-byte character or the
 *    result of an escape is stored whole or not at all, so the stored text
 *    never ends inside a UTF-8 sequence.
 * Make one with jx__cursor and finish it with jx__cursor_end. */
struct jx_cursor {
    char *buf;
    size_t cap;
    size_t written; /* bytes stored, always < cap when buf is set */
    size_t total;   /* bytes the full result needs, without the NUL */
    bool overflow;
};

inline jx_cursor jx__cursor(char *buf, size_t cap) {
    return jx_cursor{buf, cap, 0, 0, buf == nullptr || cap == 0};
}

/* Writes the terminating NUL (when there is a buffer) and returns total. */
inline size_t jx__cursor_end(jx_cursor *c) {
    if (c->buf && c->cap) c->buf[c->written] = 0;
    return c->total;
}

/* Appends n bytes as one indivisible piece. */
void jx__put(jx_cursor *c, const char *p, size_t n);

/* Appends n bytes of ASCII, cut to the room left instead of dropped, since
 * every byte is a whole character. */
void jx__put_ascii(jx_cursor *c, const char *p, size_t n);

/* Appends a code point as UTF-8 (1 to 4 bytes, one piece). Values above
 * U+10FFFF give U+FFFD. */
void jx__put_cp(jx_cursor *c, uint32_t cp);

/* Decodes the span [p, p + len) onto the cursor. With escapes on, backslash
 * escapes of JSON and JSON5 are resolved (\uXXXX surrogate pairs join, lone
 * surrogates and malformed \u or \x become U+FFFD, line continuations vanish).
 * Invalid UTF-8 becomes U+FFFD one byte at a time, in every mode. Raw control
 * bytes pass through unchanged. */
void jx__decode(jx_cursor *c, const char *p, size_t len, bool escapes);

/* Decodes into a new NUL-terminated buffer from jx__malloc (free with
 * jx__free or free). *length gets the decoded length (may be null).
 * Null on memory failure. */
char *jx__decode_dup(const char *p, size_t len, bool escapes, size_t *length /* out */);

/* A key or value as its characters stand in the text: for quoted text the
 * bytes between the quotes, otherwise the token itself. */
struct jx_span {
    const char *p;
    uint32_t len;
    bool escaped; /* holds backslash escapes: decode with escapes on */
    char quote;   /* '"' or '\'' when written in quotes, else 0 */
};

/* The key of node id: an unquoted key is the identifier itself. A node
 * without key, or an invalid id, gives an empty span (p null). */
jx_span jx__key_span(const JxDoc *d, uint32_t id);

/* jx__key_span looked for within the first max bytes of the key token:
 * *whole says whether the span is the whole key. When it is not, the span
 * runs to that bound (no closing quote taken off) and the key goes on past
 * it, or may. A quoted key is scanned from byte from of the token on, which
 * the caller knows to hold no closing quote before it and not to be within
 * an escape (0: from the start). */
jx_span jx__key_span_within(const JxDoc *d, uint32_t id, uint32_t from, uint32_t max, bool *whole /* out */);

/* The value of node id: strings without their quotes; numbers, literals and
 * JX_BAD records as written; containers and invalid ids an empty span. */
jx_span jx__val_span(const JxDoc *d, uint32_t id);

/* Bytes of the \uXXXX escape at p (6), when it spells a character that an
 * unquoted key may hold written raw at that place, else 0: an ASCII letter,
 * $, _, a digit unless it is the key's first character, anything above
 * U+007F (the characters of jx__ident_byte). Reads nothing at or past end. */
inline size_t jx__ident_escape(const char *p, const char *end, bool first) {
    uint16_t u;
    if (end - p < 6 || p[0] != '\\' || p[1] != 'u' || !jx__hex4(p + 2, &u)) return 0;
    if (u >= 0x80) return 6;
    return jx__ident_byte(uint8_t(u)) && !(first && u >= '0' && u <= '9') ? 6 : 0;
}

/* Byte length of the key or string token at p, never past end: for '"' or
 * '\'' up to and including the matching quote (a backslash skips the next
 * byte; an unterminated token runs to end); otherwise the run of identifier
 * bytes (jx__ident_byte) and escapes jx__ident_escape allows, which is the
 * whole key wherever the parser accepted one. 0 when p >= end. */
size_t jx__scan_string_end(const char *p, const char *end);

/* Byte length from p, inside a token quoted by quote and not within an
 * escape, up to and including its closing quote, never past end (end - p
 * when there is none before it); 0 when p >= end. */
size_t jx__scan_quoted(const char *p, const char *end, unsigned char quote);

#endif
