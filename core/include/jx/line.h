/* jx/line.h: styled lines of text, and the line of each row of the Tree view. */
#ifndef JX_LINE_H
#define JX_LINE_H

#include "rows.h"
#include "search.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What a run of text shows; the shell gives 1 to 11 their colours and
 * anything else the default text colour. */
enum {
    JX_STYLE_PLAIN = 0,  /* "root" / "records", spaces between parts */
    JX_STYLE_KEY = 1,    /* an object member's key; "\"\"" for an empty key */
    JX_STYLE_LABEL = 2,  /* "[3]" array positions, "line 12" record labels */
    JX_STYLE_STRING = 3, /* a string value with its quotes */
    JX_STYLE_NUMBER = 4,
    JX_STYLE_BOOLEAN = 5,
    JX_STYLE_NULL = 6,
    JX_STYLE_PUNCT = 7,   /* ": " after a key, "{}" and "[]" */
    JX_STYLE_COUNT = 8,   /* "{3}" and "[1,234]" child counts */
    JX_STYLE_PREVIEW = 9, /* a collapsed container's preview; an unreadable record's text */
    JX_STYLE_NOTE = 10,   /* Text view: comments, stray text, notes */
    JX_STYLE_ERROR = 11   /* the warning sign and problem of an unreadable record, "(cut short)" */
};

/* Hit values of a run: how a search match is painted. */
enum {
    JX_HIT_NONE = 0,
    JX_HIT_MATCH = 1,  /* a search match */
    JX_HIT_CURRENT = 2 /* a match on the node of the current match */
};

/* A stretch of a line's text in one style. */
typedef struct JxRun {
    uint32_t start;  /* byte offset in the line's text */
    uint32_t length; /* bytes */
    uint8_t style;   /* JX_STYLE_* */
    uint8_t hit;     /* JX_HIT_* */
} JxRun;

/*
 * A line of UTF-8 text with styled runs, owned by the caller and reused for
 * many lines: jx_line_init once, then build lines into it (each build clears
 * it first), then jx_line_free. The runs cover the text in order, without
 * gaps. text is always followed by a zero byte (except after jx_line_free)
 * and stays valid until the next call that changes the line. A line belongs
 * to one thread at a time.
 */
typedef struct JxLine {
    const char *text; /* UTF-8; a shared constant "" until something is added */
    uint32_t len;     /* text length in bytes */
    uint32_t cap;     /* bytes allocated for text; 0 while it is the shared "" */
    JxRun *runs;
    uint32_t nruns;  /* runs in use */
    uint32_t rcap;   /* runs allocated */
    uint32_t node;   /* node shown on the line, JX_NONE when none */
    uint32_t depth;  /* ancestors of that node: the row's indentation level */
    uint32_t number; /* 1-based line number of a Text view line; 0 for tree rows */
    uint8_t chevron; /* 0 no disclosure control, 1 collapsed container, 2 expanded */
    uint8_t closing; /* set by the Text view; 0 for tree rows */
} JxLine;

/* Makes an empty line: no allocation, node JX_NONE, other fields 0. Null-safe. */
void jx_line_init(JxLine *line);

/* Frees the text and the runs and leaves both pointers null; call
 * jx_line_init before using the line again. Null-safe. */
void jx_line_free(JxLine *line);

/* Empties the text and the runs, keeping their memory for the next line;
 * the other fields stay. Null-safe. */
void jx_line_clear(JxLine *line);

/*
 * Appends n bytes of UTF-8 in a style (JX_STYLE_*; stored in 8 bits), extending
 * the last run when it has the same style and no hit. Returns 1 when the bytes
 * were appended (also for n = 0), 0 when line is null, bytes is null with
 * n > 0, the text would pass 4 GB, or memory is short: then nothing changes.
 */
int jx_line_add(JxLine *line, const char *bytes, uint32_t n, int style);

/*
 * Sets the hit value (JX_HIT_*) of the bytes [start, start + n), cut to the
 * text, splitting runs at the edges and merging neighbours that end up alike.
 * Nothing changes when line is null, the range is empty or memory is short.
 */
void jx_line_mark(JxLine *line, uint32_t start, uint32_t n, int hit);

/* Number of characters (code points) in the text: the bytes that are not
 * UTF-8 continuation bytes. 0 for null. */
uint32_t jx_line_chars(const JxLine *line);

/*
 * Builds into line the row `row` of the row model, at most width characters
 * long: the key, array position or label, then a one-line preview of the
 * value, cut with "…" where it does not fit. Control characters are shown as
 * their pictures (tab as U+21E5, line feed as U+23CE). When search is given,
 * matches in the key and in a scalar's shown text are marked: JX_HIT_CURRENT
 * on the row of node `current`, JX_HIT_MATCH elsewhere.
 *
 * Sets node, depth and chevron (number and closing are 0). A width of 0 only
 * sets those; a null model or a row at or above jx_rows_count leaves the line
 * empty with node JX_NONE. A null line is ignored. Memory shortage gives a
 * shorter line, never an invalid one. The time taken does not depend on the
 * length of the row's key or value. Same thread as the row model; the search
 * may be running meanwhile.
 */
void jx_row_line(const JxRows *rows, uint64_t row, uint32_t width, const JxSearch *search, uint32_t current,
                 JxLine *line /* out */);

#ifdef __cplusplus
}
#endif

#endif
