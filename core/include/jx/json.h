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

/*
 * What a copy command of jx/keys.h copies of node: JX_CMD_COPY_VALUE the
 * value (jx_copy_value), JX_CMD_COPY_PATH the path in style (jx_path: empty
 * only for the root, in the styles that write nothing for it),
 * JX_CMD_COPY_JSON pretty JSON, JX_CMD_COPY_KEY the key (jx_copy_key),
 * JX_CMD_COPY_MINIFIED minified JSON. Null (length 0) for another command, an
 * invalid node, a path that cannot be written or a memory failure.
 */
char *jx_copy_node(const JxDoc *doc, uint32_t node, uint32_t what, int style, size_t *length /* out */);

/* The length jx_copy_node gives, without building the text; 0 where it gives
 * null. As costly as a pass over the text: a worker's job for large values. */
uint64_t jx_copy_node_size(const JxDoc *doc, uint32_t node, uint32_t what, int style);

#ifdef __cplusplus
}
#endif

#endif
