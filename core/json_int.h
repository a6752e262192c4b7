/* json_int.h: the JSON writer, for the core's other modules. */
#ifndef JX_JSON_INT_H
#define JX_JSON_INT_H

#include <cstddef>
#include <cstdint>

#include "doc_int.h"

/* Where JSON text goes. Without a buffer every append only advances len, so
 * the same walk measures. With one, the first piece that does not fit in cap
 * fills what room is left and sets overflow, and nothing is stored after it
 * (len still advances), so min(len, cap) bytes are stored. A memory failure inside a
 * walk sets overflow as well, so a set flag always means "no valid result". */
struct jx_out {
    char *buf;
    size_t len;
    size_t cap;
    bool overflow;
};

/* Appends n bytes unchanged. */
void jx__b_put(jx_out *o, const char *p, size_t n);

/* Appends decoded text escaped for a JSON string (without the quotes): '"',
 * '\\' and the control bytes get their short escapes (\b \t \n \f \r) or
 * \u00XX; every other byte, 0x7F and bytes >= 0x80 included, is copied. */
void jx__b_escape(jx_out *o, const char *p, size_t n);

/* Writes the subtree of node id (a valid id) as JSON: pretty with 2-space
 * indentation or minified. Iterative, so any depth is fine. JX_BAD children
 * are left out; what is not JSON as written is rewritten as jx_copy_json
 * describes, everything else keeps its text. */
void jx__build(jx_out *o, const JxDoc *d, uint32_t id, bool pretty);

#endif
