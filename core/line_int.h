/* line_int.h: the character reader and the piece builder behind row lines,
 * for the core's other line builders (the Text view). */
#ifndef JX_LINE_INT_H
#define JX_LINE_INT_H

#include <cstdint>

#include "chars_int.h"
#include "jx/line.h"

/* Empties the line for a new build: no text, node JX_NONE, the other fields 0. */
void jx__line_reset(JxLine *line);

/* Where a piece of source text ends besides its end pointer, so that a key can
 * be read without first scanning to its closing quote (keys may be huge). */
enum : uint8_t {
    JX_STOP_NONE = 0,  /* only at end */
    JX_STOP_IDENT = 1, /* at the first byte an unquoted key cannot hold */
    /* '"' or '\'': at that quote, outside escapes */
};

/*
 * A stretch of source text on its way onto a line. Built by the caller with
 * start, end, decode, stop and style; jx__count fills chars, jx__put_piece
 * fills at and put.
 */
struct jx_piece {
    const char *start;
    const char *end;
    uint8_t decode; /* backslash escapes are resolved */
    uint8_t stop;   /* JX_STOP_* or a quote character */
    uint8_t style;
    uint32_t chars; /* characters it yields, counted up to a limit */
    uint32_t at;    /* byte offset in the line where it was put */
    uint32_t put;   /* characters actually put */
};

/* A piece of constant text (no escapes, no stop). */
jx_piece jx__piece(const char *text, uint32_t len, int style);
inline jx_piece jx__piece(const char *text, int style) {
    uint32_t n = 0;
    while (text[n]) n++;
    return jx__piece(text, n, style);
}

/* Counts the piece's characters, stopping at limit; sets and returns chars. */
uint32_t jx__count(jx_piece *piece, uint32_t limit);

/* Puts up to n characters of the piece on the line, control characters as
 * their pictures; sets at and put and returns put. */
uint32_t jx__put_piece(JxLine *line, jx_piece *piece, uint32_t n);

/*
 * Puts counted pieces into width characters: all of them whole when their
 * characters add up to at most width, else as much as fits in width - 1
 * followed by "…" in the style of the first piece cut short. Returns the
 * characters used (the total, or width).
 */
uint32_t jx__fit(JxLine *line, jx_piece *pieces, uint32_t n, uint32_t width);

/* Marks the search's matches in what was put of a piece (a key when is_key,
 * else a value) with hit. Leaves the text as it was. */
void jx__hits(JxLine *line, const jx_piece *piece, const JxSearch *search, bool is_key, int hit);

#endif
