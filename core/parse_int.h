/* parse_int.h: parser pieces other modules of the core may call. */
#ifndef JX_PARSE_INT_H
#define JX_PARSE_INT_H

#include <cstdint>

#include "jx/base.h"

/* Converts UTF-16 (after its byte order mark) to UTF-8 into out, or only
 * measures when out is null. Lone surrogates and a final odd byte become
 * U+FFFD. Polls the cancel flag every 16 MiB of input; returns the UTF-8
 * length, or UINT64_MAX when cancelled. */
uint64_t jx__utf16(const unsigned char *in, uint64_t length, bool big_endian, char *out,
                   const jx_progress *progress);

#endif
