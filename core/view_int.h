/* view_int.h: the view controller's record and the steps its modules share
 * (navigation, keys, restore, dumps). */
#ifndef JX_VIEW_INT_H
#define JX_VIEW_INT_H

#include <cstdint>

#include "jx/restore.h"
#include "jx/view.h"

struct JxView {
    JxDoc *doc;      /* one reference held */
    JxRows *rows;    /* owned */
    JxText *text;    /* owned; null until a model is handed over */
    uint32_t mode;   /* JX_MODE_* */
    uint32_t selected;
    uint32_t cursor_line; /* Text view only, else JX_NONE */
    uint32_t anchor_line; /* Text view only, else JX_NONE */
    uint8_t reveal;       /* the selection waits to be scrolled into sight */
    uint32_t back[JX_VIEW_HISTORY]; /* oldest first */
    uint32_t back_count;
    uint32_t forward[JX_VIEW_HISTORY];
    uint32_t forward_count;
    JxSearch *search;     /* owned */
    uint32_t search_from; /* the selection when the search was installed, 0 for none */
    uint8_t moved;        /* the user navigated since the search was installed */
    uint8_t restored;     /* the selection came from a restore, untouched since */
    uint32_t type_buf[64]; /* type-to-select: folded code points */
    uint32_t type_len;
    uint64_t type_time;    /* milliseconds of the last typed character */
    JxState *restored_from; /* owned; kept when a restore lost something */
    /* What the last restore achieved, for the next save to carry from. */
    uint8_t restore_sel_fell_back;
    uint8_t restore_top_fell_back;
    uint32_t restore_node; /* the node it selected */
    uint32_t restore_row;  /* the top row it set */
    uint64_t restore_open; /* open nodes after it expanded everything, else 0 */
};

/* A view over doc with nothing expanded: the root selected, no history.
 * Null when doc is null or memory runs out. */
JxView *jx__view_make(JxDoc *doc);

/* The nearest node, from node up its ancestors, that has a row; row 0's
 * node when none has; JX_NONE without rows. */
uint32_t jx__view_nearest_row(const JxView *v, uint32_t node);

/* Selects node: the Text view cursor goes to its line; the Tree view reveals
 * it (or its nearest ancestor with a row). Asks for the reveal. */
void jx__view_go(JxView *v, uint32_t node);

/* A jump the user asked for: the selection goes onto the back history (the
 * forward history is emptied) unless it is node, then jx__view_go. */
void jx__view_jump(JxView *v, uint32_t node);

/* Back (forward false) or forward: takes the newest entry off that list,
 * puts the selection on the other one and goes there. 0 when the list is
 * empty. */
int jx__view_step(JxView *v, bool forward);

/* Text view: the cursor goes to line; extend keeps an anchor that is set (a
 * range), else the anchor follows. The line's node, when it has one, becomes
 * the selection. */
void jx__view_cursor(JxView *v, uint32_t line, bool extend);

/* The user navigated: the selection no longer follows the search or a
 * restore, and type-to-select starts again. */
inline void jx__view_moved(JxView *v) {
    v->moved = 1;
    v->restored = 0;
    v->type_len = 0;
}

#endif
