/*
 * jx/restore.h: keeping a window's view across a reload. Node ids mean
 * nothing in another document, so jx_view_save records the view as paths of
 * keys and indexes, and jx_view_restore finds those paths in the reloaded
 * document: the same nodes expanded, the same node selected, the same row at
 * the top, the same mode and Text view lines, shifted when lines moved.
 * What it cannot find is remembered in the new view, so that a later reload
 * in which it is back brings it back.
 *
 * The window saves on its main thread and may restore and free the state on
 * another; a state is used by one thread at a time.
 */
#ifndef JX_RESTORE_H
#define JX_RESTORE_H

#include "view.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct JxState JxState;

/* Above this many expanded nodes a save records only that everything was expanded. */
#define JX_RESTORE_EXPAND_ALL 100000u

/*
 * The state of view; top is the first row (or Text view line) the window
 * shows. Null for a null view or when memory runs out.
 */
JxState *jx_view_save(const JxView *view, uint32_t top);
/*
 * A new view over doc showing it as state recorded, and in *top (may be
 * null) the row or line to scroll to the top (0 when there is none). With a
 * null state, or when memory runs out at the start, the view jx_view_new
 * makes and top 0; null only when even that fails. state is left as it was.
 */
JxView *jx_view_restore(JxDoc *doc, const JxState *state, uint32_t *top /* out */);
/* Null-safe. */
void jx_state_free(JxState *state);

#ifdef __cplusplus
}
#endif

#endif
