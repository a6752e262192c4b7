/*
 * jx/view.h: the per-window view controller. A JxView holds what one window
 * shows of a document: the Tree view's rows or the Text view's lines, the
 * selected node, the back and forward history, the installed search and
 * whether the selection follows it. The window passes clicks, keys (jx/keys.h)
 * and commands to the view, then asks it what to draw, what to copy and where
 * to scroll; it never changes this state itself.
 *
 * A view belongs to the main thread; every call below is made there. The
 * installed search may still be running on another thread: the view only
 * reads what the search has published. Every function accepts a null view:
 * queries then give 0, JX_NONE or an empty text, operations do nothing.
 * Rows, lines, nodes or crumbs out of range change nothing.
 *
 * Texts written into a caller's buffer (buf, size) return the full length;
 * at most size - 1 bytes are copied, cut back to a whole UTF-8 character,
 * and a zero byte ends the copy; buf may be null or size 0 to measure.
 */
#ifndef JX_VIEW_H
#define JX_VIEW_H

#include "line.h"
#include "rows.h"
#include "search.h"
#include "text.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct JxView JxView;

/* What the view shows. */
enum {
    JX_MODE_TREE = 0, /* the rows of jx/rows.h */
    JX_MODE_TEXT = 1  /* the lines of the Text view model */
};

/* Modifier bits of clicks and keys. Control has none. */
enum {
    JX_MOD_SHIFT = 1,
    JX_MOD_OPTION = 2,
    JX_MOD_COMMAND = 4
};

/* Back and forward history each hold at most this many nodes; the oldest goes first. */
#define JX_VIEW_HISTORY 64u

/* ---- creation and access ---- */

/* A view over doc (retained until jx_view_free) in the Tree view with the
 * rows' default expansion and the root selected (nothing for a document
 * without nodes). Null when doc is null or memory runs out. */
JxView *jx_view_new(JxDoc *doc);
/* Frees the search, the Text view model, the rows and any kept restore state,
 * and releases the document. Null-safe. */
void jx_view_free(JxView *view);

JxDoc *jx_view_doc(const JxView *view);
JxRows *jx_view_rows(const JxView *view);
const JxText *jx_view_text(const JxView *view);   /* null until a model is handed over */
const JxSearch *jx_view_search(const JxView *view); /* the installed search, or null */
uint32_t jx_view_mode(const JxView *view);          /* JX_MODE_* (0) */
/* Lines of the Text view in JX_MODE_TEXT, else rows. */
uint32_t jx_view_count(const JxView *view);
/* The selected node (JX_NONE when none). */
uint32_t jx_view_selected_node(const JxView *view);
/* The Text view's cursor line, or the Tree view row of the selected node;
 * JX_NONE when there is none. */
uint32_t jx_view_selected(const JxView *view);
/* The Text view's other end of the line selection; JX_NONE in the Tree view. */
uint32_t jx_view_anchor(const JxView *view);
/* Every change of selection asks once for it to be scrolled into sight: the
 * first call after it gives what jx_view_selected gives and clears the
 * request; JX_NONE while there is none. */
uint32_t jx_view_take_reveal(JxView *view);

/* ---- modes ---- */

/*
 * JX_MODE_TEXT needs a Text view model: the cursor goes to the selected
 * node's line (line 0 when it has none). JX_MODE_TREE selects the node of
 * the cursor line (the selected node when the cursor is on its own line or
 * the line has none) and reveals it. 1 when the view is in the mode asked
 * for, 0 for any other mode or when no model was handed over.
 */
int jx_view_set_mode(JxView *view, uint32_t mode);
/*
 * Hands over a Text view model built for the view's document (on any
 * thread); the view owns it from then on and frees the one it held. Null
 * takes the model away, leaving the Text view for the Tree view first. With
 * a null view the model is freed.
 */
void jx_view_set_text(JxView *view, JxText *text);

/* ---- navigation ---- */

