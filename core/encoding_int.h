/* encoding_int.h: byte order marks and UTF-16, before anything is parsed. */
#ifndef JX_ENCODING_INT_H
#define JX_ENCODING_INT_H

#include <cstdint>

#include "doc_int.h"

/* Converts UTF-16 (after its byte order mark) to UTF-8 into out, or only
 * measures when out is null. Lone surrogates and a final odd byte become
 * U+FFFD. Polls the cancel flag every JX_PROGRESS_STEP bytes of input;
 * returns the UTF-8 length, or UINT64_MAX when cancelled. */
uint64_t jx__utf16(const unsigned char *in, uint64_t length, bool big_endian, char *out,
                   const jx_progress *progress);

/* Reads the document's byte order mark: skips a UTF-8 one, converts UTF-16
 * into a new buffer (d->buffer, text and size replaced) and sets d->encoding.
 * Returns JX_OK, or JX_CANCELLED, JX_TOO_BIG or JX_NO_MEMORY with the
 * document as it was. */
int jx__decode_bom(JxDoc *d, const jx_progress *progress);

#endif
