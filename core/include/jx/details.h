/* jx/details.h: the inspector's text of a node, and the memory estimate
 * that warns before a large file is opened. Both only read what they are given,
 * so any number of threads may call them at once. */
#ifndef JX_DETAILS_H
#define JX_DETAILS_H

#include "doc.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Most body text the inspector shows; copying still gets everything. */
#define JX_INSPECT_CAP 2097152u
/* Lines of the body longer than this are shortened, with a note. */
#define JX_INSPECT_LINE 65536u

/*
 * The inspector's text of node: the selection summary and the value's size
 * as written; the node's path in path style (JX_PATH_*), or "(root)" when
 * that is empty; a note when its key repeats in its object; an empty line;
 * then the value: a scalar's decoded text (an unreadable record's message
 * first), a container's pretty JSON. The value stops after about
 * JX_INSPECT_CAP bytes and lines longer than JX_INSPECT_LINE bytes are
 * shortened, each with a note of what is not shown; the work done is
 * bounded by the cap, not by the value's size. Returns a newly allocated,
 * zero-terminated UTF-8 text that the caller frees with free(), and its
 * length in *length (may be null); null and 0 for a null document, a node
 * not below the node count, or when memory runs out.
 */
char *jx_inspect_text(const JxDoc *doc, uint32_t node, int style, size_t *length /* out */);

/*
 * Whether opening a file of file_size bytes should be confirmed first on a
 * computer with ram bytes of memory: 1 when the estimate, twice the file
 * size (all ones for a negative size), is more than 60 % of ram, else 0.
 * *need (may be null) receives the estimate.
 */
int jx_memory_warning(int64_t file_size, uint64_t ram, uint64_t *need /* out */);

#ifdef __cplusplus
}
#endif

#endif
