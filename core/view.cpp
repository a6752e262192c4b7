/* view.cpp: the view controller's state: selection, history, modes, clicks,
 * crumbs, go to path, the lines it draws, copies, texts and the search it
 * follows. */
#include "view_int.h"

#include <cstring>

#include "alloc.h"
#include "doc_int.h"
#include "jx/path.h"

/* ---- creation and access ---- */

JxView *jx__view_make(JxDoc *doc) {
    if (!doc) return nullptr;
    auto *v = static_cast<JxView *>(jx__calloc(1, sizeof(JxView)));
    if (!v) return nullptr;
    v->rows = jx_rows_new(doc);
    if (!v->rows) {
        jx__free(v);
        return nullptr;
    }
    v->doc = jx_doc_retain(doc);
    v->selected = doc->count ? 0 : JX_NONE;
    v->cursor_line = v->anchor_line = JX_NONE;
    v->restore_node = v->restore_row = JX_NONE;
    return v;
}

JxView *jx_view_new(JxDoc *doc) {
    JxView *v = jx__view_make(doc);
    if (v) jx_rows_default(v->rows);
    return v;
}

void jx_view_free(JxView *view) {
    if (!view) return;
    jx_search_free(view->search);
    jx_text_free(view->text);
    jx_rows_free(view->rows);
    jx_state_free(view->restored_from);
    jx_doc_release(view->doc);
    jx__free(view);
}

JxDoc *jx_view_doc(const JxView *view) { return view ? view->doc : nullptr; }
JxRows *jx_view_rows(const JxView *view) { return view ? view->rows : nullptr; }
const JxText *jx_view_text(const JxView *view) { return view ? view->text : nullptr; }
const JxSearch *jx_view_search(const JxView *view) { return view ? view->search : nullptr; }
uint32_t jx_view_mode(const JxView *view) { return view ? view->mode : 0; }

uint32_t jx_view_count(const JxView *view) {
    if (!view) return 0;
    if (view->mode == JX_MODE_TEXT) return jx_text_count(view->text);
    return uint32_t(jx_rows_count(view->rows));
}

uint32_t jx_view_selected_node(const JxView *view) { return view ? view->selected : JX_NONE; }

uint32_t jx_view_selected(const JxView *view) {
    if (!view) return JX_NONE;
    if (view->mode == JX_MODE_TEXT) return view->cursor_line;
    if (view->selected == JX_NONE) return JX_NONE;
    return uint32_t(jx_rows_find(view->rows, view->selected));
}

uint32_t jx_view_anchor(const JxView *view) {
    return view && view->mode == JX_MODE_TEXT ? view->anchor_line : JX_NONE;
}

uint32_t jx_view_take_reveal(JxView *view) {
    if (!view || !view->reveal) return JX_NONE;
    view->reveal = 0;
    return jx_view_selected(view);
}

/* ---- going to a node ---- */

uint32_t jx__view_nearest_row(const JxView *v, uint32_t node) {
    for (uint32_t n = node; n != JX_NONE; n = jx_parent(v->doc, n)) {
        if (jx_rows_find(v->rows, n) != JX_NONE) return n;
    }
    return uint32_t(jx_rows_node(v->rows, 0));
}

void jx__view_go(JxView *v, uint32_t node) {
    v->selected = node;
    if (v->mode == JX_MODE_TEXT) {
        const uint32_t line = jx_text_line_of(v->text, node);
        if (line != JX_NONE) v->cursor_line = v->anchor_line = line;
    } else {
        jx_rows_reveal(v->rows, node);
        v->selected = jx__view_nearest_row(v, node);
    }
    v->reveal = 1;
}

/* Puts node on top of a history list, dropping the oldest entry of a full one. */
static void push(uint32_t *list, uint32_t *count, uint32_t node) {
    if (*count == JX_VIEW_HISTORY) {
        std::memmove(list, list + 1, (JX_VIEW_HISTORY - 1) * sizeof *list);
        --*count;
    }
    list[(*count)++] = node;
}

void jx__view_jump(JxView *v, uint32_t node) {
    if (v->selected != JX_NONE && v->selected != node) {
        push(v->back, &v->back_count, v->selected);
        v->forward_count = 0;
    }
    jx__view_go(v, node);
}
