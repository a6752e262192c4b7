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

/* The subtree as JSON text, or null (length 0) on failure. */
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