/*
 * A click on row (or Text view line). Tree view: selects the row's node;
 * on_expander toggles an object or array with children, and with
 * JX_MOD_OPTION expands (when collapsed) or collapses its whole subtree.
 * Text view: puts the cursor on the line, with JX_MOD_SHIFT keeping the
 * anchor so that the selection becomes the range.
 */
void jx_view_click(JxView *view, uint32_t row, int on_expander, uint32_t mods);
/* Selects the row, then in the Tree view toggles an object or array with children. */
void jx_view_double_click(JxView *view, uint32_t row);
/* Jumps to node, remembering the selection in the back history. */
void jx_view_select_node(JxView *view, uint32_t node);
/* Breadcrumbs of the selection: their number, crumb i's label and a jump to it. */
uint32_t jx_view_crumb_count(const JxView *view);
size_t jx_view_crumb(const JxView *view, uint32_t i, char *buf /* out */, size_t size);
void jx_view_crumb_click(JxView *view, uint32_t i);
/*
 * Jumps to the node the path text names (jx_resolve): 1 when it resolved,
 * else 0 with the reason in err (always written, as jx_resolve writes it).
 */
int jx_view_goto(JxView *view, const char *text, size_t len, char *err /* out */, size_t err_size);

/* ---- drawing and texts ---- */

/* Row (or line) as the list draws it, at most width characters (0: no
 * limit), with the installed search's hits marked; the selected node is the
 * current hit when it is one. */
void jx_view_line(const JxView *view, uint32_t row, uint32_t width, JxLine *line /* out */);
/* The selected node's path in style (JX_PATH_*). */
size_t jx_view_path(const JxView *view, int style, char *buf /* out */, size_t size);
/* The status bar's text for the selection (jx_select_text). */
size_t jx_view_select_text(const JxView *view, char *buf /* out */, size_t size);
/* The inspector text of the selection (jx_inspect_text); null and 0 without one. */
char *jx_view_inspect(const JxView *view, int style, size_t *length /* out */);

/* ---- copying ---- */

/*
 * What the copy commands copy (JX_CMD_COPY_* of jx/keys.h): the value, the
 * path in style, pretty JSON, the key or minified JSON of the selected node;
 * in the Text view, copying the value copies the selected lines. A newly
 * allocated text the caller frees with free(), its length in *length; null
 * and 0 without a selection, for another kind or when memory runs out.
 */
char *jx_view_copy(const JxView *view, uint32_t what, int style, size_t *length /* out */);
/* The size in bytes jx_view_copy would give (the path in JSONPath style),
 * without building it, so that a large copy can be confirmed first. */
uint64_t jx_view_copy_size(const JxView *view, uint32_t what);

/* ---- search ---- */

/*
 * Installs search (the view owns it from then on and frees the one it
 * held; null removes it). Until the user navigates, the selection follows
 * the search's first hit at or after the selection of this moment, except
 * right after a restore (jx/restore.h), whose selection is kept. With a
 * null view the search is freed.
 */
void jx_view_set_search(JxView *view, JxSearch *search);
/* Follows the installed search's hits: call whenever the running search
 * reports progress and when it returns. */
void jx_view_search_update(JxView *view);
/* The label beside the search field: "12 so far", "No matches", "3 of 12",
 * "1 match", "10,000,000+ matches"; empty without a search. */
size_t jx_view_search_label(const JxView *view, char *buf /* out */, size_t size);

/* ---- dumps ---- */

/*
 * Rows (or lines) first to first + count - 1, cut at the count, one per line
 * as the list shows them 120 characters wide: in the Tree view "depth|m|"
 * (m "+" collapsed, "v" expanded, "-" anything else) and the text, in the
 * Text view "number|" and the text. A newly allocated text the caller frees
 * with free(), and its length; empty (not null) for an empty range or a null
 * view, null and 0 when memory runs out.
 */
char *jx_view_dump_rows(const JxView *view, uint32_t first, uint32_t count, size_t *length /* out */);
/* The view's state: mode, rows, selected path, range, search label, error
 * bar and status, one "name=value" a line. As jx_view_dump_rows allocates. */
char *jx_view_dump_state(const JxView *view, size_t *length /* out */);

#ifdef __cplusplus
}
#endif

#endif
