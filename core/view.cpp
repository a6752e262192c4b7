/* view.cpp: the view controller's state: selection, history, modes, clicks,
 * crumbs, go to path, the lines it draws, copies, texts and the search it
 * follows. */
#include "view_int.h"

#include <cstring>

#include <string_view>

#include "alloc.h"
#include "doc_int.h"
#include "jx/decode.h"
#include "jx/details.h"
#include "jx/json.h"
#include "jx/keys.h"
#include "jx/path.h"
#include "status_int.h"

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

void jx__view_cursor(JxView *v, uint32_t line, bool extend) {
    v->cursor_line = line;
    if (!extend || v->anchor_line == JX_NONE) v->anchor_line = line;
    const uint32_t node = jx_text_node_of(v->text, line);
    if (node != JX_NONE) v->selected = node;
}

int jx__view_step(JxView *v, bool forward) {
    uint32_t *from = forward ? v->forward : v->back, *to = forward ? v->back : v->forward;
    uint32_t *from_count = forward ? &v->forward_count : &v->back_count;
    uint32_t *to_count = forward ? &v->back_count : &v->forward_count;
    if (*from_count == 0) return 0;
    const uint32_t node = from[--*from_count];
    /* Unlike a jump, stepping keeps the other direction: back then forward returns. */
    if (v->selected != JX_NONE) push(to, to_count, v->selected);
    jx__view_go(v, node);
    jx__view_moved(v);
    return 1;
}

/* ---- modes ---- */

/* Where the Text view cursor starts: the selected node's line, else line 0;
 * JX_NONE when the Text view has no lines. */
static void place_cursor(JxView *v) {
    const uint32_t n = jx_text_count(v->text);
    uint32_t line = JX_NONE;
    if (n) {
        line = jx_text_line_of(v->text, v->selected);
        if (line >= n) line = 0;
    }
    v->cursor_line = v->anchor_line = line;
    v->reveal = 1;
}

/* Leaves the Text view, keeping the node the cursor is on: the selected node
 * when the cursor is on its own line, else the cursor line's node. */
static void to_tree(JxView *v) {
    uint32_t keep = v->selected;
    if (v->cursor_line != JX_NONE && (keep == JX_NONE || jx_text_line_of(v->text, keep) != v->cursor_line)) {
        const uint32_t node = jx_text_node_of(v->text, v->cursor_line);
        if (node != JX_NONE) keep = node;
    }
    v->mode = JX_MODE_TREE;
    v->cursor_line = v->anchor_line = JX_NONE;
    jx__view_go(v, keep < v->doc->count ? keep : JX_NONE);
}

int jx_view_set_mode(JxView *view, uint32_t mode) {
    if (!view) return 0;
    if (mode == JX_MODE_TREE) {
        if (view->mode != JX_MODE_TREE) to_tree(view);
        return 1;
    }
    if (mode != JX_MODE_TEXT || !view->text) return 0;
    if (view->mode != JX_MODE_TEXT) {
        view->mode = JX_MODE_TEXT;
        place_cursor(view);
    }
    return 1;
}

void jx_view_set_text(JxView *view, JxText *text) {
    if (!view) {
        jx_text_free(text);
        return;
    }
    if (text == view->text) return;
    if (!text && view->mode == JX_MODE_TEXT) to_tree(view);
    jx_text_free(view->text);
    view->text = text;
    if (view->mode == JX_MODE_TEXT) place_cursor(view);
}

/* ---- navigation ---- */

static bool has_children(const JxView *v, uint32_t node) { return jx_first_child(v->doc, node) != JX_NONE; }

/* A click selects: what every click does before its own part. */
static void clicked(JxView *v) {
    jx__view_moved(v);
    v->reveal = 1;
}

void jx_view_click(JxView *view, uint32_t row, int on_expander, uint32_t mods) {
    if (!view || row >= jx_view_count(view)) return;
    clicked(view);
    if (view->mode == JX_MODE_TEXT) {
        jx__view_cursor(view, row, (mods & JX_MOD_SHIFT) != 0);
        return;
    }
    const uint32_t node = uint32_t(jx_rows_node(view->rows, row));
    view->selected = node;
    if (!on_expander || !has_children(view, node)) return;
    if (!(mods & JX_MOD_OPTION))
        jx_rows_toggle(view->rows, node);
    else if (jx_rows_expanded(view->rows, node))
        jx_rows_collapse_subtree(view->rows, node);
    else
        jx_rows_expand_subtree(view->rows, node);
}

void jx_view_double_click(JxView *view, uint32_t row) {
    if (!view || row >= jx_view_count(view)) return;
    clicked(view);
    if (view->mode == JX_MODE_TEXT) {
        jx__view_cursor(view, row, false);
        return;
    }
    const uint32_t node = uint32_t(jx_rows_node(view->rows, row));
    view->selected = node;
    if (has_children(view, node)) jx_rows_toggle(view->rows, node);
}

void jx_view_select_node(JxView *view, uint32_t node) {
    if (!view || node >= view->doc->count) return;
    jx__view_moved(view);
    jx__view_jump(view, node);
}

uint32_t jx_view_crumb_count(const JxView *view) {
    return view && view->selected != JX_NONE ? jx_crumb_count(view->doc, view->selected) : 0;
}

static uint32_t crumb_node(const JxView *view, uint32_t i) {
    return view && view->selected != JX_NONE ? jx_crumb_node(view->doc, view->selected, i) : JX_NONE;
}

