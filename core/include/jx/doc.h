/* jx/doc.h: the parsed document, its nodes and its lines. */
#ifndef JX_DOC_H
#define JX_DOC_H

#include "base.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * A parsed document: created by jx_parse, immutable afterwards. Every
 * function of this header only reads it, so any number of threads may call
 * them on the same document at once, without locking. Each thread that keeps
 * a document holds a reference of its own (jx_doc_retain); the release of the
 * last reference must come after every other call on the document.
 */
typedef struct JxDoc JxDoc;

/* Node types (bits 0-2 of a node's info word). Types 0 and 1 are containers. */
enum {
    JX_OBJECT = 0,
    JX_ARRAY = 1,
    JX_STRING = 2,
    JX_NUMBER = 3,
    JX_TRUE = 4,
    JX_FALSE = 5,
    JX_NULL = 6,
    JX_BAD = 7 /* a record that could not be read; holds its raw text */
};

/* Node flags, as returned by jx_flags. */
enum {
    JX_F_ESCAPED = 1,     /* the string value contains backslash escapes */
    JX_F_KEY_ESCAPED = 2, /* the key contains backslash escapes */
    JX_F_UNCLOSED = 4,    /* the container was still open when its text ended */
    JX_F_NONSTANDARD = 8  /* value or key written in a form only JSON5 allows */
};

/* Document formats. */
enum {
    JX_FORMAT_EMPTY = 0,  /* no nodes */
    JX_FORMAT_VALUE = 1,  /* one top-level value, node 0 */
    JX_FORMAT_LINES = 2,  /* JSON Lines; node 0 is a synthetic array of records */
    JX_FORMAT_VALUES = 3  /* several values; node 0 is a synthetic array of records */
};

/* Non-standard constructs seen, as returned by jx_doc_syntax. */
enum {
    JX_SYNTAX_COMMENTS = 1,
    JX_SYNTAX_TRAILING_COMMA = 2,
    JX_SYNTAX_JSON5 = 4,
    JX_SYNTAX_CONTROL = 8 /* a raw control byte inside a string */
};

/* Adds a reference and returns doc. Null-safe; any thread. */
JxDoc *jx_doc_retain(JxDoc *doc);
/* Drops a reference; the last one frees the document and its text. Null-safe; any thread. */
void jx_doc_release(JxDoc *doc);

/* Document accessors; a null document gives the value in brackets. */
uint32_t jx_doc_format(const JxDoc *doc);        /* JX_FORMAT_* (0) */
uint32_t jx_doc_count(const JxDoc *doc);         /* number of nodes (0) */
uint32_t jx_doc_size(const JxDoc *doc);          /* text length in bytes (0) */
/* The text, after a UTF-8 byte order mark, followed by at least 64 zero bytes
 * (null). Valid until the last reference is released. */
const char *jx_doc_text(const JxDoc *doc);
/* "UTF-8", "UTF-8 with BOM", "UTF-16 BE" or "UTF-16 LE" ("UTF-8"); a constant. */
const char *jx_doc_encoding(const JxDoc *doc);
uint32_t jx_doc_syntax(const JxDoc *doc);        /* JX_SYNTAX_* bits (0) */
uint32_t jx_doc_syntax_offset(const JxDoc *doc); /* first non-standard construct (JX_NONE) */
uint32_t jx_doc_error_count(const JxDoc *doc);   /* number of problems (0) */
int jx_doc_minified(const JxDoc *doc);           /* 1 if a line is over 10,000 bytes (0) */
uint32_t jx_doc_line_count(const JxDoc *doc);    /* lines; an empty text has none (0) */
int jx_doc_records(const JxDoc *doc);            /* 1 for formats 2 and 3 (0) */

/* Node queries; a null document or an id >= jx_doc_count gives the value in brackets. */
int jx_type(const JxDoc *doc, uint32_t id);                 /* JX_OBJECT..JX_BAD (JX_NULL) */
int jx_flags(const JxDoc *doc, uint32_t id);                /* JX_F_* bits (0) */
uint32_t jx_parent(const JxDoc *doc, uint32_t id);          /* (JX_NONE) */
uint32_t jx_end(const JxDoc *doc, uint32_t id);             /* first id after the subtree (JX_NONE) */
uint32_t jx_first_child(const JxDoc *doc, uint32_t id);     /* (JX_NONE) */
uint32_t jx_next_sibling(const JxDoc *doc, uint32_t id);    /* (JX_NONE) */
uint32_t jx_child_count(const JxDoc *doc, uint32_t id);     /* 0 for scalars (0) */
/* Child i of a container; JX_NONE for scalars and i >= the child count (JX_NONE). */
uint32_t jx_child_at(const JxDoc *doc, uint32_t id, uint32_t i);
uint32_t jx_index_in_parent(const JxDoc *doc, uint32_t id); /* 0 for the root (0) */
uint32_t jx_depth(const JxDoc *doc, uint32_t id);           /* ancestors (0) */
int jx_has_key(const JxDoc *doc, uint32_t id);              /* (0) */
uint32_t jx_key_offset(const JxDoc *doc, uint32_t id);      /* first byte of the key (JX_NONE) */
uint32_t jx_key_len(const JxDoc *doc, uint32_t id);         /* key as written, quotes included (0) */
uint32_t jx_val_offset(const JxDoc *doc, uint32_t id);      /* first byte of the value (0) */
uint32_t jx_val_len(const JxDoc *doc, uint32_t id);         /* value as written (0) */
uint32_t jx_record_line(const JxDoc *doc, uint32_t id);     /* 1-based line of a record, else (0) */

/* 0-based line holding the byte offset; 0 with fewer than 2 lines or a null doc. */
uint32_t jx_doc_line_of(const JxDoc *doc, uint32_t offset);
/* Byte offset where the 0-based line starts; the text size past the last line; 0 for null. */
uint32_t jx_doc_line_start(const JxDoc *doc, uint32_t line);
/* 1-based column of the byte offset in characters (a tab is one); 1 for null. */
uint32_t jx_doc_col_of(const JxDoc *doc, uint32_t offset);

#ifdef __cplusplus
}
#endif

#endif
