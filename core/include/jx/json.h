/* jx/json.h: writing nodes back out as JSON. Results are newly allocated,
 * NUL-terminated and freed by the caller with free(). Every function only
 * reads the document, so any number of threads may call them at once. */
#ifndef JX_JSON_H
#define JX_JSON_H

#include "doc.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Byte length of the subtree's JSON text (pretty: 2-space indented); 0 for a
 * null document, an invalid id or a memory failure. */
size_t jx_json_size(const JxDoc *doc, uint32_t id, int pretty);

/*
 * The subtree as JSON text that any RFC 8259 reader accepts, or null (length
 * 0) on failure. Strings, keys and numbers that are JSON as written are kept
 * byte for byte; the rest is rewritten: single-quoted and unquoted text, raw
 * control bytes, JSON5-only escapes and invalid UTF-8 (as U+FFFD) become
 * standard strings; a leading "+" goes, ".5" becomes "0.5" and "5." "5.0",
 * hexadecimal integers are written in decimal, and Infinity and NaN become
 * null. Unreadable records inside the subtree are left out; an unreadable
 * record on its own is written as a string of its text.
 */
char *jx_copy_json(const JxDoc *doc, uint32_t id, int pretty, size_t *length /* out */);

/* Containers: pretty JSON; scalars: the decoded value text. Null on failure. */
char *jx_copy_value(const JxDoc *doc, uint32_t id, size_t *length /* out */);

/* The decoded key; an element's index in its parent as decimal; "" for the
 * root. Null on failure. */
char *jx_copy_key(const JxDoc *doc, uint32_t id, size_t *length /* out */);

#ifdef __cplusplus
}
#endif

#endif
