/* jx/rows.h: the rows of the Tree view, one per visible node. */
#ifndef JX_ROWS_H
#define JX_ROWS_H

#include "doc.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The expansion state of every node of one document and the ids of the nodes
 * it makes visible, in document order. The root is always visible; any other
 * node is visible exactly when all its ancestors are expanded. Collapsing a
 * node keeps the expansion of the nodes inside it, so expanding it again shows
 * its subtree as it was.
 *
 * Row indices and node ids are 32-bit values carried in 64-bit integers, so a
 * caller's out-of-range value is never folded onto a valid one: every
 * operation ignores node ids at or above jx_doc_count and rows at or above
 * jx_rows_count. Every function accepts a null handle: queries then give the
 * value in brackets, operations do nothing. A JxRows belongs to one thread at
 * a time; the document it reads may be shared with other threads.
 *
 * Running out of memory never corrupts the model: an expansion that cannot
 * get its memory leaves the state exactly as it was, and a level operation
 * (jx_rows_expand_to_level, jx_rows_collapse_all, jx_rows_default) falls back
 * to the root alone with nothing expanded.
 */
typedef struct JxRows JxRows;

/* A row model over doc showing only the root (no row for a document without
 * nodes), nothing expanded; holds a reference to doc until jx_rows_free. Null
 * when doc is null or memory is short. */
JxRows *jx_rows_new(JxDoc *doc);
/* Frees the model and releases its document reference. Null-safe. */
void jx_rows_free(JxRows *rows);

/* The document (null); valid as long as the model lives. */
JxDoc *jx_rows_doc(const JxRows *rows);
/* Number of visible rows (0). */
uint64_t jx_rows_count(const JxRows *rows);
/* Number of expanded nodes, visible or not (0). */
uint64_t jx_rows_open_count(const JxRows *rows);
/* Node id shown in the row; JX_NONE when row >= jx_rows_count (JX_NONE). */
uint64_t jx_rows_node(const JxRows *rows, uint64_t row);
/* Row of a node, by binary search; JX_NONE when the node is not visible or
 * not a node of the document (JX_NONE). */
uint64_t jx_rows_find(const JxRows *rows, uint64_t node);
/* 1 when the node is expanded, even while an ancestor hides it; else (0). */
int jx_rows_expanded(const JxRows *rows, uint64_t node);

/* Expands an object or array with at least one child; its rows appear at
 * once when it is visible, else when its ancestors are expanded. Anything
 * else, or an already expanded node, is left alone. */
void jx_rows_expand(JxRows *rows, uint64_t node);
/* Collapses the node, hiding its subtree but keeping the expansion inside. */
void jx_rows_collapse(JxRows *rows, uint64_t node);
/* Collapses an expanded node, otherwise expands it. */
void jx_rows_toggle(JxRows *rows, uint64_t node);
/* Expands the node and every object or array with children inside it, so the
 * whole subtree has rows when the node is visible. */
void jx_rows_expand_subtree(JxRows *rows, uint64_t node);
/* Collapses the node and every node inside it. */
void jx_rows_collapse_subtree(JxRows *rows, uint64_t node);
/* Replaces the whole state: exactly the expandable nodes at depth below level
 * are expanded (0 and below: none; 1: the root; 3: the root, its children and
 * theirs). No change for a document without nodes; root alone on failure. */
void jx_rows_expand_to_level(JxRows *rows, int level);
/* Level 1: the root open, its children shown collapsed. */
void jx_rows_collapse_all(JxRows *rows);
/* Expands every expandable node: every node becomes a row, however many. */
void jx_rows_expand_all(JxRows *rows);
/* The level of jx_rows_at_level that expands every expandable node. */
#define JX_ROWS_ALL 0x7fffffff
/*
 * A new model over doc in the state jx_rows_expand_to_level(level) leaves,
 * or jx_rows_expand_all for JX_ROWS_ALL. It reads only the document, so it
 * may be built on another thread while the window goes on with its own model
 * of the same document; progress (may be null) hears of node ids done out of
 * jx_doc_count. Null when doc is null, memory runs out or progress's cancel
 * flag stopped it.
 */
JxRows *jx_rows_at_level(JxDoc *doc, int level, const jx_progress *progress);
/* The expansion of a newly shown document: level 3 for up to 5,000 nodes,
 * level 1 for more. */
void jx_rows_default(JxRows *rows);
/* Expands every ancestor of the node so that it becomes visible; the node
 * itself keeps its state. Nothing changes when memory is short. */
void jx_rows_reveal(JxRows *rows, uint64_t node);

#ifdef __cplusplus
}
#endif

#endif
