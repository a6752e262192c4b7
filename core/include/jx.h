/*
 * jx.h: the Orvel core, a platform-free library for reading and presenting JSON.
 *
 * Conventions that hold for every header below:
 *  - Handles are opaque (JxDoc, JxRows, JxSearch, ...). Every function accepts a
 *    null handle or an out-of-range node id and then returns a neutral value:
 *    0, JX_NONE or an empty text. Nothing in the core aborts or throws.
 *  - Node ids are uint32_t indexes in document (pre-order) order; node 0 is the
 *    root and JX_NONE (0xFFFFFFFF) means "no node".
 *  - Texts into a caller's buffer (buf, size): the function returns the full
 *    length of the text, copies at most size - 1 bytes without splitting a UTF-8
 *    sequence and ends the copy with a zero byte. buf may be null to measure.
 *  - Texts to keep (copies, dumps) are returned as newly allocated,
 *    zero-terminated buffers that the caller frees with free(); null and a
 *    length of 0 mean failure.
 *  - A JxDoc is immutable once jx_parse returns it and may be read from any
 *    number of threads at once; it is shared by atomic reference count.
 *    Other handles belong to one thread at a time unless their header says so.
 *  - Running out of memory is reported (a null result, a status code or an
 *    "out of memory" problem), never fatal.
 */
#ifndef JX_H
#define JX_H

#include "jx/base.h"
#include "jx/doc.h"
#include "jx/parse.h"
#include "jx/problem.h"
#include "jx/decode.h"
#include "jx/json.h"
#include "jx/rows.h"
#include "jx/line.h"
#include "jx/text.h"
#include "jx/path.h"
#include "jx/search.h"
#include "jx/status.h"
#include "jx/details.h"
#include "jx/view.h"
#include "jx/keys.h"
#include "jx/restore.h"
#include "jx/settings.h"

#endif
