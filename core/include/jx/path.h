/*
 * jx/path.h: the path of a node in five styles, the breadcrumbs of its
 * ancestors, and the node a typed path names.
 *
 * Every function here only reads the document, so any number of threads may
 * call them at once, on a document shared with other threads. Texts go into
 * a caller's buffer (buf, size): the function returns the full length of the
 * text, copies at most size - 1 bytes without splitting a UTF-8 character and
 * ends the copy with a zero byte; buf may be null (or size 0) to measure, so
 * that a caller can allocate length + 1 bytes and call again. Nothing is
 * allocated that the caller must free.
 */
#ifndef JX_PATH_H
#define JX_PATH_H

#include "doc.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Path styles, as stored in the settings. For a member a, a member "b c" and
 * element 3 below it, and for the root:
 *
 *   JX_PATH_JSONPATH    $.a['b c'][3]    root "$"
 *   JX_PATH_JQ          .a["b c"][3]     root "."
 *   JX_PATH_JAVASCRIPT  a["b c"][3]      root ""
 *   JX_PATH_PYTHON      ["a"]["b c"][3]  root ""
 *   JX_PATH_POINTER     /a/b c/3         root ""
 *
 * The dot form is used for keys made of ASCII letters, digits and "_" that do
 * not start with a digit; JavaScript also allows "$" in them, but writes a
 * first key starting with "$" in brackets so that the path never starts with
 * "$". Python always uses brackets. JSONPath brackets escape ' and \ with a
 * backslash; the double-quoted brackets of jq, JavaScript and Python escape
 * " and \ with a backslash, tab as \t, line feed as \n and other bytes below
 * 0x20 as \u00XX (lower-case hex); JSON Pointer writes ~ as ~0 and / as ~1.
 * Keys are written decoded, with only these escapes.
 */
enum {
    JX_PATH_JSONPATH = 0,
    JX_PATH_JQ = 1,
    JX_PATH_JAVASCRIPT = 2,
    JX_PATH_PYTHON = 3,
    JX_PATH_POINTER = 4
};

/*
 * The path of node in style (JX_PATH_*) into (buf, size). A text that does
 * not fit is cut on a whole character; the length returned is always that of
 * the whole path. A null document, a node at or above jx_doc_count, a style
 * that is none of the five, or a lack of memory (only a node at depth 64 or
 * more needs any) gives 0 and an empty text: never a path that names another
 * node. The root's path is empty in the JavaScript, Python and JSON
 * Pointer styles. Any thread.
 */
size_t jx_path(const JxDoc *doc, uint32_t node, int style, char *buf /* out */, size_t size);

/* The breadcrumbs of node: one per ancestor from the root down, and one for
 * the node itself, so jx_depth(node) + 1; 0 for a null document or a node at
 * or above jx_doc_count. Any thread. */
uint32_t jx_crumb_count(const JxDoc *doc, uint32_t node);

/* Crumb i of node: its ancestor at depth i (0 the root, jx_depth(node) the
 * node itself); JX_NONE when i > jx_depth(node), for a null document or a
 * node at or above jx_doc_count. Any thread. */
uint32_t jx_crumb_node(const JxDoc *doc, uint32_t node, uint32_t i);

/*
 * What the crumb of node reads, into (buf, size) as jx_path writes: "root",
 * or "records" for the root of a JSON Lines or several-values document; a
 * record's "line " and its line number with thousands separated by commas
 * ("line 1,024"); an element's "[3]"; a member's decoded key with each
 * control character (below 0x20, and DEL) shown as its picture, as rows show
 * it (tab U+21E5, line feed U+23CE, DEL U+2421, other codes U+2400 + code).
 * An empty key reads as an empty text. A null document or a node at or above
 * jx_doc_count gives 0 and an empty text. Never allocates. Any thread.
 */
size_t jx_crumb_label(const JxDoc *doc, uint32_t node, char *buf /* out */, size_t size);

/*
 * The node that path (len bytes of UTF-8, not zero-terminated) names, read in
 * any of the five styles above, or JX_NONE. The empty path, "$" and "." name
 * the root; "/" names the root's member with the empty key. Besides what
 * jx_path writes, brackets may hold an index, a key in single quotes (where a
 * backslash takes the next byte as it is) or a key in double quotes (with
 * JSON's escapes), and a "." may precede a bracket or a double-quoted key.
 * An index also counts the members of an object ("[0]" is its first); a key
 * matches the first member whose decoded key has exactly the same bytes, so
 * of duplicate keys the first wins; a JSON Pointer segment made of digits is
 * an index in an array and a key in an object.
 *
 * msg (may be null, or msg_size 0) is always written: an empty text on
 * success, else why the path names no node, cut to msg_size - 1 bytes on a
 * whole character and zero-terminated:
 *   Path not understood at character N   (1-based byte position; the length
 *                                         + 1 when the path ends inside a step)
 *   No key "K" in P                      (P: the path of the node reached, in
 *   No item [I] in P (it has N)           JSONPath style)
 *   No key "K" in P (it is a T)          (T: string, number, boolean, null,
 *   No item [I] in P (it is a T)          error for an unreadable record)
 * A null document, a document without nodes, a null path with len > 0 or a
 * lack of memory (only a key typed with more than 256 bytes, or a message
 * naming a node at depth 64 or more, needs any) give JX_NONE and an empty
 * message. Any thread.
 */
uint32_t jx_resolve(const JxDoc *doc, const char *path, size_t len, char *msg /* out */, size_t msg_size);

#ifdef __cplusplus
}
#endif

#endif