size_t jx_view_crumb(const JxView *view, uint32_t i, char *buf, size_t size) {
    const uint32_t node = crumb_node(view, i);
    if (node == JX_NONE) return jx__copy_text("", 0, buf, size);
    return jx_crumb_label(view->doc, node, buf, size);
}

void jx_view_crumb_click(JxView *view, uint32_t i) {
    const uint32_t node = crumb_node(view, i);
    if (node == JX_NONE || node >= view->doc->count) return;
    jx__view_moved(view);
    jx__view_jump(view, node);
}

int jx_view_goto(JxView *view, const char *text, size_t len, char *err, size_t err_size) {
    if (!view || !text) {
        jx__copy_text("", 0, err, err_size);
        return 0;
    }
    const uint32_t node = jx_resolve(view->doc, text, len, err, err_size);
    if (node == JX_NONE) return 0;
    if (node < view->doc->count) {
        jx__view_moved(view);
        jx__view_jump(view, node);
    }
    return 1;
}

/* ---- drawing and texts ---- */

/* The selected node when the installed search has it as a hit: its matches
 * are painted as the current ones. */
static uint32_t current_hit(const JxView *v) {
    return jx_search_index_of(v->search, v->selected) != JX_NONE ? v->selected : JX_NONE;
}

void jx_view_line(const JxView *view, uint32_t row, uint32_t width, JxLine *line) {
    if (!line) return;
    if (view && view->mode == JX_MODE_TEXT)
        jx_text_line(view->text, row, width, view->search, current_hit(view), line);
    else
        jx_row_line(view ? view->rows : nullptr, row, width, view ? view->search : nullptr,
                    view ? current_hit(view) : JX_NONE, line);
}

size_t jx_view_path(const JxView *view, int style, char *buf, size_t size) {
    return jx_path(jx_view_doc(view), jx_view_selected_node(view), style, buf, size);
}

size_t jx_view_select_text(const JxView *view, char *buf, size_t size) {
    return jx_select_text(jx_view_doc(view), jx_view_selected_node(view), buf, size);
}

char *jx_view_inspect(const JxView *view, int style, size_t *length) {
    if (length) *length = 0;
    return jx_inspect_text(jx_view_doc(view), jx_view_selected_node(view), style, length);
}

/* ---- copying ---- */

/* The Text view copies lines instead of a value while it has a cursor. */
static bool copies_lines(const JxView *v, uint32_t what) {
    return what == JX_CMD_COPY_VALUE && v->mode == JX_MODE_TEXT && v->cursor_line != JX_NONE;
}

char *jx_view_copy(const JxView *view, uint32_t what, int style, size_t *length) {
    if (length) *length = 0;
    if (!view) return nullptr;
    if (copies_lines(view, what)) return jx_text_copy(view->text, view->anchor_line, view->cursor_line, length);
    if (view->selected == JX_NONE) return nullptr;
    return jx_copy_node(view->doc, view->selected, what, style, length);
}

uint64_t jx_view_copy_size(const JxView *view, uint32_t what) {
    if (!view) return 0;
    if (copies_lines(view, what)) return jx_text_copy_size(view->text, view->anchor_line, view->cursor_line);
    return jx_copy_node_size(view->doc, view->selected, what, JX_PATH_JSONPATH);
}

/* ---- search ---- */

void jx_view_set_search(JxView *view, JxSearch *search) {
    if (!view) {
        jx_search_free(search);
        return;
    }
    if (view->search != search) jx_search_free(view->search);
    view->search = search;
    view->search_from = view->selected == JX_NONE ? 0 : view->selected;
    view->moved = 0;
    /* A selection just restored after a reload stays where the user left it. */
    if (search && view->restored) {
        view->moved = 1;
        view->restored = 0;
    }
}

void jx_view_search_update(JxView *view) {
    if (!view || !view->search || view->moved) return;
    const JxSearch *s = view->search;
    /* Finished is read before the hits: once it is seen every hit is
     * published, so a hit at or after search_from cannot be missed and
     * taken for a wrap. */
    const bool finished = jx_search_finished(s);
    if (jx_search_count(s) == 0) return;
    const uint32_t from = view->search_from;
    uint32_t node = jx_search_hit(s, from > 0 ? jx_search_next(s, from - 1, 0) : 0);
    if (node == JX_NONE || node < from) {
        /* Wrapping to the top waits for the end: a later hit may still come. */
        if (!finished) return;
        node = jx_search_hit(s, 0);
    }
    if (node != view->selected && node < view->doc->count) jx__view_jump(view, node);
}

size_t jx_view_search_label(const JxView *view, char *buf, size_t size) {
    char text[96];
    jx_str b = str_fixed(text, sizeof text);
    const JxSearch *s = view ? view->search : nullptr;
    if (s) {
        const bool finished = jx_search_finished(s);
        const uint32_t count = jx_search_count(s);
        const std::string_view plus = jx_search_capped(s) ? "+" : "";
        const uint32_t index = view->selected == JX_NONE ? JX_NONE : jx_search_index_of(s, view->selected);
        if (!finished) {
            str_count(&b, count);
            str_put(&b, " so far");
        } else if (count == 0) {
            str_put(&b, "No matches");
        } else if (index != JX_NONE) {
            str_count(&b, uint64_t(index) + 1);
            str_put(&b, " of ");
            str_count(&b, count);
            str_put(&b, plus);
        } else {
            str_count(&b, count);
            str_put(&b, plus);
            str_put(&b, count == 1 && plus.empty() ? " match" : " matches");
        }
    }
    return jx__copy_text(text, b.failed ? 0 : b.length, buf, size);
}
