/* jx/decode.h: decoded key and value text. Both functions only read the
 * document, so they may run on any number of threads at once. */
#ifndef JX_DECODE_H
#define JX_DECODE_H

#include "doc.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The decoded key of a node into (buf, size), snprintf-style: returns the full
 * decoded length (without the NUL), writes whole characters only and always
 * ends the copy with a NUL when size > 0. Escapes are resolved, invalid UTF-8
 * becomes U+FFFD. A node without key or an invalid id gives 0 and "".
 */
size_t jx_key_text(const JxDoc *doc, uint32_t id, char *buf, size_t size);

/*
 * The decoded value of a node, as jx_key_text: strings without their quotes
 * and unescaped; numbers, literals and unreadable records as written (invalid
 * UTF-8 still replaced); containers and invalid ids give 0 and "".
 */
size_t jx_val_text(const JxDoc *doc, uint32_t id, char *buf, size_t size);

#ifdef __cplusplus
}
#endif

#endif
