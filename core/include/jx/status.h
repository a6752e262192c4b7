/* jx/status.h: the status line, the error bar, the selection summary and the
 * count and byte formats they share. */
#ifndef JX_STATUS_H
#define JX_STATUS_H

#include "doc.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Every function here writes UTF-8 into a caller's buffer (buf, size): it
 * returns the full length of the text, copies at most size - 1 bytes without
 * splitting a UTF-8 sequence and ends the copy with a zero byte. buf may be
 * null (or size 0) to measure. A null document, an invalid node or a text
 * that could not be built gives 0 and, with size >= 1, an empty text. Nothing
 * is allocated that the caller must free. All are safe from any thread, on a
 * document shared with other threads.
 */

/* n in decimal with a comma before every group of three digits from the
 * right: 0 is "0", 1000 is "1,000". */
size_t jx_fmt_count(uint64_t n, char *buf, size_t size);

/*
 * A byte size: below 1,024 the count and " byte" (n = 1) or " bytes";
 * otherwise one decimal, rounded half up, of KB, MB or GB (powers of 1,024),
 * taking the next unit once the value would read 1,024.0: 1536 is "1.5 KB",
 * 1048575 is "1.0 MB". Sizes beyond 1,024 GB stay in GB.
 */
size_t jx_fmt_bytes(uint64_t n, char *buf, size_t size);

/*
 * The status line: size, number of values, format (with its dialect and
 * record count), encoding when not plain UTF-8 and, when parse_ms >= 0, the
 * parse time, joined by " \xC2\xB7 " (a middle dot between spaces). A document
 * without values reads as the size and "empty". A negative parse_ms leaves the
 * time out.
 */
size_t jx_status_text(const JxDoc *doc, int32_t parse_ms, char *buf, size_t size);

/*
 * The error bar: the first problem with its line and column, or for JSON
 * Lines and several-values documents a summary of the unreadable records;
 * when reading stopped for lack of memory, how far it got in percent. 0 and an
 * empty text when the document has no problems.
 */
size_t jx_errorbar_text(const JxDoc *doc, char *buf, size_t size);

/*
 * The summary of a node: its kind and, for objects, arrays, strings and the
 * records root, how many keys, items, characters or records it holds (for
 * example "object \xC2\xB7 1 key"). 0 and an empty text when node is not below
 * the node count. Characters of a string are counted in its decoded text.
 */
size_t jx_select_text(const JxDoc *doc, uint32_t node, char *buf, size_t size);

#ifdef __cplusplus
}
#endif

#endif
